#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "kly_Files.h"
#include "kly_SvgCheck.h"
#include "kly_ToolTubes.h"
#include "klystron/core/kly_Errors.h"
#include "tools/kly_CsvWriter.h"
#include "tools/kly_OutputFolder.h"
#include "tools/kly_ProgressLine.h"
#include "tools/kly_ResultsWriter.h"
#include "tools/kly_RunFiles.h"
#include "tools/kly_Summary.h"
#include "tools/kly_TubePlots.h"
#include "tools/kly_TubeRun.h"

namespace {

using nlohmann::json;

using kly_test::csvRows;
using kly_test::runOf;
using kly_test::smallTube;

// One simulated and one analytic-only run of the small tube, shared by the tests.
class WritersTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    simulated_ = runOf(smallTube(), true, &observed_).release();
    analytic_ = runOf(smallTube(), false).release();
  }
  static void TearDownTestSuite() {
    delete simulated_;
    delete analytic_;
  }
  static kly_TubeRun* simulated_;
  static kly_TubeRun* analytic_;
  static std::vector<kly_PassReport> observed_;
};
kly_TubeRun* WritersTest::simulated_ = nullptr;
kly_TubeRun* WritersTest::analytic_ = nullptr;
std::vector<kly_PassReport> WritersTest::observed_;

// The simulated results and the model families that exist only after a simulation.
const char* const kSimulatedKeys[] = {"disks",
                                      "rings",
                                      "steps",
                                      "maxIterations",
                                      "nearField",
                                      "simulatedIterations",
                                      "simulatedMaxTimeStep",
                                      "simulatedGain",
                                      "simulatedOutputPower",
                                      "simulatedElectronicEfficiency",
                                      "simulatedKineticEfficiency",
                                      "simulatedTotalEfficiency",
                                      "analyticCircuitEfficiency",
                                      "simulatedMultipleOutputPower",
                                      "simulatedMultipleOutputGain",
                                      "simulatedMultipleOutputCircuitEfficiency",
                                      "simulatedMultipleOutputElectronicEfficiency",
                                      "simulatedMultipleOutputTotalEfficiency",
                                      "simulatedGb1",
                                      "simulatedBb1",
                                      "simulatedMaxI1I0",
                                      "simulatedMaxI1I0ZLocation",
                                      "simulatedMinVOverC",
                                      "simulatedMinVOverCLocation",
                                      "diskReflected",
                                      "fieldOverlapping",
                                      "simulatedCavityVoltage",
                                      "simulatedCavityVoltagePhase",
                                      "simulatedCavityCurrentMagnitude",
                                      "simulatedCavityCurrentPhase",
                                      "simulatedI1I0",
                                      "simulatedI1I0Phase",
                                      "simulatedI2I0"};

