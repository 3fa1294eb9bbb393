// klystron sweep: its points against `klystron run`s of the same tubes, a
// stopped sweep resumed against one that ran through, refused points, every
// --vary that cannot be used, and the files and plots of each kind.
#include "tools/kly_SweepCommand.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <regex>
#include <sstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "kly_Files.h"
#include "kly_SvgCheck.h"
#include "kly_SweepFilesCompare.h"
#include "kly_ToolTubes.h"
#include "tools/kly_ResultsWriter.h"
#include "tools/kly_SweepJournal.h"
#include "tools/kly_SweepProgress.h"
#include "tools/kly_TubeRun.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// The small tube with passes enough to converge, in a folder of its own.
class SweepCommandTest : public ::testing::Test {
protected:
  SweepCommandTest() : dir_("sweep-command") {
    json t = kly_test::smallTube();
    t["simulation"]["maxIterations"] = 40;
    tube_ = dir_.write("tube.json", t.dump(2));
  }

  struct Outcome {
    int status;
    std::string out, err;
  };
  Outcome sweep(std::vector<std::string> vary, const std::string& folder, int jobs = 2, bool resume = false,
                std::function<bool()> stop = nullptr, bool noSim = false) {
    kly_SweepCommandOptions o;
    o.request.tube = tube_;
    o.request.vary = std::move(vary);
    o.request.noSim = noSim;
    o.output = dir_.path() / folder;
    o.jobs = jobs;
    o.resume = resume;
    std::ostringstream out, err;
    const int status = kly_SweepCommand::run(o, out, err, false, stop);
    return {status, out.str(), err.str()};
  }
  std::string file(const std::string& folder, const std::string& name) const {
    return kly_test::readText((dir_.path() / folder / name).string());
  }

  kly_test::ScratchDir dir_;
  std::string tube_;
};

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST_F(SweepCommandTest, ThreeSweepPointsEqualThreeRunsBitForBit) {
  const std::vector<double> f = {2.862e9, 2.870e9, 2.885e9};
  const Outcome o = sweep({"cavities[1].frequency=2.862e9,2.870e9,2.885e9"}, "sweep");
  ASSERT_EQ(o.status, 0) << o.err;
  const json points = json::parse(file("sweep", "sweep.json"))["points"];
  ASSERT_EQ(points.size(), 3u);
  for (std::size_t i = 0; i < f.size(); ++i) {
    // The point's tube as a tube file of its own, run as `klystron run` runs
    // it (the simulation on two threads).
    json t = json::parse(kly_test::readText(tube_));
    t["cavities"][1]["frequency"] = f[i];
    kly_TubeRun run(kly_TubeFile::read(dir_.write(fmt::format("point{}.json", i), t.dump())));
    kly_TubeRunOptions options;
    options.threads = 2;
    run.run(options);
    const auto results = kly_ResultsWriter::toJson(run);
    const json& p = points[i];
    EXPECT_EQ(p["cavities[1].frequency"].get<double>(), f[i]);
    EXPECT_EQ(p["status"], "ok");
    std::size_t compared = 0;
    for (const auto& [name, value] : results.items()) {
      // Every result of a scalar getter, with the model's name.
      if (!value.is_number() || (name.rfind("analytic", 0) != 0 && name.rfind("simulated", 0) != 0)) continue;
      ASSERT_TRUE(p.contains(name)) << "point " << i << " lacks " << name;
      EXPECT_EQ(bits(p[name].get<double>()), bits(value.get<double>())) << "point " << i << ": " << name;
      ++compared;
    }
    EXPECT_GE(compared, 35u);
    for (const auto& [name, values] : p["perCavity"].items()) {
      ASSERT_TRUE(results.contains(name)) << name;
      for (std::size_t k = 0; k < values.size(); ++k)
        EXPECT_EQ(bits(values[k].get<double>()), bits(results[name][k].get<double>())) << name << "[" << k << "]";
    }
    EXPECT_EQ(p["diskReflected"], results["diskReflected"]);
    EXPECT_EQ(p["fieldOverlapping"], results["fieldOverlapping"]);
  }
  EXPECT_NE(points[0]["simulatedGain"], points[2]["simulatedGain"]);
}

