// klystron optimize: its files, its best tubes against `klystron run`s of
// them, a run stopped and resumed against one that went through, and every
// request it refuses before anything runs.
#include "tools/kly_OptimizeCommand.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "kly_Files.h"
#include "kly_SvgCheck.h"
#include "kly_SweepFilesCompare.h"
#include "kly_ToolTubes.h"
#include "klystron/driver/kly_PointEvaluation.h"
#include "klystron/driver/kly_Sweep.h"
#include "optimizer/kly_OptimizationProblem.h"
#include "tools/kly_SweepKeys.h"
#include "tools/kly_TubeFile.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// The small tube, its output gap's field from a file named relative to the
// tube file, analytic runs only: each evaluation takes a millisecond.
class OptimizeCommandTest : public ::testing::Test {
protected:
  OptimizeCommandTest() : dir_("optimize-command") {
    json t = kly_test::smallTube();
    t["cavities"][2]["fieldFile"] = fs::relative(kly_test::dataFile("gap-field-radial.txt"), dir_.path()).string();
    t["cavities"][2]["fieldRings"] = 2;
    tube_ = dir_.write("tube.json", t.dump(2));
  }

  kly_OptimizeCommandOptions options(const std::string& folder) const {
    kly_OptimizeCommandOptions o;
    o.tube = tube_;
    o.vary = {"cavities[1].frequency=2.85e9:2.90e9", "cavities[1].z=0.08:0.16"};
    o.objectives = {"max:analyticGain", "max:analyticBandwidth1dB"};
    o.population = 8;
    o.generations = 3;
    o.noSim = true;
    o.bandSamples = 21;
    o.jobs = 2;
    o.output = dir_.path() / folder;
    return o;
  }

  struct Outcome {
    int status;
    std::string out, err;
  };
  static Outcome optimize(const kly_OptimizeCommandOptions& o, std::function<bool()> stop = nullptr) {
    std::ostringstream out, err;
    const int status = kly_OptimizeCommand::run(o, out, err, stop);
    return {status, out.str(), err.str()};
  }
  std::string file(const std::string& folder, const std::string& name) const {
    return kly_test::readText((dir_.path() / folder / name).string());
  }

  kly_test::ScratchDir dir_;
  std::string tube_;
};

TEST_F(OptimizeCommandTest, TheFrontsTubesAreTubeFilesThatRunToTheirResults) {
  const Outcome o = optimize(options("two"));
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("optimize: generation 3/3: 8 evaluations"), std::string::npos) << o.err;
  EXPECT_NE(o.out.find("Best tube: best/00.json"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("analytic model only"), std::string::npos);

  const auto history = kly_test::csvRows(file("two", "history.csv"));
  EXPECT_EQ(history.size(), 1u + 4 * 8);  // the first population and three generations
  EXPECT_EQ(history[0][6], "cavities[1].frequency");
  EXPECT_EQ(history[1][6], "2870000000");  // the starting tube first
  const auto front = kly_test::csvRows(file("two", "front.csv"));
  ASSERT_GE(front.size(), 2u);
  ASSERT_EQ(front[0], (std::vector<std::string>{"rank", "evaluation", "generation", "tube", "analyticGain",
                                                "analyticBandwidth1dB", "cavities[1].frequency", "cavities[1].z"}));
  for (std::size_t k = 1; k < front.size(); ++k) {
    // Each best tube read as `klystron run` reads it, from a folder of its
    // own, gives the results of the front bit for bit.
    const std::string tube = dir_.write(fmt::format("moved{}.json", k), file("two", front[k][3]));
    const kly_TubeFileContents contents = kly_TubeFile::read(tube);
    const kly_PointResult r = kly_PointEvaluation::evaluate(contents.description, kly_Sweep::pointOptions(false));
    ASSERT_NE(r.find("analyticGain"), nullptr) << r.message;
    EXPECT_EQ(fmt::format("{}", *r.find("analyticGain")), front[k][4]);
    EXPECT_EQ(contents.description.cavities[1].frequency, std::stod(front[k][6]));
    // In order of the first objective, and no point of the front dominates another.
    if (k > 1) {
      EXPECT_GE(std::stod(front[k - 1][4]), std::stod(front[k][4]));
      EXPECT_LE(std::stod(front[k - 1][5]), std::stod(front[k][5]));
    }
  }

  const kly_SvgCheck plot = kly_SvgCheck::parse(file("two", "front.svg"));
  ASSERT_TRUE(plot.wellFormed) << plot.error;
  EXPECT_EQ(plot.series.at("front points").circles, static_cast<int>(front.size() - 1));
  EXPECT_TRUE(plot.series.contains("starting tube"));
  for (const char* name : {"progress.svg", "parameters.svg"}) {
    const kly_SvgCheck p = kly_SvgCheck::parse(file("two", name));
    EXPECT_TRUE(p.wellFormed) << name << ": " << p.error;
  }
  // Each parameter's range over the front, numbered as on its axis.
  const kly_SvgCheck parameters = kly_SvgCheck::parse(file("two", "parameters.svg"));
  ASSERT_EQ(parameters.series.size(), 4u) << file("two", "parameters.svg");
  const std::string second = parameters.series.upper_bound("2: cavities[1].z: ")->first;
  EXPECT_EQ(second.rfind("2: cavities[1].z: ", 0), 0u) << second;
  EXPECT_EQ(parameters.series.at(second).rects, 1);
  EXPECT_TRUE(parameters.hasText("2"));
}