TEST_F(WritersTest, ResultsHoldEveryGetterWithTheModelsValues) {
  const json j = json::parse(kly_ResultsWriter::render(*simulated_));
  const kly_Analytic& a = simulated_->analytic();
  const kly_DiskSimulation& s = *simulated_->simulation();
  const kly_BuiltTube& k = simulated_->built();
  EXPECT_EQ(j.at("analyticGain").get<double>(), a.getGain());
  EXPECT_EQ(j.at("analyticOutputPower").get<double>(), a.getOutputPower());
  EXPECT_EQ(j.at("analyticMultipleOutputTotalEfficiency").get<double>(), a.getMultipleOutputTotalEfficiency());
  EXPECT_EQ(j.at("analyticBeamVelocity").get<double>(), k.beam().getBeamVelocity());
  EXPECT_EQ(j.at("analyticRFWavelength").get<double>(), k.beam().getRfWavelength());
  EXPECT_EQ(j.at("beamVoltage").get<double>(), 110000);
  EXPECT_EQ(j.at("roundBeam").get<bool>(), true);
  EXPECT_EQ(j.at("cavityCount").get<int>(), 3);
  EXPECT_EQ(j.at("speedOfLight").get<double>(), 299792458.0);
  EXPECT_EQ(j.at("simulatedGain").get<double>(), s.getSimulatedGain());
  EXPECT_EQ(j.at("analyticCircuitEfficiency").get<double>(), s.getSimulatedCircuitEfficiency());
  EXPECT_EQ(j.at("simulatedIterations").get<int>(), 3);
  EXPECT_EQ(j.at("disks").get<int>(), 8);
  EXPECT_EQ(j.at("diskReflected").get<bool>(), s.isDiskReflected());

  for (const char* key : {"z", "frequency", "m", "gapWidth", "rQ", "qe", "qo", "harmonic", "analyticCavityVoltage",
                          "analyticCavityVoltagePhase", "analyticGapImpedance", "analyticQb", "analyticBb",
                          "analyticGb", "cavityFieldZMin", "cavityFieldZMax", "cavityFieldWidth",
                          "simulatedCavityVoltage", "simulatedCavityVoltagePhase"}) {
    ASSERT_TRUE(j.at(key).is_array()) << key;
    EXPECT_EQ(j.at(key).size(), 3u) << key;
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(j["analyticCavityVoltage"][i].get<double>(), a.getCavityVoltage(i));
    EXPECT_EQ(j["simulatedCavityVoltagePhase"][i].get<double>(), s.getSimulatedCavityVoltagePhase(i));
    EXPECT_EQ(j["rQ"][i].get<double>(), k.description().cavities[static_cast<std::size_t>(i)].rq);
    EXPECT_EQ(j["analyticGapImpedance"][i].get<double>(), std::abs(k.cavity(i).getGapImpedance()));
    EXPECT_EQ(j["cavityFieldWidth"][i].get<double>(), k.cavity(i).getFieldZMax() - k.cavity(i).getFieldZMin());
    ASSERT_EQ(j["simulatedCavityCurrentMagnitude"][i].size(), 5u);
    for (int h = 0; h < 5; ++h) {
      EXPECT_EQ(j["simulatedCavityCurrentMagnitude"][i][h].get<double>(), s.getSimulatedCavityCurrentMagnitude(i, h));
      EXPECT_EQ(j["simulatedCavityCurrentPhase"][i][h].get<double>(), s.getSimulatedCavityCurrentPhase(i, h));
    }
  }
  for (const char* key : {"analyticI1I0", "simulatedI1I0", "simulatedI1I0Phase", "simulatedI2I0"}) {
    ASSERT_EQ(j.at(key).size(), 2u) << key;
    ASSERT_EQ(j[key]["z"].size(), 200u) << key;
    ASSERT_EQ(j[key]["value"].size(), 200u) << key;
    for (int i = 1; i < 200; ++i) EXPECT_GT(j[key]["z"][i].get<double>(), j[key]["z"][i - 1].get<double>()) << key;
  }
  EXPECT_EQ(j["analyticI1I0"]["value"][120].get<double>(), a.getI1I0Sample(120));
  EXPECT_EQ(j["simulatedI2I0"]["value"][50].get<double>(), s.getSimulatedI2I0Sample(50));
  EXPECT_EQ(j["simulatedI1I0"]["z"][7].get<double>(), s.getBunchingGridZ(7));
}

TEST_F(WritersTest, SimulatedResultsOnlyWhenTheSimulationRan) {
  const json with = json::parse(kly_ResultsWriter::render(*simulated_));
  const json without = json::parse(kly_ResultsWriter::render(*analytic_));
  for (const char* key : kSimulatedKeys) {
    EXPECT_TRUE(with.contains(key)) << key;
    EXPECT_FALSE(without.contains(key)) << key;
  }
  // Everything else is the same in both.
  EXPECT_EQ(with.size() - std::size(kSimulatedKeys), without.size());
  EXPECT_EQ(with["analyticGain"], without["analyticGain"]);
  EXPECT_EQ(with["analyticI1I0"], without["analyticI1I0"]);
}

