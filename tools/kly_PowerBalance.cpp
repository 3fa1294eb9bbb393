#include "tools/kly_PowerBalance.h"

#include <cmath>
#include <complex>
#include <cstdlib>

#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"
#include "tools/kly_TubeRun.h"

namespace {

// Kinetic energy of an electron of velocity v, in electron volts: (gamma - 1) m c^2 / e.
double kineticVolts(double v) {
  const double beta = v / kly::kSpeedOfLight;
  return (1 / std::sqrt(1 - beta * beta) - 1) * kly::kSpeedOfLight * kly::kSpeedOfLight / kly::kChargeToMass;
}

}  // namespace

kly_PowerBalance kly_PowerBalance::of(const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  if (!s) throw kly_StateError("the simulation did not run");
  kly_PowerBalance p;
  const int disks = s->getDisks(), rings = s->getRings();
  // Each disk ring stands for I0 / (disks x rings) of the beam current.
  const double share = run.description().beam.current / (static_cast<double>(disks) * rings);
  for (int d = 0; d < disks; ++d) {
    for (int r = 0; r < rings; ++r) {
      p.launched += share * kineticVolts(s->getSimulatedDiskVelocity(d, r, 0));
      const double exit = s->getSimulatedExitVelocity(d, r);
      if (exit > 0) {
        p.spentMeasured += share * kineticVolts(exit);
      } else {
        ++p.notLeft;
      }
    }
  }
  const int n = run.cavityCount();
  for (int k = 0; k < n; ++k) {
    const int h = k == n - 1 ? 1 : std::abs(run.cavity(k).harmonic);
    const std::complex<double> v = std::polar(s->getSimulatedCavityVoltage(k), s->getSimulatedCavityVoltagePhase(k));
    const std::complex<double> i =
        std::polar(s->getSimulatedCavityCurrentMagnitude(k, h), s->getSimulatedCavityCurrentPhase(k, h));
    p.cavity.push_back(-std::real(v * std::conj(i)) / 2);
    if (k < n - 1) p.otherCavities += p.cavity.back();
  }
  p.output = s->getSimulatedOutputPower();
  p.outputWalls = p.cavity.back() - p.output;
  p.spent = p.launched - p.output - p.outputWalls - p.otherCavities;
  return p;
}
