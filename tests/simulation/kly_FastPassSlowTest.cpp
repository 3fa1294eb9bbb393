// The example tubes at their own counts, to convergence: the fast pass on the
// hardware's threads gives the plain serial pass's results to the last bit.
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
    const auto reference = tube.fingerprint(tube.counts, plain);
    EXPECT_EQ(tube.fingerprint(tube.counts, kly_SimulationOptions{}), reference) << name;
  }
}

}  // namespace
