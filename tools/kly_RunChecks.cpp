#include "tools/kly_RunChecks.h"

#include <fmt/format.h>

#include "tools/kly_PhysicsChecks.h"

std::optional<kly_RunEstimate> kly_RunChecks::check(kly_TubeFileContents& tube, const kly_RunCheckOptions& options) {
  std::optional<kly_SimulationSettings>& settings = tube.description.simulation;
  if (settings && options.maxPasses) settings->maxIterations = *options.maxPasses;
  kly_PhysicsChecks::checkBeam(tube);
  if (!options.simulate || !settings) return std::nullopt;
  kly_PhysicsChecks::checkImportedBeam(tube);
  kly_RunEstimate estimate = kly_RunEstimate::of(tube.description, options.threads, options.checkResolution);
  if (auto refusal = estimate.refusal(kly_RunEstimate::Limits::ofThisMachine()); refusal && !options.force)
    throw kly_TubeFileError({fmt::format("{}: {}", tube.source.string(), *refusal)});
  return estimate;
}