using kly_test::withoutTimes;

TEST_F(SweepCommandTest, AnInterruptedSweepResumedGivesTheFilesOfOneThatRanThrough) {
  const std::vector<std::string> vary = {"beam.inputPower=10:1000:5:log"};
  const Outcome whole = sweep(vary, "whole");
  ASSERT_EQ(whole.status, 0) << whole.err;

  // Stopped after two points, as the first Ctrl-C stops it.
  int asked = 0;
  const Outcome stopped = sweep(vary, "parts", 1, false, [&asked] { return ++asked > 2; });
  EXPECT_EQ(stopped.status, kly_SweepCommand::kStopped);
  EXPECT_NE(stopped.out.find("3 points did not run (interrupted): --resume runs them"), std::string::npos)
      << stopped.out;
  EXPECT_EQ(kly_test::csvRows(file("parts", "sweep.csv")).size(), 3u);  // header and two points
  const json before = json::parse(file("parts", "sweep.json"));
  // A process killed while it wrote a record leaves a line cut short.
  std::ofstream(dir_.path() / "parts" / kly_SweepJournal::kName, std::ios::app) << "0123456789abcdef 4 KP1 0 1 3";

  const Outcome resumed = sweep(vary, "parts", 2, true);
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("resuming: 2 of 5 points are in the journal (1 line(s) cut short"), std::string::npos)
      << resumed.err;
  for (const char* name : {"sweep.csv", "sweep.json", "summary.txt", "transfer-curve.svg", "drive-gain-efficiency.svg"})
    EXPECT_EQ(withoutTimes(name, file("parts", name)), withoutTimes(name, file("whole", name))) << name;
  EXPECT_TRUE(kly_test::sweepDifferences(dir_.path() / "parts", dir_.path() / "whole").empty());
  // The two points of the first part were kept, not run again.
  const json after = json::parse(file("parts", "sweep.json"));
  for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(after["points"][i]["seconds"], before["points"][i]["seconds"]);
  const kly_SweepJournal::Contents journal = kly_SweepJournal::read(dir_.path() / "parts" / kly_SweepJournal::kName);
  EXPECT_EQ(journal.lines, 5u);
  EXPECT_EQ(journal.ignored, 0u);  // the torn line was overwritten

  // A changed tube is not the same point: all of it runs again.
  json t = json::parse(kly_test::readText(tube_));
  t["beam"]["current"] = 89;
  dir_.write("tube.json", t.dump());
  const Outcome changed = sweep(vary, "parts", 2, true);
  EXPECT_NE(changed.err.find("resuming: 0 of 5"), std::string::npos) << changed.err;
}

