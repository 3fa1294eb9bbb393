// The six-cavity S-band tube of the examples (sband-round.json) through both models, from C++.
#include <cstdio>

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"

int main() {
  kly_TubeDescription tube;  // SI units: V, A, Hz, W, m
  // clang-format off
  tube.beam = {.voltage = 120000, .current = 42, .frequency = 2.856e9, .inputPower = 21.25,
               .tubeRadius = 0.0095, .beamRadius = 0.0060};
  tube.cavities = {
      {.z = 0.00, .frequency = 2.856e9, .m = 0.80, .gapWidth = 0.010, .rq = 100, .qe = 250, .qo = 3000},
      {.z = 0.15, .frequency = 2.900e9, .m = 0.80, .gapWidth = 0.010, .rq = 100, .qe = 100000, .qo = 3000},
      {.z = 0.30, .frequency = 2.876e9, .m = 0.80, .gapWidth = 0.010, .rq = 100, .qe = 100000, .qo = 3000},
      {.z = 0.36, .frequency = 5.550e9, .m = 0.70, .gapWidth = 0.008, .rq = 50, .qe = 100000, .qo = 3000, .harmonic = 2},
      {.z = 0.53, .frequency = 2.900e9, .m = 0.80, .gapWidth = 0.008, .rq = 100, .qe = 100000, .qo = 3000},
      {.z = 0.61, .frequency = 2.856e9, .m = 0.80, .gapWidth = 0.012, .rq = 100, .qe = 34, .qo = 3000}};
  // clang-format on

  const auto built = kly_BuiltTube::build(tube);  // reads field files, if any; throws kly_FileError
  kly_Analytic analytic;
  analytic.calculateAnalytics(*built);
  std::printf("analytic:  gain %.3f dB, output power %.1f kW\n", analytic.getGain(), analytic.getOutputPower() / 1e3);

  kly_DiskSimulation simulation;
  simulation.simulate(*built, {.disks = 32, .rings = 4, .steps = 40, .maxIterations = 50});
  std::printf("simulated: gain %.3f dB, output power %.1f kW after %d passes\n", simulation.getSimulatedGain(),
              simulation.getSimulatedOutputPower() / 1e3, simulation.getSimulatedIterations());
  for (int i = 0; i < built->cavityCount(); ++i) {
    std::printf("cavity %d: %.2f kV analytic, %.2f kV simulated\n", i, analytic.getCavityVoltage(i) / 1e3,
                simulation.getSimulatedCavityVoltage(i) / 1e3);
  }
  return 0;
}
