#include "tools/kly_ResultsWriter.h"

#include <cmath>
#include <complex>

#include "klystron/core/kly_Constants.h"
#include "tools/kly_TubeRun.h"

using nlohmann::ordered_json;

namespace {

using kly::kHarmonics;
using kly::kProfilePoints;

ordered_json value(double x) { return std::isfinite(x) ? ordered_json(x) : ordered_json(nullptr); }

template <typename Get>
ordered_json perCavity(int count, Get get) {
  ordered_json a = ordered_json::array();
  for (int k = 0; k < count; ++k) a.push_back(value(get(k)));
  return a;
}

template <typename GetZ, typename GetValue>
ordered_json profile(GetZ z, GetValue v) {
  ordered_json zs = ordered_json::array();
  ordered_json vs = ordered_json::array();
  for (int i = 0; i < kProfilePoints; ++i) {
    zs.push_back(value(z(i)));
    vs.push_back(value(v(i)));
  }
  return ordered_json{{"z", std::move(zs)}, {"value", std::move(vs)}};
}

void addModel(ordered_json& out, const kly_TubeRun& run) {
  const int n = run.cavityCount();
  out["beamVoltage"] = value(run.description().beam.voltage);
  out["beamCurrent"] = value(run.description().beam.current);
  out["operatingFrequency"] = value(run.description().beam.frequency);
  out["inputPower"] = value(run.description().beam.inputPower);
  out["tubeRadius"] = value(run.description().beam.tubeRadius);
  out["beamRadius"] = value(run.description().beam.beamRadius);
  out["tubeWidth"] = value(run.description().beam.tubeWidth);
  out["tubeHeight"] = value(run.description().beam.tubeHeight);
  out["beamWidth"] = value(run.description().beam.beamWidth);
  out["beamHeight"] = value(run.description().beam.beamHeight);
  out["roundBeam"] = run.description().beam.round;
  out["cavityCount"] = n;
  out["speedOfLight"] = kly::kSpeedOfLight;

  out["z"] = perCavity(n, [&](int i) { return run.cavity(i).z; });
  out["frequency"] = perCavity(n, [&](int i) { return run.cavity(i).frequency; });
  out["m"] = perCavity(n, [&](int i) { return run.cavity(i).m; });
  out["gapWidth"] = perCavity(n, [&](int i) { return run.cavity(i).gapWidth; });
  out["rQ"] = perCavity(n, [&](int i) { return run.cavity(i).rq; });
  out["qe"] = perCavity(n, [&](int i) { return run.cavity(i).qe; });
  out["qo"] = perCavity(n, [&](int i) { return run.cavity(i).qo; });
  ordered_json harmonic = ordered_json::array();
  for (int i = 0; i < n; ++i) harmonic.push_back(run.cavity(i).harmonic);
  out["harmonic"] = std::move(harmonic);

  // Beam and cavity objects of the last rebuild.
  const kly_Beam& b = run.built().beam();
  out["analyticBeamVelocity"] = value(b.getBeamVelocity());
  out["analyticDepressedBeamVoltage"] = value(b.getDepressedBeamVoltage());
  out["analyticPlasmaWavelength"] = value(b.getPlasmaWavelength());
  out["analyticReducedPlasmaWavelength"] = value(b.getReducedPlasmaWavelength());
  out["analyticGammaA"] = value(b.getGammaA());
  out["analyticGammaB"] = value(b.getGammaB());
  out["analyticSigma"] = value(b.getSigma());
  out["analyticRFWavelength"] = value(b.getRfWavelength());
  out["analyticBetaE"] = value(b.getBetaE());
  out["analyticGamma"] = value(b.getGamma());
  out["analyticGapImpedance"] = perCavity(n, [&](int i) { return std::abs(run.built().cavity(i).getGapImpedance()); });
  out["analyticQb"] = perCavity(n, [&](int i) { return run.built().cavity(i).getQb(); });
  out["analyticBb"] = perCavity(n, [&](int i) { return run.built().cavity(i).getBb(); });
  out["analyticGb"] = perCavity(n, [&](int i) { return run.built().cavity(i).getGb(); });
  out["cavityFieldZMin"] = perCavity(n, [&](int i) { return run.built().cavity(i).getFieldZMin(); });
  out["cavityFieldZMax"] = perCavity(n, [&](int i) { return run.built().cavity(i).getFieldZMax(); });
  out["cavityFieldWidth"] = perCavity(n, [&](int i) {
    const kly_Cavity& c = run.built().cavity(i);
    return c.getFieldZMax() - c.getFieldZMin();
  });
}

void addAnalytic(ordered_json& out, const kly_TubeRun& run) {
  const kly_Analytic& a = run.analytic();
  const int n = run.cavityCount();
  out["analyticGain"] = value(a.getGain());
  out["analyticOutputPower"] = value(a.getOutputPower());
  out["analyticMultipleOutputPower"] = value(a.getMultipleOutputPower());
  out["analyticMultipleOutputGain"] = value(a.getMultipleOutputGain());
  out["analyticMultipleOutputCircuitEfficiency"] = value(a.getMultipleOutputCircuitEfficiency());
  out["analyticMultipleOutputElectronicEfficiency"] = value(a.getMultipleOutputElectronicEfficiency());
  out["analyticMultipleOutputTotalEfficiency"] = value(a.getMultipleOutputTotalEfficiency());
  out["analyticCavityVoltage"] = perCavity(n, [&](int i) { return a.getCavityVoltage(i); });
  out["analyticCavityVoltagePhase"] = perCavity(n, [&](int i) { return a.getCavityVoltagePhase(i); });
  out["analyticI1I0"] = profile([&](int i) { return a.getI1I0Z(i); }, [&](int i) { return a.getI1I0Sample(i); });
}

void addSimulated(ordered_json& out, const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  if (!s) return;
  const int n = run.cavityCount();
  out["disks"] = s->getDisks();
  out["rings"] = s->getRings();
  out["steps"] = s->getSteps();
  out["maxIterations"] = s->getMaxIterations();
  out["nearField"] = kly_nearFieldName(s->getNearField());
  out["simulatedIterations"] = s->getSimulatedIterations();
  out["simulatedMaxTimeStep"] = s->getSimulatedMaxTimeStep();
  out["simulatedGain"] = value(s->getSimulatedGain());
  out["simulatedOutputPower"] = value(s->getSimulatedOutputPower());
  out["simulatedElectronicEfficiency"] = value(s->getSimulatedElectronicEfficiency());
  out["simulatedKineticEfficiency"] = value(s->getSimulatedKineticEfficiency());
  out["simulatedTotalEfficiency"] = value(s->getSimulatedTotalEfficiency());
  // The Java getter keeps its historical name for the simulated circuit efficiency.
  out["analyticCircuitEfficiency"] = value(s->getSimulatedCircuitEfficiency());
  out["simulatedMultipleOutputPower"] = value(s->getSimulatedMultipleOutputPower());
  out["simulatedMultipleOutputGain"] = value(s->getSimulatedMultipleOutputGain());
  out["simulatedMultipleOutputCircuitEfficiency"] = value(s->getSimulatedMultipleOutputCircuitEfficiency());
  out["simulatedMultipleOutputElectronicEfficiency"] = value(s->getSimulatedMultipleOutputElectronicEfficiency());
  out["simulatedMultipleOutputTotalEfficiency"] = value(s->getSimulatedMultipleOutputTotalEfficiency());
  out["simulatedGb1"] = value(s->getSimulatedGb1());
  out["simulatedBb1"] = value(s->getSimulatedBb1());
  out["simulatedMaxI1I0"] = value(s->getSimulatedMaxI1I0());
  out["simulatedMaxI1I0ZLocation"] = value(s->getSimulatedMaxI1I0ZLocation());
  out["simulatedMinVOverC"] = value(s->getSimulatedMinVOverC());
  out["simulatedMinVOverCLocation"] = value(s->getSimulatedMinVOverCLocation());
  out["diskReflected"] = s->isDiskReflected();
  out["fieldOverlapping"] = s->isFieldOverlapping();
  out["simulatedCavityVoltage"] = perCavity(n, [&](int i) { return s->getSimulatedCavityVoltage(i); });
  out["simulatedCavityVoltagePhase"] = perCavity(n, [&](int i) { return s->getSimulatedCavityVoltagePhase(i); });
  ordered_json magnitude = ordered_json::array();
  ordered_json phase = ordered_json::array();
  for (int k = 0; k < n; ++k) {
    ordered_json m = ordered_json::array();
    ordered_json p = ordered_json::array();
    for (int h = 0; h < kHarmonics; ++h) {
      m.push_back(value(s->getSimulatedCavityCurrentMagnitude(k, h)));
      p.push_back(value(s->getSimulatedCavityCurrentPhase(k, h)));
    }
    magnitude.push_back(std::move(m));
    phase.push_back(std::move(p));
  }
  out["simulatedCavityCurrentMagnitude"] = std::move(magnitude);
  out["simulatedCavityCurrentPhase"] = std::move(phase);
  auto z = [&](int i) { return s->getBunchingGridZ(i); };
  out["simulatedI1I0"] = profile(z, [&](int i) { return s->getSimulatedI1I0Sample(i); });
  out["simulatedI1I0Phase"] = profile(z, [&](int i) { return s->getSimulatedI1I0PhaseSample(i); });
  out["simulatedI2I0"] = profile(z, [&](int i) { return s->getSimulatedI2I0Sample(i); });
  if (run.resolution().empty()) return;
  ordered_json repeats = ordered_json::array();
  bool flagged = false;
  for (const kly_ResolutionRepeat& r : run.resolution()) {
    ordered_json j = ordered_json::object();
    j["change"] = r.change;
    j["disks"] = r.disks;
    j["rings"] = r.rings;
    j["skipped"] = r.skipped.empty() ? ordered_json(nullptr) : ordered_json(r.skipped);
    if (r.skipped.empty()) {
      j["simulatedGain"] = value(r.gain);
      j["simulatedOutputPower"] = value(r.outputPower);
      j["simulatedElectronicEfficiency"] = value(r.electronicEfficiency);
      j["gainChange"] = value(r.gain - s->getSimulatedGain());
      j["outputPowerChange"] = value(r.outputPower - s->getSimulatedOutputPower());
      j["electronicEfficiencyChange"] = value(r.electronicEfficiency - s->getSimulatedElectronicEfficiency());
      j["simulatedIterations"] = r.iterations;
      j["converged"] = r.converged;
    }
    flagged = flagged || kly_ResolutionCheck::moves(r, s->getSimulatedGain());
    repeats.push_back(std::move(j));
  }
  out["resolutionCheck"] = ordered_json{{"gainLimit", kly_ResolutionCheck::kGainLimit},
                                        {"flagged", flagged},
                                        {"repeats", std::move(repeats)}};
}

}  // namespace

ordered_json kly_ResultsWriter::toJson(const kly_TubeRun& run) {
  ordered_json out = ordered_json::object();
  addModel(out, run);
  addAnalytic(out, run);
  addSimulated(out, run);
  // false: the run was stopped before its end, and the simulated results are
  // those of the passes done (simulatedIterations).
  out["completed"] = run.completed();
  ordered_json warnings = ordered_json::array();
  for (const kly_Warning& w : run.warnings()) {
    warnings.push_back(ordered_json{{"key", w.key.empty() ? ordered_json(nullptr) : ordered_json(w.key)},
                                    {"message", w.message}});
  }
  out["warnings"] = std::move(warnings);
  return out;
}

std::string kly_ResultsWriter::render(const kly_TubeRun& run) { return toJson(run).dump(2) + "\n"; }
