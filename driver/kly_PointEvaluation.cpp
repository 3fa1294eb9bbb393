#include "klystron/driver/kly_PointEvaluation.h"

#include <chrono>
#include <complex>
#include <exception>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename Get>
std::vector<double> perCavity(int count, Get get) {
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) values.push_back(get(k));
  return values;
}

}  // namespace

kly_PointEvaluation::kly_PointEvaluation() : built_(std::make_shared<const kly_BuiltTube>()) {}

void kly_PointEvaluation::run(const kly_TubeDescription& tube, const kly_EvaluationOptions& options) {
  simulated_ = false;
  skipped_ = false;
  stopped_ = false;
  passes_.clear();
  analyticSeconds_ = 0;
  simulationSeconds_ = 0;
  description_ = tube;

  auto start = std::chrono::steady_clock::now();
  built_ = kly_BuiltTube::build(tube);
  analytic_.calculateAnalytics(*built_);
  if (options.analyticProfile) analytic_.calculateAnalyticI1I0(*built_);
  analyticSeconds_ = secondsSince(start);

  if (!options.simulate || !tube.simulation) return;
  if (options.skipSimulation && options.skipSimulation()) {
    skipped_ = true;
    return;
  }
  const kly_SimulationSettings& counts = *tube.simulation;
  kly_SimulationOptions simOptions;
  simOptions.threads = options.threads;
  simOptions.observer = [this, &options, &counts](const kly_PassReport& report) {
    passes_.push_back(report);
    if (!options.observer || options.observer(report)) return true;
    // A stop asked for in the last pass stops nothing.
    stopped_ = !(report.convergence <= kConvergence || report.pass + 1 >= counts.maxIterations);
    return false;
  };
  if (options.stepObserver) {
    simOptions.stepObserver = options.stepObserver;
    simOptions.stepInterval = options.stepInterval;
  }
  start = std::chrono::steady_clock::now();
  std::shared_ptr<const kly_BuiltTube> rebuilt = kly_BuiltTube::build(built_->description());
  simulation_.simulate(*rebuilt, counts, simOptions);
  built_ = std::move(rebuilt);
  simulationSeconds_ = secondsSince(start);
  simulated_ = true;
}

bool kly_PointEvaluation::converged() const { return !passes_.empty() && passes_.back().convergence <= kConvergence; }

bool kly_PointEvaluation::iterates() const {
  return description_.cavities.size() > 1 || (description_.simulation && description_.simulation->importBeam);
}

