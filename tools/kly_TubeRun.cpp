#include "tools/kly_TubeRun.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

kly_TubeRun::kly_TubeRun(kly_TubeDescription tube) : tube_(std::move(tube)) { tube_.applyTo(klystron_); }

void kly_TubeRun::run(const kly_TubeRunOptions& options) {
  auto start = std::chrono::steady_clock::now();
  analytic_.calculateAnalytics(klystron_);
  analytic_.calculateAnalyticI1I0();
  analyticSeconds_ = secondsSince(start);

  if (!options.simulate || !tube_.simulation) return;
  const kly_TubeSimulation& s = *tube_.simulation;
  if (s.importBeam) {
    simulation_.importBeam(true, s.importBeam->file.string(), s.importBeam->useGivenInjectionPosition,
                           s.importBeam->injectionPosition);
  } else {
    simulation_.importBeam(false, "", false, 0.0);
  }
  threads_ =
      options.threads > 0 ? options.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  kly_SimulationOptions simOptions;
  simOptions.threads = options.threads;
  simOptions.observer = [this, &options](const kly_PassReport& report) {
    passes_.push_back(report);
    if (options.onPass) options.onPass(report);
    return true;
  };
  passes_.clear();
  start = std::chrono::steady_clock::now();
  simulation_.simulate(klystron_, s.disks, s.rings, s.steps, s.maxIterations, simOptions);
  simulationSeconds_ = secondsSince(start);
  simulated_ = true;
}

bool kly_TubeRun::converged() const { return !passes_.empty() && passes_.back().convergence <= kConvergence; }

bool kly_TubeRun::iterates() const {
  return tube_.cavities.size() > 1 || (tube_.simulation && tube_.simulation->importBeam);
}
