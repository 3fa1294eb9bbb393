#include "tools/kly_TubeFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "kly_Files.h"
#include "klystron/model/kly_Klystron.h"

namespace {

using nlohmann::json;

// A complete, valid round-beam tube with a simulation section; tests break one thing at a time.
json goodTube() {
  return json::parse(R"({
    "name": "test tube",
    "beam": {"voltage": 110000, "current": 90, "frequency": 2.856e9, "inputPower": 60,
             "tubeRadius": 0.0095, "beamRadius": 0.0062},
    "cavities": [
      {"z": 0.00, "frequency": 2.856e9, "qo": 2500, "qe": 300,    "rq": 110, "m": 0.82, "gapWidth": 0.010, "harmonic": 1},
      {"z": 0.12, "frequency": 2.870e9, "qo": 2500, "qe": 100000, "rq": 110, "m": 0.82, "gapWidth": 0.010, "harmonic": 1},
      {"z": 0.30, "frequency": 5.750e9, "qo": 2500, "qe": 100000, "rq": 60,  "m": 0.70, "gapWidth": 0.008, "harmonic": 2}
    ],
    "simulation": {"disks": 8, "rings": 1, "steps": 16, "maxIterations": 3}
  })");
}

const std::filesystem::path kSource = "dir/tube.json";

// The problems reported for the text, or an empty list when it is accepted.
std::vector<std::string> problemsOfText(const std::string& text) {
  try {
    kly_TubeFile::parse(text, kSource);
  } catch (const kly_TubeFileError& e) {
    return e.problems();
  }
  return {};
}

std::vector<std::string> problemsOf(const json& tube) { return problemsOfText(tube.dump()); }

// The one problem reported; fails when there is none or more than one.
std::string problemOf(const json& tube) {
  auto p = problemsOf(tube);
  EXPECT_EQ(p.size(), 1u) << (p.empty() ? "accepted" : fmt::format("{}", fmt::join(p, "\n")));
  return p.empty() ? "" : p.front();
}

using kly_test::dataFile;

TEST(TubeFileTest, ReadsEveryValueOfARoundBeamTube) {
  json t = goodTube();
  t["cavities"][2]["fieldFile"] = dataFile("gap-field-mm.txt");
  t["cavities"][2]["fieldRings"] = 3;
  t["simulation"]["importBeam"] = {
      {"file", "beams/b.txt"}, {"useGivenInjectionPosition", true}, {"injectionPosition", 0.35}};
  // The beam file does not exist: the only complaint is about it, with the resolved path.
  auto p = problemsOf(t);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0], "dir/tube.json: simulation.importBeam.file: cannot open 'beams/b.txt' (looked for '" +
                      (std::filesystem::current_path() / "dir/beams/b.txt").string() + "')");

  t["simulation"]["importBeam"]["file"] = dataFile("prebunched-beam.txt");
  const kly_TubeFileContents contents = kly_TubeFile::parse(t.dump(), kSource);
  const kly_TubeDescription& d = contents.description;
  // The cavity and beam numbers: ReadsWhatTheJavaSettersDescribe.
  EXPECT_EQ(contents.name, "test tube");
  EXPECT_EQ(contents.about, "");  // no description
  EXPECT_EQ(contents.source, kSource);
  EXPECT_TRUE(d.cavities[2].hasFieldFile);
  EXPECT_EQ(d.cavities[2].fieldRings, 3);
  EXPECT_EQ(d.cavities[2].fieldFile, dataFile("gap-field-mm.txt"));  // absolute names stay as they are
  ASSERT_TRUE(d.simulation);
  EXPECT_EQ(d.simulation->disks, 8);
  EXPECT_EQ(d.simulation->rings, 1);
  EXPECT_EQ(d.simulation->steps, 16);
  EXPECT_EQ(d.simulation->maxIterations, 3);
  EXPECT_EQ(d.simulation->nearField, kly_TubeFile::kDefaultNearField);
  ASSERT_TRUE(d.simulation->importBeam);
  EXPECT_TRUE(d.simulation->importBeam->useGivenInjectionPosition);
  EXPECT_EQ(d.simulation->importBeam->injectionPosition, 0.35);
}

