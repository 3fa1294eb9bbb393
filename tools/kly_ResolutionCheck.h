#pragma once

#include <functional>
#include <string>
#include <vector>

#include "klystron/model/kly_TubeDescription.h"
#include "klystron/simulation/kly_DiskSimulation.h"

// One repeat of a simulation at a finer resolution.
struct kly_ResolutionRepeat {
  std::string change;  // what was changed: "one ring more", "two disks more"
  int disks = 0;       // the counts of the repeat
  int rings = 0;
  std::string skipped;  // why the repeat could not run; empty when it ran
  double gain = 0;      // [dB]
  double outputPower = 0;  // [W]
  double electronicEfficiency = 0;
  int iterations = 0;      // passes made
  bool converged = false;  // the output voltage settled
};

// The resolution check of a tube's disk simulation: the run repeated with one
// ring more and with two disks more, with the same steps, pass limit and
// options. A result whose gain moves by more than kGainLimit in either repeat
// depends on the resolution more than a design should.
class kly_ResolutionCheck {
public:
  static constexpr double kGainLimit = 0.5;  // [dB]

  // Runs both repeats of the run of `tube` with `settings`. `options` as for
  // the run itself (its observer is not used); onRepeat, if set, is called
  // before each repeat, and onPass after each of its passes. A repeat the
  // model cannot make (more than 20 rings, a beam file with fewer rows than
  // disks) is reported as skipped; any other error propagates.
  static std::vector<kly_ResolutionRepeat> run(const kly_TubeDescription& tube, const kly_SimulationSettings& settings,
                                               const kly_SimulationOptions& options,
                                               const std::function<void(const kly_ResolutionRepeat&)>& onRepeat,
                                               const std::function<void(const kly_PassReport&)>& onPass);

  // Whether a repeat that ran moves the gain by more than kGainLimit from
  // `gain` [dB]; a gain that is finite in one run and infinite in the other
  // moves, one that is not a number in either does not count.
  static bool moves(const kly_ResolutionRepeat& repeat, double gain);
};
