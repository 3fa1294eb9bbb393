#include <gtest/gtest.h>

#include <cmath>

#include "kly_TestTubes.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"

namespace {

// The example tube at its own counts (32 disks, 4 rings, 40 steps), with room
// for the passes it needs to converge at the design drive.
TEST(DiskSimulationPhysics, ConvergedExampleTubeConservesEnergyInTheOutputGap) {
  kly_Klystron k;
  kly_test::sBandTube(k);
  kly_DiskSimulation s;
  double convergence = 1;
  s.simulate(k, 32, 4, 40, 60,
             {[&](const kly_PassReport& r) {
                convergence = r.convergence;
                return true;
              },
              1});
  ASSERT_LT(s.getSimulatedIterations(), 60);
  ASSERT_LE(convergence, 1e-6);
  EXPECT_FALSE(s.isDiskReflected());
  // The power the beam gives the output gap (from its induced current and
  // voltage) is the kinetic energy it loses across the gap's field. They differ
  // by the work of the space-charge field inside the gap and by the sampling of
  // the crossing velocities, about 1 % here.
  const double electronic = s.getSimulatedElectronicEfficiency();
  EXPECT_GT(electronic, 0.01);
  EXPECT_NEAR(s.getSimulatedKineticEfficiency(), electronic, 0.03 * electronic);
  EXPECT_NEAR(s.getSimulatedTotalEfficiency(), electronic * 2500 / 2525, 1e-15);
}

}  // namespace