TEST(TubeFileTest, SheetBeamOptionalPartsAndDefaults) {
  json t = goodTube();
  t["beam"].erase("tubeRadius");
  t["beam"].erase("beamRadius");
  t["beam"].update({{"beamWidth", 0.02}, {"beamHeight", 0.0016}, {"tubeWidth", 0.024}, {"tubeHeight", 0.0032}});
  t.erase("name");
  t["description"] = "A sheet beam, modelled on nothing in particular.";
  t.erase("simulation");
  t["cavities"][1]["harmonic"] = -2;   // a signed harmonic is allowed
  t["cavities"][0]["harmonic"] = 1.0;  // JSON does not tell 1 from 1.0
  const kly_TubeFileContents contents = kly_TubeFile::parse(t.dump(), kSource);
  const kly_TubeDescription& d = contents.description;
  EXPECT_EQ(contents.name, "tube");  // the file name without its extension
  EXPECT_EQ(contents.about, "A sheet beam, modelled on nothing in particular.");
  EXPECT_FALSE(d.beam.round);
  EXPECT_EQ(d.beam.beamWidth, 0.02);
  EXPECT_EQ(d.beam.beamHeight, 0.0016);
  EXPECT_EQ(d.beam.tubeWidth, 0.024);
  EXPECT_EQ(d.beam.tubeHeight, 0.0032);
  EXPECT_EQ(d.cavities[1].harmonic, -2);
  EXPECT_EQ(d.cavities[0].harmonic, 1);
  EXPECT_FALSE(d.simulation);
}

TEST(TubeFileTest, RelativeFileNamesAreTakenFromTheTubeFilesFolder) {
  const std::filesystem::path source = std::filesystem::path(KLY_TEST_DATA_DIR) / "tube.json";
  json t = goodTube();
  t["cavities"][1]["fieldFile"] = "gap-field-axis.txt";
  t["simulation"]["importBeam"] = {{"file", "prebunched-beam.txt"}};
  const kly_TubeDescription d = kly_TubeFile::parse(t.dump(), source).description;
  EXPECT_EQ(d.cavities[1].fieldFile, dataFile("gap-field-axis.txt"));
  EXPECT_TRUE(d.cavities[1].hasFieldFile);
  EXPECT_FALSE(d.cavities[0].hasFieldFile);
  EXPECT_EQ(d.cavities[1].fieldRings, 1);
  EXPECT_EQ(d.simulation->importBeam->file, dataFile("prebunched-beam.txt"));
  // The same names are not found from another folder.
  EXPECT_EQ(problemsOf(t).size(), 2u);
  EXPECT_FALSE(d.simulation->importBeam->useGivenInjectionPosition);
  // A tube file named relative to the working folder still gives absolute
  // names, which other processes of a sweep open from folders of their own.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(KLY_TEST_DATA_DIR);
  const kly_TubeDescription relative = kly_TubeFile::parse(t.dump(), "./sub/../tube.json").description;
  std::filesystem::current_path(here);
  EXPECT_EQ(relative.cavities[1].fieldFile,
            (std::filesystem::path(KLY_TEST_DATA_DIR) / "gap-field-axis.txt").lexically_normal().string());
  EXPECT_TRUE(std::filesystem::path(relative.simulation->importBeam->file).is_absolute());
}

TEST(TubeFileTest, ReadsWhatTheJavaSettersDescribe) {
  // The same tube through the setters, in the Java methods' own argument orders.
  kly_Klystron k;
  k.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
  k.addCavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  k.addCavity(0.12, 2.870e9, 0.82, 1, 0.010, 110, 2500, 100000);
  k.addCavity(0.30, 5.750e9, 0.70, 2, 0.008, 60, 2500, 100000);
  k.loadCavityField(2, dataFile("gap-field-mm.txt"), 0.0, 3);
  json t = goodTube();
  t["cavities"][2]["fieldFile"] = dataFile("gap-field-mm.txt");
  t["cavities"][2]["fieldRings"] = 3;
  kly_TubeDescription d = kly_TubeFile::parse(t.dump(), kSource).description;
  ASSERT_TRUE(d.simulation);
  d.simulation.reset();
  EXPECT_EQ(d, k.getDescription());
  d.cavities[2].fieldRings = 2;
  EXPECT_NE(d, k.getDescription());

  t["beam"] = {{"voltage", 75000},  {"current", 30},        {"frequency", 11.424e9}, {"inputPower", 5},
               {"beamWidth", 0.02}, {"beamHeight", 0.0016}, {"tubeWidth", 0.024},    {"tubeHeight", 0.0032}};
  k.setOperatingParameters(75000, 30, 11.424e9, 5, 0.02, 0.0016, 0.024, 0.0032);
  EXPECT_EQ(kly_TubeFile::parse(t.dump(), kSource).description.beam, k.getDescription().beam);
}

