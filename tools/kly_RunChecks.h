#pragma once

#include <optional>

#include "tools/kly_RunEstimate.h"
#include "tools/kly_TubeFile.h"

// What is checked of a tube file's tube before it is computed, beyond the
// reader's own checks: `klystron run` checks its tube so, and a sweep each
// of its points.
struct kly_RunCheckOptions {
  bool simulate = true;          // the simulation will run (when the tube has a simulation section)
  int threads = 0;               // of the simulation, for the estimate
  bool checkResolution = false;  // the estimate includes the two repeats
  std::optional<int> maxPasses;  // replaces simulation.maxIterations
  bool force = false;            // run even when the estimate is over the limits
};

class kly_RunChecks {
public:
  // Applies maxPasses to the tube, then refuses a beam the models cannot
  // compute with and, when the simulation runs, an imported beam it cannot
  // start from and a run whose estimate is over this machine's limits
  // (unless forced). Throws kly_TubeFileError naming the file and the key
  // path; returns the simulation's estimate when it runs.
  static std::optional<kly_RunEstimate> check(kly_TubeFileContents& tube, const kly_RunCheckOptions& options);
};
