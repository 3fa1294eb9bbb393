#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/core/kly_Constants.h"
#include "klystron/driver/kly_PointEvaluation.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include "tools/kly_ResolutionCheck.h"
#include "tools/kly_PhysicsChecks.h"
#include "tools/kly_RunEstimate.h"
#include "tools/kly_TubeFile.h"

struct kly_TubeRunOptions {
  bool simulate = true;                               // run the disk simulation when the tube has a simulation section
  int threads = 0;                                    // worker threads of the simulation; 0: one per hardware thread
  std::function<void(const kly_PassReport&)> onPass;  // called after every simulation pass
  // The near field of the simulation; unset: the tube file's (kly_TubeFile::kDefaultNearField where it names none).
  std::optional<kly_NearField> nearField;
  // Repeat the simulation with one ring more and with two disks more (kly_ResolutionCheck).
  bool checkResolution = false;
  std::function<void(const kly_ResolutionRepeat&)> onRepeat;  // called before each repeat
  std::function<void(const kly_StepReport&)> onStep = nullptr;  // called every few time steps of a pass
  // Asked before the simulation and after every pass: true ends the run
  // there, with the results of the passes done.
  std::function<bool()> stopRequested = nullptr;
  std::function<void(const kly_Warning&)> onWarning = nullptr;  // called with each warning as it is found
  std::optional<kly_RunEstimate> estimate = std::nullopt;  // the simulation's, for the summary
};

// One run of a tube description: the analytic model with its I1/I0 sweep,
// then, when asked for and described, the disk simulation (the evaluation of
// kly_PointEvaluation, which a sweep's points make as well), the warnings and
// the resolution check. Holds the built tube and the models' results for the
// writers.
class kly_TubeRun {
public:
  // Convergence measure at which the simulation stops iterating.
  static constexpr double kConvergence = kly::kConvergence;
  // The near field of a simulation whose tube file and options name none.
  static constexpr kly_NearField kDefaultNearField = kly_TubeFile::kDefaultNearField;

  explicit kly_TubeRun(kly_TubeFileContents tube);
  kly_TubeRun(const kly_TubeRun&) = delete;
  kly_TubeRun& operator=(const kly_TubeRun&) = delete;

  // Runs both models; library errors (an unusable field or beam file, say)
  // propagate with the library's message.
  void run(const kly_TubeRunOptions& options);

  // Time steps between two step reports of the simulation.
  static constexpr int kStepInterval = 32;

  const kly_TubeFileContents& tube() const { return tube_; }
  // The beam and cavity objects of the last build (the simulation's, when it
  // ran) and the description they were built from.
  const kly_BuiltTube& built() const { return evaluation_.built(); }
  const kly_TubeDescription& description() const { return built().description(); }
  int cavityCount() const { return built().cavityCount(); }
  const kly_CavityDescription& cavity(int i) const {
    return built().description().cavities.at(static_cast<std::size_t>(i));
  }
  const kly_Analytic& analytic() const { return evaluation_.analytic(); }
  // The simulation, or nullptr when it did not run.
  const kly_DiskSimulation* simulation() const { return evaluation_.simulation(); }
  // The models' record of the run, as a sweep point records it.
  kly_PointResult result() const { return evaluation_.result(); }

  // Every pass of the simulation, in order.
  const std::vector<kly_PassReport>& passes() const { return evaluation_.passes(); }
  // The output voltage settled (the last pass's measure is below kConvergence).
  bool converged() const;
  // Everything asked for ran to its end: false when a stop request ended the
  // simulation before its pass limit or convergence (or kept it from
  // starting), or ended the resolution check.
  bool completed() const { return completed_; }
  // A stop request ended the simulation (or kept it from starting): its
  // results are those of the passes done.
  bool simulationStopped() const { return simulationStopped_; }
  // The simulation has something to iterate: a cavity after the driven one,
  // or an imported beam that drives every cavity.
  bool iterates() const;
  // Threads asked of the simulation: the --threads value, or the hardware's count for 0.
  int threads() const { return threads_; }
  // The near field the simulation used.
  kly_NearField nearField() const { return nearField_; }
  // The repeats of the resolution check, empty when it was not asked for or
  // a stop request ended it (resolutionStopped()).
  const std::vector<kly_ResolutionRepeat>& resolution() const { return resolution_; }
  bool resolutionStopped() const { return resolutionStopped_; }

  // Warnings about the tube and the results, in the order found.
  const std::vector<kly_Warning>& warnings() const { return warnings_; }
  const std::optional<kly_RunEstimate>& estimate() const { return estimate_; }

  double analyticSeconds() const { return evaluation_.analyticSeconds(); }      // wall time [s]
  double simulationSeconds() const { return evaluation_.simulationSeconds(); }  // wall time [s]

private:
  kly_TubeFileContents tube_;
  kly_PointEvaluation evaluation_;
  std::vector<kly_Warning> warnings_;
  std::optional<kly_RunEstimate> estimate_;
  bool completed_ = false;
  int threads_ = 0;
  kly_NearField nearField_ = kDefaultNearField;
  std::vector<kly_ResolutionRepeat> resolution_;
  bool simulationStopped_ = false;
  bool resolutionStopped_ = false;
};