TEST(TubeFileTest, SyntaxErrorsGiveTheLineAndColumn) {
  auto p = problemsOfText("{\n  \"beam\": {\"voltage\": 1,\n  }\n}");
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].rfind("dir/tube.json: not valid JSON: line 3, column 3", 0), 0u) << p[0];
  p = problemsOfText("");
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NE(p[0].find("not valid JSON"), std::string::npos) << p[0];
  p = problemsOfText(R"({"beam": {"voltage": 1e999}})");
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NE(p[0].find("1e999"), std::string::npos) << p[0];
  EXPECT_EQ(problemOf(json::array()), "dir/tube.json: expected a JSON object at the top level, found an array");
}

TEST(TubeFileTest, WrongTypesNameTheKeyPathAndTheValueFound) {
  json t = goodTube();
  t["cavities"][2]["qe"] = "abc";
  EXPECT_EQ(problemOf(t), R"(dir/tube.json: cavities[2].qe: expected a number, found "abc")");
  t = goodTube();
  t["beam"]["voltage"] = true;
  EXPECT_EQ(problemOf(t), "dir/tube.json: beam.voltage: expected a number, found true");
  t = goodTube();
  t["simulation"]["disks"] = 8.5;
  EXPECT_EQ(problemOf(t), "dir/tube.json: simulation.disks: expected an integer of at least 1, found 8.5");
  t = goodTube();
  t["cavities"] = json::object();
  EXPECT_EQ(problemOf(t), "dir/tube.json: cavities: expected an array of cavities, found an object");
  t = goodTube();
  t["cavities"][1] = 3;
  EXPECT_EQ(problemOf(t), "dir/tube.json: cavities[1]: expected an object, found 3");
  t = goodTube();
  t["name"] = 7;
  EXPECT_EQ(problemOf(t), "dir/tube.json: name: expected a non-empty string, found 7");
  t = goodTube();
  t["description"] = json::array({"two", "lines"});
  EXPECT_EQ(problemOf(t), "dir/tube.json: description: expected a non-empty string, found an array");
  t = goodTube();
  t["simulation"]["importBeam"] = {{"file", dataFile("prebunched-beam.txt")}, {"useGivenInjectionPosition", "yes"}};
  EXPECT_EQ(problemOf(t),
            R"(dir/tube.json: simulation.importBeam.useGivenInjectionPosition: expected true or false, found "yes")");
}

TEST(TubeFileTest, UnknownMissingAndRepeatedKeys) {
  json t = goodTube();
  t["cavities"][1]["qE"] = 5;
  t["cavities"][1].erase("qe");
  auto p = problemsOf(t);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0], R"(dir/tube.json: cavities[1].qE: unknown key (did you mean "qe"?))");
  EXPECT_EQ(p[1], "dir/tube.json: cavities[1].qe: missing required key");

  t = goodTube();
  t["simulation"]["passes"] = 3;
  EXPECT_EQ(problemOf(t),
            "dir/tube.json: simulation.passes: unknown key; expected one of: disks, rings, steps, "
            "maxIterations, nearField, importBeam");
  t = goodTube();
  t.erase("beam");
  EXPECT_EQ(problemOf(t), "dir/tube.json: beam: missing required key");
  t = goodTube();
  t["simulation"]["importBeam"] = {{"file", dataFile("prebunched-beam.txt")}, {"useGivenInjectionPosition", true}};
  EXPECT_EQ(problemOf(t), "dir/tube.json: simulation.importBeam.injectionPosition: missing required key");

  // A repeated key would silently win over the first one.
  std::string text = goodTube().dump();
  text.replace(text.find("\"qe\":300"), 8, "\"qe\":300,\"qe\":30");
  EXPECT_EQ(problemsOfText(text), std::vector<std::string>{"dir/tube.json: cavities[0].qe: key given twice"});
}

