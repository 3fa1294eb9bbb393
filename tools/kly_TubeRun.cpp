#include "tools/kly_TubeRun.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

kly_TubeRun::kly_TubeRun(kly_TubeFileContents tube)
    : tube_(std::move(tube)), built_(std::make_shared<const kly_BuiltTube>()) {}

void kly_TubeRun::run(const kly_TubeRunOptions& options) {
  warnings_.clear();
  passes_.clear();
  simulated_ = false;
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

  // Each model runs on a tube built afresh from the description the build
  // before it left (M of a cavity with a field file as its profile gave it),
  // as the Java class's runs rebuild its model: the command's numbers are
  // those of the same tube described through the Java methods.
  auto start = std::chrono::steady_clock::now();
  built_ = kly_BuiltTube::build(tube_.description);
  analytic_.calculateAnalytics(*built_);
  analytic_.calculateAnalyticI1I0(*built_);
  analyticSeconds_ = secondsSince(start);

  const auto stop = [&options] { return options.stopRequested && options.stopRequested(); };
  resolution_.clear();
  simulationStopped_ = false;
  resolutionStopped_ = false;
  if (simulate && !stop()) {
    threads_ =
        options.threads > 0 ? options.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    kly_SimulationSettings counts = *settings;
    if (options.nearField) counts.nearField = *options.nearField;
    nearField_ = counts.nearField;
    kly_SimulationOptions simOptions;
    simOptions.threads = options.threads;
    bool stopped = false;
    simOptions.observer = [this, &options, &counts, &stop, &stopped](const kly_PassReport& report) {
      passes_.push_back(report);
      if (options.onPass) options.onPass(report);
      if (!stop()) return true;
      // A request during the last pass stops nothing.
      stopped = !(report.convergence <= kConvergence || report.pass + 1 >= counts.maxIterations);
      return false;
    };
    if (options.onStep) {
      simOptions.stepObserver = options.onStep;
      simOptions.stepInterval = kStepInterval;
    }
    start = std::chrono::steady_clock::now();
    std::shared_ptr<const kly_BuiltTube> rebuilt = kly_BuiltTube::build(built_->description());
    simulation_.simulate(*rebuilt, counts, simOptions);
    built_ = std::move(rebuilt);
    simulationSeconds_ = secondsSince(start);
    simulated_ = true;
    simulationStopped_ = stopped;

    if (options.checkResolution && !stop()) {
      // A stop request ends the repeats at once: they are a check of the run,
      // whose own results stand.
      struct Stop {};
      simOptions.observer = nullptr;
      const auto onPass = [&options, &stop](const kly_PassReport& report) {
        if (options.onPass) options.onPass(report);
        if (stop()) throw Stop{};
      };
      try {
        resolution_ = kly_ResolutionCheck::run(built_->description(), counts, simOptions, options.onRepeat, onPass);
      } catch (const Stop&) {
        resolution_.clear();
        resolutionStopped_ = true;
      }
    } else if (options.checkResolution) {
      resolutionStopped_ = true;
    }
    completed_ = !simulationStopped_ && !resolutionStopped_;
  } else {
    simulationStopped_ = simulate;
    completed_ = !simulate;
  }
  warn(kly_PhysicsChecks::runWarnings(*this));
}

bool kly_TubeRun::converged() const { return !passes_.empty() && passes_.back().convergence <= kConvergence; }

bool kly_TubeRun::iterates() const {
  const kly_TubeDescription& d = tube_.description;
  return d.cavities.size() > 1 || (d.simulation && d.simulation->importBeam);
}
