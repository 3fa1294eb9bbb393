#include "tools/kly_TubeRun.h"

#include <cmath>
#include <thread>

kly_TubeRun::kly_TubeRun(kly_TubeFileContents tube) : tube_(std::move(tube)) {}

void kly_TubeRun::run(const kly_TubeRunOptions& options) {
  warnings_.clear();
  completed_ = false;
  estimate_ = options.estimate;
  const auto warn = [this, &options](std::vector<kly_Warning> found) {
    for (kly_Warning& w : found) {
      if (options.onWarning) options.onWarning(w);
      warnings_.push_back(std::move(w));
    }
  };
  const std::optional<kly_SimulationSettings>& settings = tube_.description.simulation;
  const bool simulate = options.simulate && settings;
  warn(kly_PhysicsChecks::tubeWarnings(tube_, simulate));

  const auto stop = [&options] { return options.stopRequested && options.stopRequested(); };
  kly_TubeDescription tube = tube_.description;
  if (simulate && options.nearField) tube.simulation->nearField = *options.nearField;
  kly_EvaluationOptions evaluation;
  evaluation.simulate = simulate;
  evaluation.threads = options.threads;
  evaluation.observer = [&options, &stop](const kly_PassReport& report) {
    if (options.onPass) options.onPass(report);
    return !stop();
  };
  if (options.onStep) {
    evaluation.stepObserver = options.onStep;
    evaluation.stepInterval = kStepInterval;
  }
  evaluation.skipSimulation = stop;
  threads_ =
      options.threads > 0 ? options.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (simulate) nearField_ = tube.simulation->nearField;
  evaluation_.run(tube, evaluation);

  resolution_.clear();
  simulationStopped_ = evaluation_.simulationStopped() || evaluation_.simulationSkipped();
  resolutionStopped_ = false;
  if (evaluation_.simulation()) {
    if (options.checkResolution && !stop()) {
      // A stop request ends the repeats at once: they are a check of the run,
      // whose own results stand.
      struct Stop {};
      kly_SimulationOptions simOptions;
      simOptions.threads = options.threads;
      if (options.onStep) {
        simOptions.stepObserver = options.onStep;
        simOptions.stepInterval = kStepInterval;
      }
      const auto onPass = [&options, &stop](const kly_PassReport& report) {
        if (options.onPass) options.onPass(report);
        if (stop()) throw Stop{};
      };
      try {
        resolution_ = kly_ResolutionCheck::run(built().description(), *tube.simulation, simOptions, options.onRepeat,
                                               onPass);
      } catch (const Stop&) {
        resolution_.clear();
        resolutionStopped_ = true;
      }
    } else if (options.checkResolution) {
      resolutionStopped_ = true;
    }
  }
  completed_ = !simulationStopped_ && !resolutionStopped_;
  warn(kly_PhysicsChecks::runWarnings(*this));
}

bool kly_TubeRun::converged() const { return evaluation_.converged(); }

bool kly_TubeRun::iterates() const { return evaluation_.iterates(); }