TEST(TubeFileTest, CountsAndPhysicalValuesOutOfRange) {
  struct Case {
    const char* pointer;
    json value;
    const char* expected;
  };
  const Case cases[] = {
      {"/simulation/disks", 0, "simulation.disks: expected an integer of at least 1, found 0"},
      {"/simulation/rings", 21, "simulation.rings: expected an integer from 1 to 20, found 21"},
      {"/simulation/steps", -4, "simulation.steps: expected an integer of at least 1, found -4"},
      {"/simulation/maxIterations", 1e10,
       "simulation.maxIterations: expected an integer of at least 1, found 10000000000.0"},
      {"/cavities/0/harmonic", 0,
       "cavities[0].harmonic: expected a harmonic number from -4 to 4 other than 0, found 0"},
      {"/cavities/0/harmonic", 5,
       "cavities[0].harmonic: expected a harmonic number from -4 to 4 other than 0, found 5"},
      {"/cavities/0/m", 1.0, "cavities[0].m: expected a number between 0 and 1 (both excluded), found 1.0"},
      {"/cavities/1/qo", 0, "cavities[1].qo: expected a positive number, found 0"},
      {"/cavities/1/gapWidth", -0.01, "cavities[1].gapWidth: expected a positive number, found -0.01"},
      {"/beam/current", -90, "beam.current: expected a positive number, found -90"},
      {"/beam/inputPower", -1, "beam.inputPower: expected a number of at least 0, found -1"},
      {"/beam/beamRadius", 0.0095,
       "beam.beamRadius: 0.0095 is not smaller than tubeRadius (0.0095): the beam must "
       "fit inside the drift tube"},
      {"/cavities/2/z", 0.12,
       "cavities[2].z: 0.12 does not lie after cavities[1].z (0.12): list the cavities in "
       "order along the tube"},
      {"/simulation/nearField", "thick", "simulation.nearField: expected \"thin\" or \"finite\", found \"thick\""},
      {"/simulation/nearField", 1, "simulation.nearField: expected \"thin\" or \"finite\", found 1"},
  };
  for (const Case& c : cases) {
    json t = goodTube();
    t[json::json_pointer(c.pointer)] = c.value;
    EXPECT_EQ(problemOf(t), std::string("dir/tube.json: ") + c.expected) << c.pointer;
  }
  json t = goodTube();
  t["beam"]["inputPower"] = 0;  // no drive is a valid run (an imported beam needs none)
  EXPECT_TRUE(problemsOf(t).empty());
  for (const char* name : {"thin", "finite"}) {
    t["simulation"]["nearField"] = name;
    EXPECT_EQ(kly_nearFieldName(kly_TubeFile::parse(t.dump(), kSource).description.simulation->nearField),
              std::string(name));
  }

  t = goodTube();
  t["cavities"] = json::array();
  EXPECT_EQ(problemOf(t), "dir/tube.json: cavities: expected 1 to 20 cavities, found 0");
  for (int i = 3; i < 21; ++i) {
    json c = goodTube()["cavities"][1];
    c["z"] = 0.1 * i;
    t = i == 3 ? goodTube() : t;
    t["cavities"].push_back(c);
  }
  ASSERT_EQ(t["cavities"].size(), 21u);
  EXPECT_EQ(problemOf(t), "dir/tube.json: cavities: expected 1 to 20 cavities, found 21");
  t["cavities"].erase(20);
  EXPECT_TRUE(problemsOf(t).empty());
}

TEST(TubeFileTest, BeamGeometryIsOneSetOrTheOther) {
  json t = goodTube();
  t["beam"]["tubeWidth"] = 0.024;
  EXPECT_EQ(problemOf(t),
            "dir/tube.json: beam: give either tubeRadius and beamRadius (a round beam) or beamWidth, "
            "beamHeight, tubeWidth and tubeHeight (a sheet beam), not both");
  t = goodTube();
  t["beam"].erase("tubeRadius");
  t["beam"].erase("beamRadius");
  EXPECT_NE(problemOf(t).find("dir/tube.json: beam: missing the geometry: give tubeRadius"), std::string::npos);
  t = goodTube();
  t["beam"].erase("tubeRadius");
  EXPECT_EQ(problemOf(t), "dir/tube.json: beam.tubeRadius: missing required key");
  t = goodTube();
  t["beam"].erase("tubeRadius");
  t["beam"].erase("beamRadius");
  t["beam"].update({{"beamWidth", 0.02}, {"beamHeight", 0.004}, {"tubeWidth", 0.024}, {"tubeHeight", 0.004}});
  EXPECT_EQ(problemOf(t),
            "dir/tube.json: beam.beamHeight: 0.004 is not smaller than tubeHeight (0.004): the beam "
            "must fit inside the drift tube");
}