TEST_F(WritersTest, NonFiniteNumbersAreNull) {
  // One cavity: no later loaded cavity, so the multiple-output gain is -inf and its efficiencies NaN.
  json t = smallTube();
  t["cavities"].erase(1);
  t["cavities"].erase(1);
  auto run = runOf(t, false);
  ASSERT_TRUE(std::isinf(run->analytic().getMultipleOutputGain()));
  const std::string text = kly_ResultsWriter::render(*run);
  const json j = json::parse(text);
  EXPECT_TRUE(j.at("analyticMultipleOutputGain").is_null());
  EXPECT_TRUE(j.at("analyticMultipleOutputCircuitEfficiency").is_null());
  EXPECT_TRUE(j.at("analyticGain").is_number());
  EXPECT_EQ(text.find("NaN"), std::string::npos);
  EXPECT_EQ(text.find("Infinity"), std::string::npos);
}

TEST_F(WritersTest, CsvTablesHaveTheirColumnsAndRows) {
  auto rows = csvRows(kly_CsvWriter::analyticI1I0(*simulated_));
  ASSERT_EQ(rows.size(), 201u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"z", "i1i0"}));
  EXPECT_EQ(std::stod(rows[101][1]), simulated_->analytic().getI1I0Sample(100));  // shortest exact form

  rows = csvRows(kly_CsvWriter::cavities(*simulated_));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].back(), "simulatedVoltagePhase");
  EXPECT_EQ(std::stod(rows[3][16]), simulated_->analytic().getCavityVoltagePhase(2));
  EXPECT_EQ(rows[3][5], "100");
  auto analyticOnly = csvRows(kly_CsvWriter::cavities(*analytic_));
  EXPECT_EQ(analyticOnly[0].back(), "analyticVoltagePhase");

  const kly_DiskSimulation& s = *simulated_->simulation();
  rows = csvRows(kly_CsvWriter::trajectories(*simulated_));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(s.getSimulatedMaxTimeStep()) + 1);
  ASSERT_EQ(rows[0].size(), 2u + 8u);
  EXPECT_EQ(std::stod(rows[5][2 + 3]), s.getSimulatedDiskPosition(3, 0, 4));
  EXPECT_EQ(std::stod(rows[17][1]), 16 / (2.856e9 * 16));  // time of step 16: one period

  EXPECT_EQ(csvRows(kly_CsvWriter::diskVelocities(*simulated_)).size(), 8u * 1u + 1u);
  EXPECT_EQ(csvRows(kly_CsvWriter::simulatedCurrents(*simulated_)).size(), 3u * 5u + 1u);
  EXPECT_EQ(csvRows(kly_CsvWriter::simulatedBunching(*simulated_)).size(), 201u);
  rows = csvRows(kly_CsvWriter::passes(*simulated_));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3][0], "2");
  EXPECT_THROW(kly_CsvWriter::trajectories(*analytic_), kly_StateError);

  EXPECT_EQ(kly_CsvWriter::table({"a", "b"}, {{NAN, -INFINITY}, {0.1, 3}}), "a,b\nnan,-inf\n0.1,3\n");
}

TEST_F(WritersTest, ThePassesSeenAreThePassesMade) {
  ASSERT_EQ(observed_.size(), 3u);
  ASSERT_EQ(simulated_->passes().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(observed_[i].pass, i);
    EXPECT_EQ(simulated_->passes()[i].outputVoltage, observed_[i].outputVoltage);
  }
  EXPECT_EQ(observed_.back().outputVoltage, simulated_->simulation()->getSimulatedCavityVoltage(2));
}

