// A four-cavity S-band tube with a second-harmonic cavity through both models, from C++.
#include <cstdio>

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"

int main() {
  kly_TubeDescription tube;  // SI units: V, A, Hz, W, m
  tube.beam = {.voltage = 110000, .current = 90, .frequency = 2.856e9, .inputPower = 60,
               .tubeRadius = 0.0095, .beamRadius = 0.0062};
  tube.cavities = {
      {.z = 0.00, .frequency = 2.856e9, .m = 0.82, .gapWidth = 0.010, .rq = 110, .qe = 300, .qo = 2500},
      {.z = 0.12, .frequency = 2.870e9, .m = 0.82, .gapWidth = 0.010, .rq = 110, .qe = 100000, .qo = 2500},
      {.z = 0.30, .frequency = 5.750e9, .m = 0.70, .gapWidth = 0.008, .rq = 60, .qe = 100000, .qo = 2500, .harmonic = 2},
      {.z = 0.48, .frequency = 2.856e9, .m = 0.80, .gapWidth = 0.012, .rq = 100, .qe = 25, .qo = 2500}};

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