kly_PointResult kly_PointEvaluation::result() const {
  kly_PointResult r;
  r.status = simulated_ && iterates() && !converged() ? kly_PointStatus::notConverged : kly_PointStatus::ok;
  r.seconds = analyticSeconds_ + simulationSeconds_;
  const int n = built_->cavityCount();
  auto scalar = [&r](const char* name, double v) { r.scalars.emplace_back(name, v); };
  auto array = [&r](const char* name, std::vector<double> v) { r.cavityArrays.emplace_back(name, std::move(v)); };

  // The names and the order of results.json.
  const kly_Beam& b = built_->beam();
  scalar("analyticBeamVelocity", b.getBeamVelocity());
  scalar("analyticDepressedBeamVoltage", b.getDepressedBeamVoltage());
  scalar("analyticPlasmaWavelength", b.getPlasmaWavelength());
  scalar("analyticReducedPlasmaWavelength", b.getReducedPlasmaWavelength());
  scalar("analyticGammaA", b.getGammaA());
  scalar("analyticGammaB", b.getGammaB());
  scalar("analyticSigma", b.getSigma());
  scalar("analyticRFWavelength", b.getRfWavelength());
  scalar("analyticBetaE", b.getBetaE());
  scalar("analyticGamma", b.getGamma());
  array("m", perCavity(n, [&](int i) { return built_->description().cavities[static_cast<std::size_t>(i)].m; }));
  array("analyticGapImpedance", perCavity(n, [&](int i) { return std::abs(built_->cavity(i).getGapImpedance()); }));
  array("analyticQb", perCavity(n, [&](int i) { return built_->cavity(i).getQb(); }));
  array("analyticBb", perCavity(n, [&](int i) { return built_->cavity(i).getBb(); }));
  array("analyticGb", perCavity(n, [&](int i) { return built_->cavity(i).getGb(); }));

  const kly_Analytic& a = analytic_;
  scalar("analyticGain", a.getGain());
  scalar("analyticOutputPower", a.getOutputPower());
  scalar("analyticMultipleOutputPower", a.getMultipleOutputPower());
  scalar("analyticMultipleOutputGain", a.getMultipleOutputGain());
  scalar("analyticMultipleOutputCircuitEfficiency", a.getMultipleOutputCircuitEfficiency());
  scalar("analyticMultipleOutputElectronicEfficiency", a.getMultipleOutputElectronicEfficiency());
  scalar("analyticMultipleOutputTotalEfficiency", a.getMultipleOutputTotalEfficiency());
  array("analyticCavityVoltage", perCavity(n, [&](int i) { return a.getCavityVoltage(i); }));
  array("analyticCavityVoltagePhase", perCavity(n, [&](int i) { return a.getCavityVoltagePhase(i); }));

  const kly_DiskSimulation* s = simulation();
  if (!s) return r;
  r.simulated = true;
  r.passes = s->getSimulatedIterations();
  r.diskReflected = s->isDiskReflected();
  r.fieldOverlapping = s->isFieldOverlapping();
  scalar("simulatedMaxTimeStep", s->getSimulatedMaxTimeStep());
  scalar("simulatedGain", s->getSimulatedGain());
  scalar("simulatedOutputPower", s->getSimulatedOutputPower());
  scalar("simulatedElectronicEfficiency", s->getSimulatedElectronicEfficiency());
  scalar("simulatedKineticEfficiency", s->getSimulatedKineticEfficiency());
  scalar("simulatedTotalEfficiency", s->getSimulatedTotalEfficiency());
  // The Java getter keeps its historical name for the simulated circuit efficiency.
  scalar("analyticCircuitEfficiency", s->getSimulatedCircuitEfficiency());
  scalar("simulatedMultipleOutputPower", s->getSimulatedMultipleOutputPower());
  scalar("simulatedMultipleOutputGain", s->getSimulatedMultipleOutputGain());
  scalar("simulatedMultipleOutputCircuitEfficiency", s->getSimulatedMultipleOutputCircuitEfficiency());
  scalar("simulatedMultipleOutputElectronicEfficiency", s->getSimulatedMultipleOutputElectronicEfficiency());
  scalar("simulatedMultipleOutputTotalEfficiency", s->getSimulatedMultipleOutputTotalEfficiency());
  scalar("simulatedGb1", s->getSimulatedGb1());
  scalar("simulatedBb1", s->getSimulatedBb1());
  scalar("simulatedMaxI1I0", s->getSimulatedMaxI1I0());
  scalar("simulatedMaxI1I0ZLocation", s->getSimulatedMaxI1I0ZLocation());
  scalar("simulatedMinVOverC", s->getSimulatedMinVOverC());
  scalar("simulatedMinVOverCLocation", s->getSimulatedMinVOverCLocation());
  array("simulatedCavityVoltage", perCavity(n, [&](int i) { return s->getSimulatedCavityVoltage(i); }));
  array("simulatedCavityVoltagePhase", perCavity(n, [&](int i) { return s->getSimulatedCavityVoltagePhase(i); }));
  return r;
}

kly_PointResult kly_PointEvaluation::evaluate(const kly_TubeDescription& tube, const kly_EvaluationOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  kly_PointResult r;
  try {
    kly_PointEvaluation evaluation;
    evaluation.run(tube, options);
    r = evaluation.result();
  } catch (const std::bad_alloc&) {
    r = kly_PointResult{};
    r.message = "not enough memory for this point";
  } catch (const std::exception& e) {
    r = kly_PointResult{};
    r.message = e.what();
  }
  r.seconds = secondsSince(start);
  return r;
}

const std::vector<std::string>& kly_PointEvaluation::scalarNames(bool simulated) {
  static const std::vector<std::string> analytic = {"analyticBeamVelocity",
                                                    "analyticDepressedBeamVoltage",
                                                    "analyticPlasmaWavelength",
                                                    "analyticReducedPlasmaWavelength",
                                                    "analyticGammaA",
                                                    "analyticGammaB",
                                                    "analyticSigma",
                                                    "analyticRFWavelength",
                                                    "analyticBetaE",
                                                    "analyticGamma",
                                                    "analyticGain",
                                                    "analyticOutputPower",
                                                    "analyticMultipleOutputPower",
                                                    "analyticMultipleOutputGain",
                                                    "analyticMultipleOutputCircuitEfficiency",
                                                    "analyticMultipleOutputElectronicEfficiency",
                                                    "analyticMultipleOutputTotalEfficiency"};
  static const std::vector<std::string> all = [] {
    std::vector<std::string> n = analytic;
    for (const char* s : {"simulatedMaxTimeStep", "simulatedGain", "simulatedOutputPower",
                          "simulatedElectronicEfficiency", "simulatedKineticEfficiency", "simulatedTotalEfficiency",
                          "analyticCircuitEfficiency", "simulatedMultipleOutputPower", "simulatedMultipleOutputGain",
                          "simulatedMultipleOutputCircuitEfficiency", "simulatedMultipleOutputElectronicEfficiency",
                          "simulatedMultipleOutputTotalEfficiency", "simulatedGb1", "simulatedBb1", "simulatedMaxI1I0",
                          "simulatedMaxI1I0ZLocation", "simulatedMinVOverC", "simulatedMinVOverCLocation"})
      n.emplace_back(s);
    return n;
  }();
  return simulated ? all : analytic;
}