TEST_F(WritersTest, PlotsAreWellFormedAndHoldTheirSeries) {
  const kly_DiskSimulation& s = *simulated_->simulation();
  kly_SvgCheck b = kly_SvgCheck::parse(kly_TubePlots::bunching(*simulated_).render());
  ASSERT_TRUE(b.wellFormed) << b.error;
  EXPECT_EQ(b.series.at("analytic I1/I0").points.size(), 200u);
  // The simulated profile up to the output field's end (kly_TubePlotsTest).
  EXPECT_GT(b.series.at("simulated I1/I0").points.size(), 100u);
  EXPECT_EQ(b.series.at("simulated I2/I0").points.size(), b.series.at("simulated I1/I0").points.size());
  for (const char* label : {"0", "1", "2"}) EXPECT_TRUE(b.hasText(label)) << label;  // cavity markers
  b = kly_SvgCheck::parse(kly_TubePlots::bunching(*analytic_).render());
  EXPECT_EQ(b.series.size(), 1u);

  kly_SvgCheck v = kly_SvgCheck::parse(kly_TubePlots::cavityVoltages(*simulated_).render());
  ASSERT_TRUE(v.wellFormed) << v.error;
  EXPECT_EQ(v.series.at("analytic").rects, 3);
  EXPECT_EQ(v.series.at("simulated").rects, 3);

  kly_SvgCheck a = kly_SvgCheck::parse(kly_TubePlots::applegate(*simulated_).render());
  ASSERT_TRUE(a.wellFormed) << a.error;
  EXPECT_EQ(a.series.size(), 8u);  // one trajectory per disk
  EXPECT_GE(a.series.at("disk 0").points.size(), 2u);
  EXPECT_EQ(a.bands.size(), 3u);  // the gaps; their centres are marked by number

  kly_SvgCheck e = kly_SvgCheck::parse(kly_TubePlots::exitVelocities(*simulated_).render());
  ASSERT_TRUE(e.wellFormed) << e.error;
  int left = 0;
  for (int d = 0; d < 8; ++d) left += s.getSimulatedExitVelocity(d, 0) != 0;
  EXPECT_EQ(e.series.at("disk rings per bin").rects > 0, left > 0);
  EXPECT_THROW(kly_TubePlots::applegate(*analytic_), kly_StateError);
}

