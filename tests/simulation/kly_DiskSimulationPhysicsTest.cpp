#include <gtest/gtest.h>

#include <cmath>

#include "model/kly_Klystron.h"
#include "simulation/kly_DiskSimulation.h"

namespace {

// The example tube at its own counts (32 disks, 4 rings, 40 steps), with room
// for the passes it needs to converge at the design drive.
TEST(DiskSimulationPhysics, ConvergedExampleTubeConservesEnergyInTheOutputGap) {
  kly_Klystron k;
  k.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
  k.addCavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  k.addCavity(0.12, 2.870e9, 0.82, 1, 0.010, 110, 2500, 100000);
  k.addCavity(0.30, 5.750e9, 0.70, 2, 0.008, 60, 2500, 100000);
  k.addCavity(0.48, 2.856e9, 0.80, 1, 0.012, 100, 2500, 25);
  kly_DiskSimulation s;
  double convergence = 1;
  s.simulate(k, 32, 4, 40, 60, {[&](const kly_PassReport& r) { convergence = r.convergence; return true; }, 1});
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
