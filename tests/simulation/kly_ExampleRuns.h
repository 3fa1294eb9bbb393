#pragma once

// Runs of the example tubes for the tests that compare the fast and the
// plain pass and thread counts: every result of a run as bits.

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "model/kly_Klystron.h"
#include "simulation/kly_DiskSimulation.h"
#include "tools/kly_TubeFile.h"

namespace kly_test {

// Every result of a completed run, trajectories and crossing velocities
// included, as bits: equal fingerprints mean identical runs.
inline std::vector<std::uint64_t> fingerprint(const kly_DiskSimulation& s) {
  std::vector<std::uint64_t> f;
  const auto add = [&f](double v) { f.push_back(std::bit_cast<std::uint64_t>(v)); };
  f.push_back(static_cast<std::uint64_t>(s.getSimulatedIterations()));
  f.push_back(static_cast<std::uint64_t>(s.isDiskReflected()) * 2 + s.isFieldOverlapping());
  for (double v :
       {s.getSimulatedGain(), s.getSimulatedOutputPower(), s.getSimulatedElectronicEfficiency(),
        s.getSimulatedKineticEfficiency(), s.getSimulatedTotalEfficiency(), s.getSimulatedCircuitEfficiency(),
        s.getSimulatedMultipleOutputPower(), s.getSimulatedMultipleOutputWallPower(),
        s.getSimulatedMultipleOutputGain(), s.getSimulatedMultipleOutputElectronicEfficiency(), s.getSimulatedGb1(),
        s.getSimulatedBb1(), s.getSimulatedMaxI1I0(), s.getSimulatedMaxI1I0ZLocation(), s.getSimulatedMinVOverC(),
        s.getSimulatedMinVOverCLocation()})
    add(v);
  for (int c = 0; c < kly_DiskSimulation::kMaxCavities; ++c) {
    add(s.getSimulatedCavityVoltage(c));
    add(s.getSimulatedCavityVoltagePhase(c));
    for (int h = 0; h < kly_DiskSimulation::kHarmonics; ++h) {
      add(s.getSimulatedCavityCurrentMagnitude(c, h));
      add(s.getSimulatedCavityCurrentPhase(c, h));
    }
  }
  for (int i = 0; i < kly_DiskSimulation::kGridPoints; ++i) {
    add(s.getSimulatedI1I0Sample(i));
    add(s.getSimulatedI1I0PhaseSample(i));
    add(s.getSimulatedI2I0Sample(i));
  }
  for (int d = 0; d < s.getDisks(); ++d) {
    for (int r = 0; r < s.getRings(); ++r) {
      add(s.getSimulatedEntryVelocity(d, r));
      add(s.getSimulatedExitVelocity(d, r));
      add(s.getVelocityAtMinimumBeta(d, r));
      for (int t = 0; t < s.getSimulatedMaxTimeStep(); ++t) {
        add(s.getSimulatedDiskPosition(d, r, t));
        add(s.getSimulatedDiskVelocity(d, r, t));
      }
    }
  }
  return f;
}

// An example tube file (examples/NAME.json) with the counts of its simulation
// section; `rings` above the file's also asks its field files for that many.
struct ExampleTube {
  kly_TubeDescription tube;
  kly_TubeSimulation counts;

  explicit ExampleTube(const std::string& name)
      : tube(kly_TubeFile::read(std::string(KLY_EXAMPLES_DIR) + "/" + name + ".json")), counts(*tube.simulation) {}

  // Runs the tube with counts `c` and options `o` on `s`.
  void run(kly_DiskSimulation& s, const kly_TubeSimulation& c, const kly_SimulationOptions& o) const {
    kly_TubeDescription t = tube;
    for (kly_TubeCavity& cavity : t.cavities)
      if (cavity.fieldRings < c.rings) cavity.fieldRings = c.rings;
    kly_Klystron k;
    t.applyTo(k);
    if (c.importBeam)
      s.importBeam(true, c.importBeam->file.string(), c.importBeam->useGivenInjectionPosition,
                   c.importBeam->injectionPosition);
    s.simulate(k, c.disks, c.rings, c.steps, c.maxIterations, o);
  }

  std::vector<std::uint64_t> fingerprint(const kly_TubeSimulation& c, const kly_SimulationOptions& o) const {
    kly_DiskSimulation s;
    run(s, c, o);
    return kly_test::fingerprint(s);
  }
};

inline const std::vector<std::string> kExampleTubes = {"sband-round", "xband-sheet", "sband-prebunched"};

}  // namespace kly_test