TEST_F(WritersTest, SummaryShowsBothModelsSideBySide) {
  std::ostringstream out;
  kly_Summary::print(out, *simulated_);
  const std::string text = out.str();
  for (const char* part :
       {"small test tube", "Beam: round", "Cavities", "Performance", "gain [dB]", "kinetic efficiency",
        "all outputs: total eff.", "Simulation: 8 disks x 1 rings", "thin near field", "3 of at most 3 passes"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  // Three passes do not settle the voltages of this tube.
  EXPECT_NE(text.find("stopped at its limit of 3 passes without converging"), std::string::npos) << text;

  std::ostringstream only;
  kly_Summary::print(only, *analytic_);
  EXPECT_NE(only.str().find("Analytic model only"), std::string::npos);
  EXPECT_EQ(only.str().find("Warnings"), std::string::npos) << only.str();
}

TEST(NearFieldTest, TheOptionOverTheTubeFileOverTheDefault) {
  json t = smallTube();
  t["simulation"].erase("nearField");
  EXPECT_EQ(runOf(t, true)->nearField(), kly_NearField::finite);  // the command's default
  t["simulation"]["nearField"] = "finite";
  auto fromFile = runOf(t, true);
  EXPECT_EQ(fromFile->simulation()->getNearField(), kly_NearField::finite);
  EXPECT_EQ(json::parse(kly_ResultsWriter::render(*fromFile)).at("nearField"), "finite");
  kly_TubeRunOptions thin;
  thin.nearField = kly_NearField::thin;
  auto fromOption = runOf(t, true, nullptr, thin);
  EXPECT_EQ(fromOption->simulation()->getNearField(), kly_NearField::thin);
  EXPECT_EQ(json::parse(kly_ResultsWriter::render(*fromOption)).at("nearField"), "thin");
  EXPECT_NE(fromOption->simulation()->getSimulatedGain(), fromFile->simulation()->getSimulatedGain());
}

TEST(ResolutionCheckTest, RepeatsWithOneRingAndTwoDisksMore) {
  json t = smallTube();
  t["simulation"]["nearField"] = "finite";
  t["simulation"]["maxIterations"] = 30;  // enough to converge
  kly_TubeRunOptions o;
  o.checkResolution = true;
  std::vector<std::string> announced;
  o.onRepeat = [&](const kly_ResolutionRepeat& r) { announced.push_back(r.change); };
  std::vector<kly_PassReport> passes;
  auto run = runOf(t, true, &passes, o);
  ASSERT_EQ(run->resolution().size(), 2u);
  EXPECT_EQ(announced, (std::vector<std::string>{"one ring more", "two disks more"}));
  // The passes of the run and of both repeats.
  EXPECT_EQ(passes.size(), static_cast<std::size_t>(run->simulation()->getSimulatedIterations() +
                                                    run->resolution()[0].iterations + run->resolution()[1].iterations));

  // Each repeat is the run the counts describe, with the run's near field.
  const kly_TubeDescription d = kly_TubeFile::parse(t.dump(), "test.json").description;
  for (const kly_ResolutionRepeat& r : run->resolution()) {
    ASSERT_TRUE(r.skipped.empty()) << r.skipped;
    kly_SimulationSettings counts = *d.simulation;
    ASSERT_EQ(counts.nearField, kly_NearField::finite);
    counts.disks = r.disks;
    counts.rings = r.rings;
    kly_DiskSimulation s;
    s.simulate(*kly_BuiltTube::build(d), counts, {nullptr, 1});
    EXPECT_EQ(r.gain, s.getSimulatedGain()) << r.change;
    EXPECT_EQ(r.outputPower, s.getSimulatedOutputPower()) << r.change;
    EXPECT_EQ(r.electronicEfficiency, s.getSimulatedElectronicEfficiency()) << r.change;
    EXPECT_EQ(r.iterations, s.getSimulatedIterations());
    EXPECT_LT(r.iterations, 30);
    EXPECT_TRUE(r.converged);
  }
  EXPECT_EQ(run->resolution()[0].disks, 8);
  EXPECT_EQ(run->resolution()[0].rings, 2);
  EXPECT_EQ(run->resolution()[1].disks, 10);
  EXPECT_EQ(run->resolution()[1].rings, 1);

  const json j = json::parse(kly_ResultsWriter::render(*run));
  const json& check = j.at("resolutionCheck");
  EXPECT_EQ(check.at("gainLimit"), 0.5);
  ASSERT_EQ(check.at("repeats").size(), 2u);
  const json& ring = check["repeats"][0];
  EXPECT_EQ(ring.at("change"), "one ring more");
  EXPECT_TRUE(ring.at("skipped").is_null());
  EXPECT_EQ(ring.at("gainChange").get<double>(), run->resolution()[0].gain - run->simulation()->getSimulatedGain());
  const bool moved = std::abs(ring["gainChange"].get<double>()) > 0.5 ||
                     std::abs(check["repeats"][1]["gainChange"].get<double>()) > 0.5;
  EXPECT_EQ(check.at("flagged").get<bool>(), moved);

  std::ostringstream out;
  kly_Summary::print(out, *run);
  for (const char* part : {"Resolution check", "one ring more", "two disks more", "8 x 2", "10 x 1"})
    EXPECT_NE(out.str().find(part), std::string::npos) << part << "\n" << out.str();
  EXPECT_EQ(out.str().find("did not converge"), std::string::npos) << out.str();
  const auto& w = run->warnings();
  EXPECT_EQ(std::any_of(
                w.begin(), w.end(),
                [](const kly_Warning& x) { return x.message.find("depends on the resolution") != std::string::npos; }),
            moved);
  // Without the check there is nothing of it.
  EXPECT_FALSE(json::parse(kly_ResultsWriter::render(*runOf(t, true))).contains("resolutionCheck"));
}

TEST(ResolutionCheckTest, RepeatsTheModelCannotMakeAreSkippedAndLargeMovesFlagged) {
  json t = smallTube();
  t["simulation"]["rings"] = 20;
  t["simulation"]["disks"] = 4;
  t["simulation"]["maxIterations"] = 1;
  kly_TubeRunOptions o;
  o.checkResolution = true;
  auto run = runOf(t, true, nullptr, o);
  ASSERT_EQ(run->resolution().size(), 2u);
  EXPECT_EQ(run->resolution()[0].skipped, "the simulation takes at most 20 rings");
  EXPECT_TRUE(run->resolution()[1].skipped.empty());

  // The imported beam of 32 rows cannot give 33 disks.
  t = smallTube();
  t["simulation"]["disks"] = 31;
  t["simulation"]["maxIterations"] = 1;
  t["simulation"]["importBeam"] = {{"file", std::string(KLY_TEST_DATA_DIR) + "/prebunched-beam.txt"},
                                   {"useGivenInjectionPosition", true},
                                   {"injectionPosition", 0.2}};
  auto imported = runOf(t, true, nullptr, o);
  EXPECT_TRUE(imported->resolution()[0].skipped.empty());
  EXPECT_NE(imported->resolution()[1].skipped.find("fewer than 33 disks"), std::string::npos)
      << imported->resolution()[1].skipped;
  std::ostringstream out;
  kly_Summary::print(out, *imported);
  EXPECT_NE(out.str().find("two disks more: not run: the beam file has"), std::string::npos) << out.str();

  kly_ResolutionRepeat r;
  r.gain = 40.5;
  EXPECT_FALSE(kly_ResolutionCheck::moves(r, 40.0));  // 0.5 dB is within the limit
  r.gain = 40.51;
  EXPECT_TRUE(kly_ResolutionCheck::moves(r, 40.0));
  EXPECT_TRUE(kly_ResolutionCheck::moves(r, 41.02));
  r.gain = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(kly_ResolutionCheck::moves(r, r.gain));  // no drive: infinite either way
  EXPECT_TRUE(kly_ResolutionCheck::moves(r, 40.0));
  r.gain = std::numeric_limits<double>::quiet_NaN();  // no gain to compare: warned of on its own
  EXPECT_FALSE(kly_ResolutionCheck::moves(r, 40.0));
  EXPECT_FALSE(kly_ResolutionCheck::moves(r, r.gain));
  r.skipped = "not run";
  EXPECT_FALSE(kly_ResolutionCheck::moves(r, 40.0));
}

TEST(SummaryTest, WarnsOfOverlappingGapFields) {
  json t = smallTube();
  t["cavities"][1]["z"] = 0.01;  // the Gaussian fields of the first two gaps now overlap
  auto run = runOf(t, true);
  ASSERT_TRUE(run->simulation()->isFieldOverlapping());
  const auto& w = run->warnings();
  EXPECT_TRUE(std::any_of(w.begin(), w.end(),
                          [](const kly_Warning& s) { return s.message.find("overlap") != s.message.npos; }));
}

TEST_F(WritersTest, SummaryShowsTheAnalyticEfficienciesAndTheEstimate) {
  std::ostringstream out;
  kly_Summary::print(out, *simulated_);
  const std::string text = out.str();
  // The output cavity's efficiencies in the analytic model: its circuit
  // share, and its power over the beam power I0 Vd.
  const kly_Analytic& a = simulated_->analytic();
  const double circuit = 2500.0 / (2500 + 40);
  const double total = a.getOutputPower() / (90 * simulated_->built().beam().getDepressedBeamVoltage());
  for (const std::string& row : {fmt::format("{:<32}{:>14.3f}", "electronic efficiency [%]", 100 * total / circuit),
                                 fmt::format("{:<32}{:>14.3f}", "circuit efficiency [%]", 100 * circuit),
                                 fmt::format("{:<32}{:>14.3f}", "total efficiency [%]", 100 * total),
                                 fmt::format("{:<32}{:>14}", "kinetic efficiency [%]", "-")}) {
    EXPECT_NE(text.find(row), std::string::npos) << row << "\n" << text;
  }
  EXPECT_NE(text.find("electronic wl u0/f"), std::string::npos) << text;
  EXPECT_EQ(text.find("RF wavelength"), std::string::npos) << text;
}

TEST(SummaryTest, NoDriveNoNanAndNoNegativeZero) {
  json t = smallTube();
  t["beam"]["inputPower"] = 0;
  auto run = runOf(t, true);
  std::ostringstream out;
  kly_Summary::print(out, *run);
  const std::string text = out.str();
  EXPECT_NE(text.find("90 A, no drive at 2.856 GHz"), std::string::npos) << text;
  EXPECT_NE(text.find("gain [dB]                             no drive      no drive"), std::string::npos) << text;
  for (const char* never : {"nan", "-0.00", "inf"}) EXPECT_EQ(text.find(never), std::string::npos) << never << text;
}

TEST(SummaryTest, TheDescriptionStandsUnderTheNameInLinesOfAHundred) {
  json t = smallTube();
  t["description"] = std::string(60, 'a') + " " + std::string(60, 'b');
  auto run = runOf(t, false);
  std::ostringstream out;
  kly_Summary::print(out, *run);
  const std::string text = out.str();
  const std::string lines = "\n  " + std::string(60, 'a') + "\n  " + std::string(60, 'b') + "\n\nBeam: ";
  EXPECT_NE(text.find(lines), std::string::npos) << text;
  EXPECT_EQ(text.find("\n\n"), text.find(lines) + lines.size() - 8) << text;  // no blank line above it
}

TEST(SummaryTest, AnImportedBeamsGainIsNamedForWhatItIs) {
  // The command test's tube: a beam imported at z = 0.2 m, downstream of the
  // first gap's field (the second's reaches the beam).
  auto run = std::make_unique<kly_TubeRun>(kly_TubeFile::read(kly_test::dataFile("../tools/data/small-tube.json")));
  kly_TubeRunOptions o;
  o.threads = 1;
  run->run(o);
  std::ostringstream out;
  kly_Summary::print(out, *run);
  const std::string text = out.str();
  EXPECT_NE(text.find("gain [dB] (*)"), std::string::npos) << text;
  EXPECT_NE(text.find("(*) simulated: the output power against the 60 W drive of the tube (beam.inputPower)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("no beam passes cavity 0, upstream of the imported beam"), std::string::npos) << text;
  EXPECT_EQ(text.find("-0.00"), std::string::npos) << text;
}

TEST(OutputFolderTest, CleanPathsAndAFolderCheckedBeforeTheRun) {
  namespace fs = std::filesystem;
  EXPECT_EQ(kly_OutputFolder::clean("out/"), "out");
  EXPECT_EQ(kly_OutputFolder::clean("./a//b/./"), "a/b");
  EXPECT_EQ(kly_OutputFolder::clean("/"), "/");
  EXPECT_EQ(kly_OutputFolder("out/").folder(), "out");

  const kly_test::ScratchDir dir("output-prepare");
  const kly_OutputFolder nested(dir.path() / "new" / "folder");
  EXPECT_FALSE(nested.holdsResults());
  nested.prepare();
  EXPECT_TRUE(fs::is_directory(dir.path() / "new" / "folder"));
  EXPECT_TRUE(fs::is_empty(dir.path() / "new" / "folder"));  // the probe is gone
  dir.write("new/folder/results.json", "{}");
  EXPECT_TRUE(nested.holdsResults());

  const std::string file = dir.write("plain-file", "x");
  for (const fs::path& bad : {fs::path(file), fs::path(file) / "below", fs::path("/proc/klystron-test")}) {
    try {
      kly_OutputFolder(bad).prepare();
      ADD_FAILURE() << "prepared " << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("cannot create the output folder '" + bad.string() + "'"), std::string::npos)
          << e.what();
    }
  }
}

TEST(OutputFolderTest, WritesReplacesAndRemovesOnlyItsOwnStaleFiles) {
  namespace fs = std::filesystem;
  const kly_test::ScratchDir scratch("output-folder");
  const fs::path& dir = scratch.path();
  auto read = [](const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  kly_OutputFolder first(dir / "nested");
  first.add("results.json", "one");
  first.add("applegate.svg", "<svg/>");
  first.write({"results.json", "applegate.svg"});
  EXPECT_EQ(read(dir / "nested" / "results.json"), "one");
  std::ofstream(dir / "nested" / "notes.txt") << "mine";

  kly_OutputFolder second(dir / "nested");
  second.add("results.json", "two");
  second.write({"results.json", "applegate.svg"});
  EXPECT_EQ(read(dir / "nested" / "results.json"), "two");
  EXPECT_FALSE(fs::exists(dir / "nested" / "applegate.svg"));  // from the earlier run
  EXPECT_EQ(read(dir / "nested" / "notes.txt"), "mine");       // not ours
  for (const auto& entry : fs::directory_iterator(dir / "nested")) {
    EXPECT_NE(entry.path().extension(), ".part") << entry.path();
  }

  std::ofstream(dir / "plain-file") << "x";
  kly_OutputFolder blocked(dir / "plain-file");
  blocked.add("results.json", "three");
  try {
    blocked.write({});
    FAIL() << "wrote into a file";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("plain-file"), std::string::npos) << e.what();
  }
}

TEST(OutputFolderTest, ARunWithoutSimulationWritesNoSimulatedFile) {
  auto run = runOf(smallTube(), false);
  const auto names = kly_RunFiles::collect(*run, "unused", "summary").names();
  EXPECT_EQ(names, (std::vector<std::string>{"analytic-i1i0.csv", "bunching.svg", "cavities.csv", "cavity-voltages.svg",
                                             "results.json", "summary.txt"}));
  for (const std::string& n : names) {
    const auto& all = kly_RunFiles::allNames();
    EXPECT_NE(std::find(all.begin(), all.end(), n), all.end()) << n;
  }
}

TEST(ProgressLineTest, InPlaceOnATerminalAndLineByLineElsewhere) {
  std::ostringstream tty;
  {
    kly_ProgressLine p(tty, true, 20);
    p.update({0, 1.0, 123456.0});
    p.update({1, 0.5, 2000.0});
    EXPECT_EQ(tty.str().find('\n'), std::string::npos);
  }
  const std::string t = tty.str();
  EXPECT_EQ(t.front(), '\r');
  EXPECT_EQ(t.back(), '\n');  // closed when it goes out of use
  const std::string first = "\rsimulation pass 1/20: convergence 1.000e+00, output voltage 123.5 kV";
  EXPECT_EQ(t.substr(0, first.size()), first);
  // The second, shorter line is padded to hide the end of the first.
  const std::size_t second = t.find('\r', 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(t.size() - 1 - second, first.size());

  std::ostringstream pipe;
  kly_ProgressLine p(pipe, false, 3);
  p.update({0, 1.0, 1000.0});
  p.update({1, 1.0, 2000.0});
  p.finish();
  EXPECT_EQ(pipe.str(),
            "simulation pass 1/3: convergence 1.000e+00, output voltage 1 kV\n"
            "simulation pass 2/3: convergence 1.000e+00, output voltage 2 kV\n");
}

TEST(ProgressLineTest, StepsOfALongPassOnly) {
  double now = 0;
  std::ostringstream pipe;
  kly_ProgressLine p(pipe, false, 5, [&now] { return now; });
  now = 2.9;
  p.step({0, 100, 1000});
  EXPECT_EQ(pipe.str(), "");  // a pass of a few seconds says nothing within
  now = 4;
  p.step({0, 400, 1000});
  EXPECT_EQ(pipe.str(), "simulation pass 1/5: time step 400 of 1000 (40 %), 4 s into the pass, about 6 s to go\n");
  now = 20;
  p.step({0, 800, 1000});  // into a pipe, at most a line every half minute
  EXPECT_EQ(pipe.str().find("800"), std::string::npos);
  now = 40;
  p.update({0, 1.0, 1000.0});
  now = 42;
  p.step({1, 300, 1000});  // the next pass starts its count afresh
  EXPECT_EQ(pipe.str().find("300 of"), std::string::npos) << pipe.str();
  now = 46;
  p.step({1, 600, 1000});
  EXPECT_NE(pipe.str().find("simulation pass 2/5: time step 600 of 1000 (60 %), 6 s into the pass"), std::string::npos)
      << pipe.str();
}

}  // namespace
