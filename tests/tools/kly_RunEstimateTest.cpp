// The estimate of a simulation's cost, against the simulation it estimates.
#include "tools/kly_RunEstimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

#include "kly_Files.h"
#include "kly_ToolTubes.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"

namespace {

using kly_test::contentsOf;
using kly_test::smallTube;
using nlohmann::json;

kly_RunEstimate estimateOf(const json& tube, int threads = 1) {
  return kly_RunEstimate::of(contentsOf(tube).description, threads);
}

json withCounts(int disks, int rings, int steps, int passes) {
  json t = smallTube();
  t["simulation"] = {{"disks", disks}, {"rings", rings}, {"steps", steps}, {"maxIterations", passes}};
  return t;
}

// Space-charge lookups of one time step, counted source by source: each
// disk ring looks at the rings of disks d .. N_d - 1 one period behind, of
// every disk but itself in its own period, and of disks 0 .. d one period ahead.
double lookupsPerStep(int disks, int rings) {
  double n = 0;
  for (int d = 0; d < disks; ++d)
    for (int r = 0; r < rings; ++r) n += (disks - d) * rings + (disks * rings - 1) + (d + 1) * rings;
  return n;
}

TEST(RunEstimate, APassHasTheSimulationsTimeSteps) {
  json gapFile = withCounts(8, 2, 16, 1);
  gapFile["cavities"][2]["fieldFile"] = kly_test::dataFile("gap-field-radial.txt");
  gapFile["cavities"][2]["fieldRings"] = 2;
  json sheet = withCounts(6, 2, 12, 1);
  sheet["beam"] = json::parse(R"({"voltage": 75000, "current": 30, "frequency": 11.424e9, "inputPower": 5,
      "beamWidth": 0.020, "beamHeight": 0.0016, "tubeWidth": 0.024, "tubeHeight": 0.0032})");
  for (const json& t : {withCounts(8, 1, 16, 1), gapFile, sheet}) {
    const kly_TubeDescription d = contentsOf(t).description;
    kly_DiskSimulation s;
    s.simulate(*kly_BuiltTube::build(d), *d.simulation, {});
    EXPECT_EQ(kly_RunEstimate::of(d, 1).timeStepsPerPass(), s.getSimulatedMaxTimeStep()) << t.dump();
  }
}

TEST(RunEstimate, CountsEveryLookupOfThePassesWithSpaceCharge) {
  for (int disks : {1, 5, 12}) {
    for (int rings : {1, 3}) {
      const kly_RunEstimate e = estimateOf(withCounts(disks, rings, 16, 4));
      // No space charge in the first pass, nor in the last period of a pass.
      EXPECT_EQ(e.lookups(), 3 * (e.timeStepsPerPass() - 16) * lookupsPerStep(disks, rings)) << disks << "x" << rings;
    }
  }
  EXPECT_EQ(estimateOf(withCounts(8, 2, 16, 1)).lookups(), 0);
}

TEST(RunEstimate, BoundsTimeAndMemoryFromBelowByTheirLargestParts) {
  const kly_RunEstimate e = estimateOf(withCounts(64, 4, 40, 10));
  EXPECT_GE(e.seconds(), e.lookups() * kly_RunEstimate::kSecondsPerLookup);
  // The trajectory tables alone: position and velocity of every disk ring at every step.
  EXPECT_GE(e.bytes(), 2 * sizeof(double) * 64 * 4 * e.timeStepsPerPass());
  // Twice the threads count as at most half the time; never more threads than groups of four disks.
  const kly_RunEstimate four = estimateOf(withCounts(64, 4, 40, 10), 4);
  EXPECT_DOUBLE_EQ(four.seconds(), e.seconds() / 2);
  EXPECT_EQ(estimateOf(withCounts(6, 4, 40, 10), 16).threads(), 2);
  EXPECT_NE(e.describe().find("10 passes of"), std::string::npos) << e.describe();

  // The resolution check adds its repeats, one ring and two disks more.
  const kly_TubeDescription d = contentsOf(withCounts(64, 4, 40, 10)).description;
  const kly_RunEstimate checked = kly_RunEstimate::of(d, 1, true);
  EXPECT_DOUBLE_EQ(checked.seconds(), e.seconds() + estimateOf(withCounts(64, 5, 40, 10)).seconds() +
                                          estimateOf(withCounts(66, 4, 40, 10)).seconds());
  EXPECT_GT(checked.bytes(), e.bytes());
  EXPECT_NE(checked.describe().find("with the 2 repeats of the resolution check"), std::string::npos);
}

// The value a refusal gives for `key`, or -1.
long suggested(const std::string& refusal, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(refusal, m, std::regex(key + " \\([0-9]+\\) to ([0-9]+) or less"))) return -1;
  return std::stol(m[1]);
}

TEST(RunEstimate, ARefusalNamesTheCountToLowerAndHowFar) {
  const kly_RunEstimate::Limits hour;
  EXPECT_FALSE(estimateOf(smallTube()).refusal(hour));

  // Far too many disks: only fewer disks make it fit; the value given is the largest that does.
  const std::string r = estimateOf(withCounts(100000, 4, 40, 50)).refusal(hour).value();
  EXPECT_NE(r.find("days"), std::string::npos) << r;
  EXPECT_NE(r.find("over the limit of 1 h"), std::string::npos) << r;
  EXPECT_NE(r.find("--force"), std::string::npos) << r;
  const long disks = suggested(r, "simulation.disks");
  ASSERT_GT(disks, 1) << r;
  EXPECT_EQ(suggested(r, "simulation.steps"), -1) << r;
  EXPECT_FALSE(estimateOf(withCounts(static_cast<int>(disks), 4, 40, 50)).refusal(hour));
  EXPECT_TRUE(estimateOf(withCounts(static_cast<int>(disks) + 1, 4, 40, 50)).refusal(hour));

  // Memory: the pass limit does not change it.
  kly_RunEstimate::Limits memory;
  memory.bytes = 64.0 * 1024 * 1024;
  const std::string m = estimateOf(withCounts(32, 4, 2000, 50)).refusal(memory).value();
  EXPECT_NE(m.find("the machine's 64 MiB of memory"), std::string::npos) << m;
  EXPECT_GT(suggested(m, "simulation.steps"), 0) << m;
  EXPECT_EQ(suggested(m, "simulation.maxIterations"), -1) << m;

  // Time alone: fewer passes are one way, named with the option that sets them.
  kly_RunEstimate::Limits minute;
  minute.seconds = 60;
  const std::string p = estimateOf(withCounts(200, 4, 40, 500)).refusal(minute).value();
  EXPECT_GT(suggested(p, "simulation.maxIterations"), 1) << p;
  EXPECT_NE(p.find("--max-passes"), std::string::npos) << p;
}

}  // namespace