TEST_F(SweepCommandTest, APointWithARefusedValueIsRecordedAndTheRestComplete) {
  const Outcome o = sweep({"cavities[1].qe=-5,300,1000"}, "refused");
  EXPECT_EQ(o.status, kly_SweepCommand::kFailedPoints) << o.err;
  const auto rows = kly_test::csvRows(file("refused", "sweep.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][2], "status");
  EXPECT_EQ(rows[1][2], "failed: cavities[1].qe: expected a positive number, found -5");
  EXPECT_EQ(rows[2][2], "ok");
  EXPECT_EQ(rows[3][2], "ok");
  EXPECT_EQ(rows[1].back(), "");  // no results
  EXPECT_NE(rows[2].back(), "");
  EXPECT_NE(o.out.find("Failed points\n  point 0 (cavities[1].qe = -5): cavities[1].qe: expected a positive number"),
            std::string::npos)
      << o.out;
  // Refused by the checks beyond the file's ranges, as `klystron run` refuses
  // such a file: a beam voltage given in kV.
  EXPECT_EQ(sweep({"beam.voltage=110,110000"}, "volts").status, kly_SweepCommand::kFailedPoints);
  const auto volts = kly_test::csvRows(file("volts", "sweep.csv"));
  EXPECT_EQ(volts[1][2].rfind("failed: beam.voltage: 110 V leaves a depressed voltage of", 0), 0u) << volts[1][2];
  EXPECT_EQ(volts[2][2], "ok");
}

TEST_F(SweepCommandTest, EveryBadVaryGivesItsMessage) {
  const struct {
    std::vector<std::string> vary;
    const char* message;
  } cases[] = {
      {{}, "give the parameter to vary: --vary KEY=RANGE"},
      {{"beam.inputPower"}, "--vary beam.inputPower: expected KEY=RANGE"},
      {{"beam.inputpower=1:2:3"}, "unknown key path \"beam.inputpower\" (did you mean \"beam.inputPower\"?)"},
      {{"cavities[1].freqency=1,2"}, "(did you mean \"cavities[1].frequency\"?)"},
      {{"magnet.field=1,2"}, "unknown key path \"magnet.field\": the tube file has no \"magnet\""},
      {{"cavities[3].qe=1,2"}, "cavities[3]: cavities has 3 entries in the tube file, cavities[0] to cavities[2]"},
      {{"cavities[x].qe=1"}, "bad key path \"cavities[x].qe\": expected a whole number between [ and ]"},
      {{"beam..voltage=1"}, "bad key path \"beam..voltage\": an empty key between two dots"},
      {{"name=1,2"}, "\"name\" is not a number: it is \"small test tube\""},
      {{"simulation.nearField=1"}, "\"simulation.nearField\" is not a number: it is \"thin\""},
      {{"cavities[1]=1"}, "\"cavities[1]\" is not a number: it is an object (its numbers: cavities[1].frequency"},
      {{"beam.inputPower="}, "the range is empty"},
      {{"beam.inputPower=1:10"}, "bad range \"1:10\": expected start:stop:count, start:stop:count:log or a list"},
      {{"beam.inputPower=1:10:5:lin"}, "the fourth part may only be \"log\", found \"lin\""},
      {{"beam.inputPower=1:10:0"}, "--vary beam.inputPower=1:10:0: the count is 0: a range needs at least 1 point"},
      {{"beam.inputPower=1:10:2.5"}, "the count must be a whole number of at least 1, found \"2.5\""},
      {{"beam.inputPower=1:10:-3"}, "the count must be a whole number of at least 1, found \"-3\""},
      {{"beam.inputPower=1:10:1"}, "a count of 1 with start 1 and stop 10 is ambiguous"},
      {{"beam.inputPower=0:10:3:log"}, "a log range needs a start and a stop above 0, found 0 and 10"},
      {{"beam.inputPower=a:10:3"}, "the start \"a\" is not a number"},
      {{"beam.inputPower=1,2x,3"}, "the value \"2x\" is not a number"},
      {{"beam.inputPower=1,,3"}, "value 2 of the list is empty"},
      {{"beam.inputPower=1,inf"}, "the value \"inf\" is not a finite number"},
      {{"beam.inputPower=1:1e400:3"}, "the stop \"1e400\" is not a finite number"},
      {{"beam.inputPower=1:2:200000"}, "the count 200000 is more than the 100000 points a parameter may have"},
      {{"simulation.rings=1,1.5"}, "simulation.rings takes whole numbers, and 1.5 is not one"},
      {{"cavities[0].harmonic=1:10:4:log"}, "takes whole numbers, and 2.1544"},
      {{"beam.voltage=1,2", "beam.voltage=3,4"}, "--vary beam.voltage=3,4: beam.voltage is varied twice"},
      {{"beam.voltage=1,2", "beam.current=1,2", "beam.inputPower=1,2"}, "at most 2 --vary options"},
      {{"beam.voltage=1:2:2000", "beam.current=1:2:2000"}, "the grid would have more than 1000000 points"},
  };
  for (const auto& c : cases) {
    kly_SweepRequest r;
    r.tube = tube_;
    r.vary = c.vary;
    try {
      kly_SweepSetup::prepare(r);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const kly_VaryError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // Nothing was made of the refused ones.
  EXPECT_FALSE(fs::exists(kly_SweepCommand::defaultFolder(tube_)));

  // An optional number the file leaves out can be varied; the tube file's
  // checks then judge each point as they would judge the file.
  kly_SweepRequest r;
  r.tube = tube_;
  r.vary = {"cavities[0].fieldRings=1,2"};
  const kly_SweepSetup setup = kly_SweepSetup::prepare(r);
  for (const kly_SweepPoint& p : setup.plan.points) {
    EXPECT_FALSE(p.tube);
    EXPECT_EQ(p.refusal, "cavities[0].fieldRings: given without fieldFile");
  }
}

TEST_F(SweepCommandTest, EachKindOfSweepDrawsItsPlots) {
  ASSERT_EQ(sweep({"beam.inputPower=1:3000:9:log"}, "drive").status, 0);
  const kly_SvgCheck transfer = kly_SvgCheck::parse(file("drive", "transfer-curve.svg"));
  ASSERT_TRUE(transfer.wellFormed) << transfer.error;
  EXPECT_EQ(transfer.series.at("simulated").points.size(), 9u);
  EXPECT_EQ(transfer.series.at("analytic (small signal)").points.size(), 9u);
  bool saturation = false, compression = false;
  for (const auto& [name, s] : transfer.series) {
    saturation = saturation || name.rfind("saturation: ", 0) == 0 || name.rfind("largest output: ", 0) == 0;
    compression = compression || name.rfind("1 dB compression: ", 0) == 0;
  }
  EXPECT_TRUE(saturation);
  EXPECT_TRUE(compression);
  EXPECT_TRUE(transfer.hasText("1000"));  // a decade of the log axes
  const json analysis = json::parse(file("drive", "sweep.json"))["analysis"]["transferCurve"];
  EXPECT_TRUE(analysis["simulated"]["compression1dB"]["found"].get<bool>());
  EXPECT_FALSE(analysis["analytic"]["compression1dB"]["found"].get<bool>());  // the small-signal model is linear
  const std::string summary = file("drive", "summary.txt");
  EXPECT_NE(summary.find("1 dB compression  "), std::string::npos) << summary;
  EXPECT_NE(summary.find("saturation        "), std::string::npos) << summary;

  ASSERT_EQ(sweep({"beam.frequency=2.80e9:2.92e9:25"}, "frequency", 2, false, nullptr, true).status, 0);
  const kly_SvgCheck response = kly_SvgCheck::parse(file("frequency", "frequency-response.svg"));
  ASSERT_TRUE(response.wellFormed) << response.error;
  ASSERT_EQ(response.bands.size(), 2u);
  EXPECT_EQ(response.bands[0].rfind("analytic -3 dB: ", 0), 0u) << response.bands[0];
  EXPECT_EQ(response.bands[1].rfind("analytic -1 dB: ", 0), 0u) << response.bands[1];
  EXPECT_FALSE(response.series.contains("simulated gain"));  // --no-sim
  const json bands = json::parse(file("frequency", "sweep.json"))["analysis"]["bandwidth"]["analytic"];
  EXPECT_LT(bands["-1dB"]["width"].get<double>(), bands["-3dB"]["width"].get<double>());
  EXPECT_NE(file("frequency", "summary.txt").find("  -3 dB  "), std::string::npos);

  ASSERT_EQ(sweep({"beam.voltage=100e3,110e3,120e3", "cavities[1].frequency=2.86e9,2.87e9"}, "grid").status, 0);
  const std::string map = file("grid", "heatmap-efficiency.svg");
  EXPECT_TRUE(kly_SvgCheck::parse(map).wellFormed);
  const auto cells = [](const std::string& svg) {
    std::size_t n = 0;
    for (std::size_t at = svg.find("class=\"cell\""); at != std::string::npos; at = svg.find("class=\"cell\"", at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(cells(map), 6u);
  const json best = json::parse(file("grid", "sweep.json"))["analysis"]["best"][0];
  EXPECT_EQ(best["result"], "simulatedElectronicEfficiency");
  EXPECT_NE(map.find(fmt::format("<g class=\"mark\" data-x=\"{}\" data-y=\"{}\">", best["beam.voltage"].get<double>(),
                                 best["cavities[1].frequency"].get<double>())),
            std::string::npos);
  EXPECT_TRUE(fs::exists(dir_.path() / "grid" / "heatmap-gain.svg"));

  // Another parameter: a plot per family of the results that vary; the
  // plots of the sweep before in the same folder go.
  ASSERT_EQ(sweep({"cavities[2].qe=30:60:4"}, "grid").status, 0);
  for (const char* name : {"sweep-gains.svg", "sweep-powers.svg", "sweep-efficiencies.svg"}) {
    const kly_SvgCheck svg = kly_SvgCheck::parse(file("grid", name));
    ASSERT_TRUE(svg.wellFormed) << name;
    EXPECT_TRUE(svg.series.contains("simulatedGain") || svg.series.contains("simulatedOutputPower") ||
                svg.series.contains("simulatedElectronicEfficiency"))
        << name;
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "grid" / "heatmap-gain.svg"));
}

TEST(SweepJournalTest, OnlyAJournalIsRead) {
  kly_test::ScratchDir dir("sweep-journal");
  EXPECT_EQ(kly_SweepJournal::read(dir.path() / "none.txt").lines, 0u);  // absent: nothing to resume
  dir.write("results.json", "{}\n");
  EXPECT_THROW(kly_SweepJournal::read(dir.path() / "results.json"), std::runtime_error);
  kly_PointResult r;
  r.message = "x";
  {
    kly_SweepJournal journal(dir.path(), false);
    journal.append("aaaa", 0, r);
    journal.append("bbbb", 1, r);
  }
  const auto contents = kly_SweepJournal::read(dir.path() / kly_SweepJournal::kName);
  EXPECT_EQ(contents.lines, 2u);
  EXPECT_TRUE(contents.byHash.at("bbbb").identical(r));
  kly_SweepJournal fresh(dir.path(), false);  // without keep: empty again
  EXPECT_EQ(kly_SweepJournal::read(dir.path() / kly_SweepJournal::kName).lines, 0u);
}

TEST(SweepProgressTest, PointsFailuresAndTheTimeLeft) {
  EXPECT_EQ(kly_SweepProgress::line(5, 16, 1, 3.2, 5), "sweep: 5/16 points, 1 failed, 3.2 s, about 7 s left");
  EXPECT_EQ(kly_SweepProgress::line(7, 16, 0, 3.2, 0), "sweep: 7/16 points, 3.2 s");  // all resumed: no rate yet
  EXPECT_EQ(kly_SweepProgress::line(16, 16, 0, 9, 16), "sweep: 16/16 points, 9 s");
  // Into a file: a line at the start of the run's output only when due, and one at the end.
  std::ostringstream out;
  double now = 0;
  {
    kly_SweepProgress p(out, false, 3, 0, 0, [&now] { return now; });
    now = 1;
    p.pointDone(false);  // shown: the first line
    now = 2;
    p.pointDone(true);  // not yet due
    now = 3;
    p.pointDone(false);
  }
  EXPECT_EQ(out.str(), "sweep: 1/3 points, 1 s, about 2 s left\nsweep: 3/3 points, 1 failed, 3 s\n");
}

}  // namespace