TEST_F(OptimizeCommandTest, AStoppedRunResumedGivesTheFilesOfOneThatWentThrough) {
  kly_OptimizeCommandOptions o = options("through");
  o.objectives = {"max:analyticGain"};
  o.constraints = {"analyticGain<=30"};
  o.refine = 10;
  const Outcome through = optimize(o);
  ASSERT_EQ(through.status, 0) << through.err;

  // Stopped in the second generation (each worker asks once more at the end
  // of a batch), then resumed on one worker.
  o.output = dir_.path() / "stopped";
  std::atomic<int> asked = 0;
  const Outcome stopped = optimize(o, [&asked] { return ++asked > 24; });
  EXPECT_EQ(stopped.status, kly_OptimizeCommand::kStopped);
  EXPECT_NE(stopped.out.find("Stopped early"), std::string::npos);
  EXPECT_EQ(kly_test::csvRows(file("stopped", "history.csv")).size(), 1u + 2 * 8);
  o.resume = true;
  o.jobs = 1;
  const Outcome resumed = optimize(o);
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("resuming after generation 1/3 with 16 evaluations"), std::string::npos) << resumed.err;
  EXPECT_EQ(file("stopped", "front.csv"), file("through", "front.csv"));
  EXPECT_EQ(kly_test::withoutTimes("history.csv", file("stopped", "history.csv")),
            kly_test::withoutTimes("history.csv", file("through", "history.csv")));
  EXPECT_EQ(file("stopped", "best/00.json"), file("through", "best/00.json"));

  // The best points meet the constraint.
  for (const auto& row : kly_test::csvRows(file("through", "front.csv"))) {
    if (row[0] != "rank") {
      EXPECT_LE(std::stod(row[4]), 30.0);
    }
  }
}

TEST_F(OptimizeCommandTest, RequestsThatCannotBeUsedAreRefusedBeforeAnythingRuns) {
  const std::pair<std::function<void(kly_OptimizeCommandOptions&)>, std::string> cases[] = {
      {[](auto& o) { o.vary = {"cavities[1].frequncy=2.85e9:2.9e9"}; },
       "unknown key path \"cavities[1].frequncy\" (did you mean \"cavities[1].frequency\"?)"},
      {[](auto& o) { o.vary = {"cavities[1].frequency=2.9e9:2.85e9"}; },
       "--vary cavities[1].frequency=2.9e9:2.85e9: LOW must be below HIGH, found LOW >= HIGH"},
      {[](auto& o) { o.vary = {"cavities[1].frequency=2.85e9"}; }, "expected LOW:HIGH"},
      {[](auto& o) { o.vary = {"simulation.rings=1:4"}; }, "simulation.rings takes whole numbers"},
      {[](auto& o) { o.vary.push_back("cavities[1].frequency=2.8e9:2.9e9"); }, "is varied twice"},
      {[](auto& o) { o.objectives = {"max:analyticGian"}; },
       "--objective max:analyticGian: unknown result \"analyticGian\" (did you mean \"analyticGain\"?)"},
      {[](auto& o) { o.constraints = {"analyticGain=>40"}; }, "--constraint 'analyticGain=>40': expected"},
      {[](auto& o) { o.constraints = {"simulatedGain>=40"}; },
       "simulatedGain is a result of the simulation, which does not run here"},
      {[](auto& o) { o.algorithm = "pso_gen"; }, "--algorithm pso_gen: takes one objective, not 2"},
      {[](auto& o) { o.saturationDrives = "1:100:0"; }, "--saturation-drives 1:100:0"},
      {[](auto& o) { o.resume = true; }, "there is no checkpoint"},
  };
  for (const auto& [change, message] : cases) {
    kly_OptimizeCommandOptions o = options("refused");
    change(o);
    try {
      optimize(o);
      ADD_FAILURE() << "accepted; expected: " << message;
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir_.path() / "refused" / kly_OptimizeCommand::kCheckpoint)) << message;
  }

  // A checkpoint of another optimisation is not resumed.
  kly_OptimizeCommandOptions o = options("other");
  o.generations = 1;
  ASSERT_EQ(optimize(o).status, 0);
  o.seed = 2;
  o.resume = true;
  try {
    optimize(o);
    ADD_FAILURE() << "resumed another optimisation";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("is of another optimisation"), std::string::npos) << e.what();
  }
}

}  // namespace
