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
  // Each model runs on a tube built afresh from the description the build
  // before it left (M of a cavity with a field file as its profile gave it),
  // as the Java class's runs rebuild its model: the command's numbers are
  // those of the same tube described through the Java methods.
  auto start = std::chrono::steady_clock::now();
  built_ = kly_BuiltTube::build(tube_.description);
  analytic_.calculateAnalytics(*built_);
  analytic_.calculateAnalyticI1I0(*built_);
  analyticSeconds_ = secondsSince(start);

  const std::optional<kly_SimulationSettings>& settings = tube_.description.simulation;
  if (!options.simulate || !settings) return;
  threads_ =
      options.threads > 0 ? options.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  kly_SimulationSettings counts = *settings;
  if (options.nearField) counts.nearField = *options.nearField;
  nearField_ = counts.nearField;
  kly_SimulationOptions simOptions;
  simOptions.threads = options.threads;
  simOptions.observer = [this, &options](const kly_PassReport& report) {
    passes_.push_back(report);
    if (options.onPass) options.onPass(report);
    return true;
  };
  passes_.clear();
  start = std::chrono::steady_clock::now();
  std::shared_ptr<const kly_BuiltTube> rebuilt = kly_BuiltTube::build(built_->description());
  simulation_.simulate(*rebuilt, counts, simOptions);
  built_ = std::move(rebuilt);
  simulationSeconds_ = secondsSince(start);
  simulated_ = true;

  resolution_.clear();
  if (options.checkResolution) {
    simOptions.observer = nullptr;
    resolution_ = kly_ResolutionCheck::run(built_->description(), counts, simOptions, options.onRepeat, options.onPass);
  }
}

bool kly_TubeRun::converged() const { return !passes_.empty() && passes_.back().convergence <= kConvergence; }

bool kly_TubeRun::iterates() const {
  const kly_TubeDescription& d = tube_.description;
  return d.cavities.size() > 1 || (d.simulation && d.simulation->importBeam);
}
