// The fast pass gives the plain pass's results to the last bit, on every
// example tube and on any number of threads; the threads of a run stay
// inside it. Labelled concurrency: scripts/test.sh runs these under
// ThreadSanitizer too.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kly_ExampleRuns.h"
#include "kly_TestTubes.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"

namespace {

using kly_test::ExampleTube;

kly_SimulationOptions plain() {
  kly_SimulationOptions o;
  o.threads = 1;
  o.kernel = kly_PassKernel::reference;
  return o;
}

// Every thread asked for, however small the steps.
kly_SimulationOptions fast(int threads) {
  kly_SimulationOptions o;
  o.threads = threads;
  o.exactThreads = true;
  return o;
}

constexpr kly_NearField kNearFields[] = {kly_NearField::thin, kly_NearField::finite};

const char* name(kly_NearField nearField) { return nearField == kly_NearField::thin ? "thin" : "finite"; }

// Counts small enough for a sanitizer, with more rings than one and a disk
// count that leaves lanes of the sums unused.
kly_SimulationSettings reduced(const ExampleTube& t) {
  kly_SimulationSettings c = t.counts;
  c.disks = t.counts.importBeam ? 16 : 12;
  c.steps = 16;
  c.maxIterations = 4;
  return c;
}

TEST(FastPass, EveryExampleTubeGivesThePlainResultsOnAnyThreadCount) {
  for (const std::string& name : kly_test::kExampleTubes) {
    const ExampleTube tube(name);
    kly_SimulationSettings c = reduced(tube);
    ASSERT_GT(c.rings, 1) << name;
    for (kly_NearField nearField : kNearFields) {
      c.nearField = nearField;
      const auto reference = tube.fingerprint(c, plain());
      for (int threads : {1, 2, 3, 0})
        EXPECT_EQ(tube.fingerprint(c, fast(threads)), reference)
            << name << ", " << ::name(nearField) << " near field, on " << threads << " threads";
    }
  }
}

TEST(FastPass, TurnedBackDisksAndOneOrTwoStepsPerPeriod) {
  // With one step per period the trailing period of a step is the step
  // before, which the push has only just written.
  // Disks turn back, and then carry no space charge.
  const auto tube = kly_BuiltTube::build(kly_test::turningBackDescription());
  for (kly_NearField nearField : kNearFields) {
    for (int steps : {1, 2, 16}) {
      const kly_SimulationSettings settings{9, 2, steps, 3, std::nullopt, nearField};
      kly_DiskSimulation a, b;
      a.simulate(*tube, settings, plain());
      b.simulate(*tube, settings, fast(2));
      if (steps == 16) {
        EXPECT_TRUE(a.isDiskReflected()) << name(nearField);
      }
      EXPECT_EQ(kly_test::fingerprint(a), kly_test::fingerprint(b))
          << steps << " steps per period, " << name(nearField) << " near field";
    }
  }
}

TEST(FastPass, RunsStartAndEndOnTheCallingThread) {
  const ExampleTube tube("sband-round");
  kly_SimulationSettings c = reduced(tube);
  c.maxIterations = 3;
  const std::thread::id caller = std::this_thread::get_id();
  int onCaller = 0;
  kly_SimulationOptions o = fast(2);
  o.observer = [&](const kly_PassReport&) {
    onCaller += std::this_thread::get_id() == caller;
    return true;
  };
  kly_DiskSimulation s;
  tube.run(s, c, o);
  EXPECT_EQ(onCaller, 3);
  EXPECT_EQ(s.getThreads(), 2);
  EXPECT_EQ(s.getThreadsUsed(), 2);

  // A run that fails keeps the results of the last one, whatever its threads did.
  const auto before = kly_test::fingerprint(s);
  o.observer = [](const kly_PassReport& r) -> bool {
    if (r.pass == 1) throw std::runtime_error("stopped");
    return true;
  };
  EXPECT_THROW(tube.run(s, c, o), std::runtime_error);
  EXPECT_EQ(kly_test::fingerprint(s), before);
}

// A run shares its steps over threads only when each thread gets at least
// kPairsPerThread pair interactions of a step: none at the examples' counts,
// up to two threads at 64 disks x 4 rings; never more than it was given, nor
// more than one per 4 disks; the plain pass runs on one.
TEST(FastPass, ThreadsFollowTheWorkOfAStep) {
  const ExampleTube tube("sband-round");
  const auto used = [&](int disks, int rings, kly_SimulationOptions o) {
    kly_SimulationSettings c = tube.counts;
    c.disks = disks;
    c.rings = rings;
    c.steps = 8;
    c.maxIterations = 1;
    kly_DiskSimulation s;
    tube.run(s, c, o);
    EXPECT_EQ(s.getThreads(), o.threads);
    return s.getThreadsUsed();
  };
  kly_SimulationOptions o;
  o.threads = 3;
  EXPECT_EQ(used(32, 4, o), 1);
  EXPECT_EQ(used(63, 4, o), 1);  // 2 (63 x 4)^2 = 127008 pairs a step
  EXPECT_EQ(used(64, 4, o), 2);  // 131072
  EXPECT_EQ(used(64, 10, o), 3);
  o.threads = 1;
  EXPECT_EQ(used(64, 10, o), 1);
  EXPECT_EQ(used(32, 4, fast(3)), 3);
  EXPECT_EQ(used(4, 4, fast(3)), 1);
  o.threads = 2;
  o.kernel = kly_PassKernel::reference;
  EXPECT_EQ(used(64, 4, o), 1);
}

// Progress within a pass: reported on the calling thread at every
// stepInterval-th step of every pass, in order, and without a trace in the
// results, whichever kernel runs the pass.
TEST(FastPass, StepObserverSeesEveryIntervalAndChangesNoResult) {
  const ExampleTube tube("sband-round");
  const kly_SimulationSettings c = reduced(tube);
  const std::thread::id caller = std::this_thread::get_id();
  for (kly_SimulationOptions o : {plain(), fast(2)}) {
    const auto reference = tube.fingerprint(c, o);
    std::vector<kly_StepReport> reports;
    int offCaller = 0;
    o.stepInterval = 7;
    o.stepObserver = [&](const kly_StepReport& r) {
      offCaller += std::this_thread::get_id() != caller;
      reports.push_back(r);
    };
    kly_DiskSimulation s;
    tube.run(s, c, o);
    EXPECT_EQ(kly_test::fingerprint(s), reference);
    EXPECT_EQ(offCaller, 0);
    const int steps = s.getSimulatedMaxTimeStep();
    const int perPass = steps / 7;
    ASSERT_EQ(reports.size(), static_cast<std::size_t>(s.getSimulatedIterations() * perPass));
    for (std::size_t n = 0; n < reports.size(); ++n) {
      EXPECT_EQ(reports[n].pass, static_cast<int>(n) / perPass);
      EXPECT_EQ(reports[n].step, 7 * (static_cast<int>(n) % perPass + 1));
      EXPECT_EQ(reports[n].steps, steps);
    }
  }
  kly_SimulationOptions o = fast(1);
  o.stepInterval = 0;
  kly_DiskSimulation s;
  EXPECT_THROW(tube.run(s, c, o), std::invalid_argument);
}

}  // namespace
