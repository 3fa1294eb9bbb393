#include "tools/kly_ResolutionCheck.h"

#include <cmath>
#include <string>

#include "klystron/core/kly_Constants.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_BeamImport.h"

namespace {

kly_ResolutionRepeat repeat(const kly_TubeDescription& tube, const kly_SimulationSettings& settings,
                            const kly_SimulationOptions& options, std::string change, int disks, int rings,
                            const std::function<void(const kly_ResolutionRepeat&)>& onRepeat,
                            const std::function<void(const kly_PassReport&)>& onPass) {
  kly_ResolutionRepeat r;
  r.change = std::move(change);
  r.disks = disks;
  r.rings = rings;
  if (rings > kly::kMaxRings) {
    r.skipped = "the simulation takes at most " + std::to_string(kly::kMaxRings) + " rings";
    return r;
  }
  if (settings.importBeam) {
    kly_BeamImport beam;
    beam.readBeamFile(settings.importBeam->file);
    if (beam.getRowCount() < disks) {
      r.skipped = "the beam file has " + std::to_string(beam.getRowCount()) + " rows, fewer than " +
                  std::to_string(disks) + " disks";
      return r;
    }
  }
  if (onRepeat) onRepeat(r);

  // Field files are tabulated at the repeat's rings.
  kly_TubeDescription finer = tube;
  for (kly_CavityDescription& cavity : finer.cavities)
    if (cavity.hasFieldFile && cavity.fieldRings < rings) cavity.fieldRings = rings;
  kly_SimulationSettings counts = settings;
  counts.disks = disks;
  counts.rings = rings;
  kly_SimulationOptions o = options;
  double convergence = 1.0;
  o.observer = [&](const kly_PassReport& report) {
    convergence = report.convergence;
    if (onPass) onPass(report);
    return true;
  };
  kly_DiskSimulation simulation;
  simulation.simulate(*kly_BuiltTube::build(finer), counts, o);
  r.gain = simulation.getSimulatedGain();
  r.outputPower = simulation.getSimulatedOutputPower();
  r.electronicEfficiency = simulation.getSimulatedElectronicEfficiency();
  r.iterations = simulation.getSimulatedIterations();
  r.converged = convergence <= kly::kConvergence;
  return r;
}

}  // namespace

std::vector<kly_ResolutionRepeat> kly_ResolutionCheck::run(
    const kly_TubeDescription& tube, const kly_SimulationSettings& settings, const kly_SimulationOptions& options,
    const std::function<void(const kly_ResolutionRepeat&)>& onRepeat,
    const std::function<void(const kly_PassReport&)>& onPass) {
  std::vector<kly_ResolutionRepeat> repeats;
  repeats.push_back(repeat(tube, settings, options, "one ring more", settings.disks, settings.rings + 1, onRepeat,
                           onPass));
  repeats.push_back(repeat(tube, settings, options, "two disks more", settings.disks + 2, settings.rings, onRepeat,
                           onPass));
  return repeats;
}

bool kly_ResolutionCheck::moves(const kly_ResolutionRepeat& repeat, double gain) {
  // A gain that is not a number (no output power) is warned of on its own.
  if (!repeat.skipped.empty() || repeat.gain == gain || std::isnan(repeat.gain) || std::isnan(gain)) return false;
  // A gain that is finite in one run and infinite in the other moves too.
  return !(std::abs(repeat.gain - gain) <= kGainLimit);
}
