// The example tubes at their own counts, to convergence: the fast pass on
// one, two and three threads and on those the run chooses gives the plain
// serial pass's results to the last bit, with the thin and with the finite
// near field.
// Seconds per tube, so labelled slow.
#include <gtest/gtest.h>

#include <string>

#include "kly_ExampleRuns.h"

namespace {

TEST(FastPassAtExampleCounts, EveryExampleTubeGivesThePlainResults) {
  for (const std::string& name : kly_test::kExampleTubes) {
    const kly_test::ExampleTube tube(name);
    kly_SimulationOptions plain;
    plain.threads = 1;
    plain.kernel = kly_PassKernel::reference;
    for (kly_NearField nearField : {kly_NearField::thin, kly_NearField::finite}) {
      kly_SimulationSettings counts = tube.counts;
      counts.nearField = nearField;
      const auto reference = tube.fingerprint(counts, plain);
      // One thread, two and three whatever the steps, and as the run chooses.
      for (int threads : {1, 2, 3, 0}) {
        kly_SimulationOptions fast;
        fast.threads = threads;
        fast.exactThreads = threads != 0;
        EXPECT_EQ(tube.fingerprint(counts, fast), reference)
            << name << (nearField == kly_NearField::thin ? ", thin" : ", finite") << " near field, " << threads
            << " threads";
      }
    }
  }
}

}  // namespace
