// Runs a multi-ring disk simulation and prints every result in hexadecimal
// floating point, so that two builds of the engine can be compared bit by bit.
// usage: kly_SimulationProbe FIELD_FILE

#include <cstdio>
#include <exception>

#include "kly_TestTubes.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FIELD_FILE\n", argv[0]);
    return 2;
  }
  try {
    // The S-band tube with its buncher at harmonic -2 and the output gap from a field solver, on every ring.
    kly_TubeDescription d = kly_test::sBandDescription();
    d.cavities[2].harmonic = -2;
    d.cavities[3] = kly_test::withFieldFile(d.cavities[3], argv[1], 3);
    kly_Klystron k(d);

    kly_DiskSimulation s;
    s.simulate(k, 12, 3, 16, 8);

    const auto hex = [](const char* name, double v) { std::printf("%s %a\n", name, v); };
    std::printf("iterations %d steps %d reflected %d overlapping %d\n", s.getSimulatedIterations(),
                s.getSimulatedMaxTimeStep(), s.isDiskReflected(), s.isFieldOverlapping());
    hex("gain", s.getSimulatedGain());
    hex("power", s.getSimulatedOutputPower());
    hex("electronic", s.getSimulatedElectronicEfficiency());
    hex("kinetic", s.getSimulatedKineticEfficiency());
    hex("multipleOutput", s.getSimulatedMultipleOutputPower());
    hex("gb1", s.getSimulatedGb1());
    hex("bb1", s.getSimulatedBb1());
    hex("minVOverC", s.getSimulatedMinVOverC());
    hex("minVOverCAt", s.getSimulatedMinVOverCLocation());
    hex("maxI1I0", s.getSimulatedMaxI1I0());
    for (int c = 0; c < 4; ++c) {
      std::printf("cavity %d %a %a", c, s.getSimulatedCavityVoltage(c), s.getSimulatedCavityVoltagePhase(c));
      for (int h = 0; h < kly_DiskSimulation::kHarmonics; ++h)
        std::printf(" %a %a", s.getSimulatedCavityCurrentMagnitude(c, h), s.getSimulatedCavityCurrentPhase(c, h));
      std::printf("\n");
    }
    for (int i = 0; i < kly_DiskSimulation::kGridPoints; ++i)
      std::printf("grid %a %a %a %a\n", s.getBunchingGridZ(i), s.getSimulatedI1I0Sample(i),
                  s.getSimulatedI1I0PhaseSample(i), s.getSimulatedI2I0Sample(i));
    for (int d = 0; d < s.getDisks(); ++d) {
      for (int r = 0; r < s.getRings(); ++r) {
        std::printf("disk %d ring %d %a %a %a\n", d, r, s.getSimulatedEntryVelocity(d, r),
                    s.getSimulatedExitVelocity(d, r), s.getVelocityAtMinimumBeta(d, r));
        for (int t = 0; t < s.getSimulatedMaxTimeStep(); ++t)
          std::printf("%a %a\n", s.getSimulatedDiskPosition(d, r, t), s.getSimulatedDiskVelocity(d, r, t));
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