TEST(TubeFileTest, FieldFilesAndRings) {
  json t = goodTube();
  t["cavities"][1]["fieldRings"] = 2;
  EXPECT_EQ(problemOf(t), "dir/tube.json: cavities[1].fieldRings: given without fieldFile");
  t = goodTube();
  t["cavities"][1]["fieldFile"] = "fields/missing.txt";
  EXPECT_EQ(problemOf(t), "dir/tube.json: cavities[1].fieldFile: cannot open 'fields/missing.txt' (looked for '" +
                              (std::filesystem::current_path() / "dir/fields/missing.txt").string() + "')");
  t = goodTube();
  t["cavities"][1]["fieldFile"] = "";
  EXPECT_EQ(problemOf(t), R"(dir/tube.json: cavities[1].fieldFile: expected a non-empty string, found "")");
  t = goodTube();
  t["cavities"][1]["fieldFile"] = dataFile("gap-field-mm.txt");
  t["cavities"][1]["fieldRings"] = 51;
  EXPECT_EQ(problemOf(t), "dir/tube.json: cavities[1].fieldRings: expected an integer from 1 to 50, found 51");
  // The simulation reads the profile at each of its rings.
  t["cavities"][1]["fieldRings"] = 2;
  t["simulation"]["rings"] = 3;
  EXPECT_EQ(problemOf(t),
            "dir/tube.json: cavities[1].fieldRings: 2 is fewer than simulation.rings (3): the "
            "simulation needs the field at every ring");
  t["cavities"][1].erase("fieldRings");
  EXPECT_EQ(problemOf(t),
            "dir/tube.json: cavities[1].fieldRings: 1 (the default) is fewer than simulation.rings "
            "(3): the simulation needs the field at every ring");
}

TEST(TubeFileTest, EveryProblemOfAFileIsReportedAtOnce) {
  json t = goodTube();
  t["beam"]["voltage"] = "110 kV";
  t["cavities"][0].erase("rq");
  t["cavities"][2]["harmonic"] = 0;
  t["simulation"]["rings"] = 0;
  t["extra"] = 1;
  auto p = problemsOf(t);
  ASSERT_EQ(p.size(), 5u);
  const std::string all = fmt::format("{}", fmt::join(p, "\n"));
  for (const char* path : {"beam.voltage", "cavities[0].rq", "cavities[2].harmonic", "simulation.rings", "extra"}) {
    EXPECT_NE(all.find(std::string("dir/tube.json: ") + path + ":"), std::string::npos) << path << "\n" << all;
  }
  try {
    kly_TubeFile::parse(t.dump(), kSource);
    FAIL() << "accepted";
  } catch (const kly_TubeFileError& e) {
    EXPECT_EQ(e.what(), all);  // one line per problem
  }
}

TEST(TubeFileTest, AFileThatCannotBeOpened) {
  try {
    kly_TubeFile::read("no/such/tube.json");
    FAIL() << "accepted";
  } catch (const kly_TubeFileError& e) {
    EXPECT_STREQ(e.what(), "no/such/tube.json: cannot open the tube file");
  }
}

// The tube file of the README, read as if saved in examples/: every file it
// names is one of the examples' own.
TEST(TubeFile, TheReadmeSampleIsAValidTubeWhoseFilesExist) {
  const std::string readme = kly_test::readText(std::string(KLY_SOURCE_DIR) + "/README.md");
  const std::size_t section = readme.find("### The tube file");
  ASSERT_NE(section, std::string::npos);
  const std::size_t start = readme.find("```json\n", section);
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = readme.find("```", start + 8);
  const std::string sample = readme.substr(start + 8, end - start - 8);
  const kly_TubeFileContents t = kly_TubeFile::parse(sample, std::string(KLY_SOURCE_DIR) + "/examples/sample.json");
  ASSERT_TRUE(t.description.simulation && t.description.simulation->importBeam);
  EXPECT_TRUE(std::filesystem::exists(t.description.simulation->importBeam->file));
  for (const kly_CavityDescription& c : t.description.cavities) {
    if (c.hasFieldFile) {
      EXPECT_TRUE(std::filesystem::exists(c.fieldFile)) << c.fieldFile;
    }
  }
}

TEST(TubeFile, AFolderIsNamedAsOne) {
  const std::string examples = std::string(KLY_SOURCE_DIR) + "/examples";
  try {
    kly_TubeFile::read(examples);
    FAIL() << "read a folder";
  } catch (const kly_TubeFileError& e) {
    EXPECT_EQ(std::string(e.what()), examples +
                                         ": is a folder, not a tube file (it holds sband-prebunched.json, "
                                         "sband-round.json, xband-sheet.json)");
  }
}

}  // namespace
