#include "tools/kly_Summary.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "klystron/core/kly_Constants.h"
#include "tools/kly_Text.h"
#include "tools/kly_TubeRun.h"

using kly_text::fixed;
using kly_text::general;

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// A table cell: the number scaled, with `decimals` decimals; "-" where there
// is none (or it is not a number).
std::string cell(std::optional<double> v, double scale, int decimals) {
  if (!v) return "-";
  return fixed(*v * scale, decimals);
}

// A gain cell: "no drive" when there is no drive to compare with.
std::string gainCell(std::optional<double> v, bool drive) {
  if (!v) return "-";
  return drive ? fixed(*v, 3) : "no drive";
}

bool imported(const kly_TubeRun& run) {
  const auto& s = run.description().simulation;
  return run.simulation() && s && s->importBeam;
}

// Cavities whose whole gap field lies upstream of the first imported disk:
// no beam passes them in the simulation.
std::vector<int> upstreamOfImportedBeam(const kly_TubeRun& run) {
  std::vector<int> upstream;
  const kly_DiskSimulation* s = run.simulation();
  if (!imported(run) || s->getSimulatedMaxTimeStep() < 1) return upstream;
  double first = INFINITY;
  for (int d = 0; d < s->getDisks(); ++d) first = std::min(first, s->getSimulatedDiskPosition(d, 0, 0));
  for (int i = 0; i < run.cavityCount(); ++i)
    if (run.built().cavity(i).getFieldZMax() < first) upstream.push_back(i);
  return upstream;
}

void printBeam(std::ostream& out, const kly_TubeRun& run) {
  const kly_Beam& b = run.built().beam();
  const kly_BeamDescription& d = run.description().beam;
  if (d.round) {
    fmt::print(out, "Beam: round, radius {} mm in a tube of radius {} mm\n", general(d.beamRadius * 1e3, 4),
               general(d.tubeRadius * 1e3, 4));
  } else {
    fmt::print(out, "Beam: sheet, {} x {} mm in a tube of {} x {} mm\n", general(d.beamWidth * 1e3, 4),
               general(d.beamHeight * 1e3, 4), general(d.tubeWidth * 1e3, 4), general(d.tubeHeight * 1e3, 4));
  }
  const std::string drive = d.inputPower > 0 ? fmt::format("drive {} W", general(d.inputPower)) : "no drive";
  fmt::print(out, "  {} kV, {} A, {} at {} GHz\n", general(d.voltage / 1e3), general(d.current), drive,
             general(d.frequency / 1e9));
  fmt::print(out, "  depressed voltage  {:>12} kV    beam velocity     {:>12} m/s ({} c)\n",
             general(b.getDepressedBeamVoltage() / 1e3), general(b.getBeamVelocity()),
             fixed(b.getBeamVelocity() / kly::kSpeedOfLight, 4));
  fmt::print(out, "  relativistic factor{:>12}       electronic wl u0/f{:>12} mm\n", general(b.getSigma()),
             general(b.getRfWavelength() * 1e3));
  fmt::print(out, "  plasma wavelength  {:>12} m     reduced plasma wl {:>12} m\n", general(b.getPlasmaWavelength()),
             general(b.getReducedPlasmaWavelength()));
  fmt::print(out, "  betaE              {:>12} rad/m gamma             {:>12} 1/m\n", general(b.getBetaE()),
             general(b.getGamma()));
  fmt::print(out, "  gamma a            {:>12}       gamma b           {:>12}\n", general(b.getGammaA()),
             general(b.getGammaB()));
}

void printCavities(std::ostream& out, const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  const std::vector<int> upstream = upstreamOfImportedBeam(run);
  fmt::print(out, "\nCavities                                        analytic                simulated\n");
  fmt::print(out, "  {:>2}  {:>8}  {:>9}  {:>2}  {:>8}  {:>6}   {:>10}  {:>10}   {:>10}  {:>10}\n", "#", "z [m]",
             "f [GHz]", "h", "Qe", "M", "|V| [kV]", "phase [deg]", "|V| [kV]", "phase [deg]");
  for (int i = 0; i < run.cavityCount(); ++i) {
    std::optional<double> sv, sp;
    if (s && std::find(upstream.begin(), upstream.end(), i) == upstream.end()) {
      sv = s->getSimulatedCavityVoltage(i);
      sp = s->getSimulatedCavityVoltagePhase(i);
    }
    const kly_CavityDescription& c = run.cavity(i);
    fmt::print(out, "  {:>2}  {:>8}  {:>9}  {:>2}  {:>8}  {:>6}   {:>10}  {:>10}   {:>10}  {:>10}\n", i, fixed(c.z, 4),
               fixed(c.frequency / 1e9, 5), c.harmonic, general(c.qe), fixed(c.m, 4),
               cell(run.analytic().getCavityVoltage(i), 1e-3, 4),
               cell(run.analytic().getCavityVoltagePhase(i), kDegrees, 2), cell(sv, 1e-3, 4), cell(sp, kDegrees, 2));
  }
  if (!upstream.empty()) {
    std::vector<std::string> names;
    for (int i : upstream) names.push_back(std::to_string(i));
    fmt::print(out, "  simulated -: no beam passes cavit{} {}, upstream of the imported beam\n",
               upstream.size() == 1 ? "y" : "ies", fmt::join(names, ", "));
  }
}

void printPerformance(std::ostream& out, const kly_TubeRun& run) {
  const kly_Analytic& a = run.analytic();
  const kly_DiskSimulation* s = run.simulation();
  const bool drive = run.description().beam.inputPower > 0;
  const bool fromImport = imported(run);
  auto sim = [s](auto get) -> std::optional<double> {
    if (!s) return std::nullopt;
    return get(*s);
  };
  // The output cavity's efficiencies in the analytic model, formed as the
  // model forms those of all outputs: the circuit's share Qo / (Qo + Qe), the
  // power delivered over the beam power I0 Vd, and their quotient.
  const kly_CavityDescription& output = run.cavity(run.cavityCount() - 1);
  const double circuit = output.qo / (output.qo + output.qe);
  const double total =
      a.getOutputPower() / (run.description().beam.current * run.built().beam().getDepressedBeamVoltage());

  using S = const kly_DiskSimulation&;
  const std::string gainLabel = fromImport ? "gain [dB] (*)" : "gain [dB]";
  const std::string allGainLabel = fromImport ? "all outputs: gain [dB] (*)" : "all outputs: gain [dB]";
  struct Row {
    std::string label;
    std::string analytic, simulated;
  };
  const Row rows[] = {
      {gainLabel, gainCell(a.getGain(), drive), gainCell(sim([](S x) { return x.getSimulatedGain(); }), drive)},
      {"output power [kW]", cell(a.getOutputPower(), 1e-3, 4),
       cell(sim([](S x) { return x.getSimulatedOutputPower(); }), 1e-3, 4)},
      {"electronic efficiency [%]", cell(total / circuit, 100, 3),
       cell(sim([](S x) { return x.getSimulatedElectronicEfficiency(); }), 100, 3)},
      {"kinetic efficiency [%]", "-", cell(sim([](S x) { return x.getSimulatedKineticEfficiency(); }), 100, 3)},
      {"circuit efficiency [%]", cell(circuit, 100, 3),
       cell(sim([](S x) { return x.getSimulatedCircuitEfficiency(); }), 100, 3)},
      {"total efficiency [%]", cell(total, 100, 3),
       cell(sim([](S x) { return x.getSimulatedTotalEfficiency(); }), 100, 3)},
      {"all outputs: power [kW]", cell(a.getMultipleOutputPower(), 1e-3, 4),
       cell(sim([](S x) { return x.getSimulatedMultipleOutputPower(); }), 1e-3, 4)},
      {allGainLabel, gainCell(a.getMultipleOutputGain(), drive),
       gainCell(sim([](S x) { return x.getSimulatedMultipleOutputGain(); }), drive)},
      {"all outputs: electronic eff. [%]", cell(a.getMultipleOutputElectronicEfficiency(), 100, 3),
       cell(sim([](S x) { return x.getSimulatedMultipleOutputElectronicEfficiency(); }), 100, 3)},
      {"all outputs: circuit eff. [%]", cell(a.getMultipleOutputCircuitEfficiency(), 100, 3),
       cell(sim([](S x) { return x.getSimulatedMultipleOutputCircuitEfficiency(); }), 100, 3)},
      {"all outputs: total eff. [%]", cell(a.getMultipleOutputTotalEfficiency(), 100, 3),
       cell(sim([](S x) { return x.getSimulatedMultipleOutputTotalEfficiency(); }), 100, 3)},
  };
  fmt::print(out, "\n{:<34}{:>14}{:>14}\n", "Performance", "analytic", "simulated");
  for (const Row& r : rows) fmt::print(out, "  {:<32}{:>14}{:>14}\n", r.label, r.analytic, r.simulated);
  if (fromImport && drive) {
    fmt::print(out,
               "  (*) simulated: the output power against the {} W drive of the tube (beam.inputPower), which a "
               "simulation\n      from an imported beam never applies: not a gain to compare with the analytic "
               "one\n",
               general(run.description().beam.inputPower));
  }
}

void printSimulation(std::ostream& out, const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  if (!s) {
    if (run.simulationStopped()) fmt::print(out, "\nSimulation interrupted before its first pass.\n");
    fmt::print(out, "\nAnalytic model only ({} s).\n", fixed(run.analyticSeconds(), 3));
    return;
  }
  fmt::print(out, "\nSimulation: {} disks x {} rings, {} steps per period, {} near field, {} of at most {} passes",
             s->getDisks(), s->getRings(), s->getSteps(), kly_nearFieldName(s->getNearField()),
             s->getSimulatedIterations(), s->getMaxIterations());
  if (!run.passes().empty())
    fmt::print(out, ", last convergence measure {}", general(run.passes().back().convergence, 3));
  fmt::print(out, "\n");
  if (run.simulationStopped()) {
    fmt::print(out, "  interrupted after pass {}: the results are those of the passes done\n",
               s->getSimulatedIterations());
  }
  if (run.estimate()) fmt::print(out, "  estimate: {}\n", run.estimate()->describe());
  fmt::print(out, "  {} s with {} thread{} asked for (analytic model {} s)\n", fixed(run.simulationSeconds(), 2),
             run.threads(), run.threads() == 1 ? "" : "s", fixed(run.analyticSeconds(), 3));
  fmt::print(out, "  max I1/I0 {} at z = {} m; min v/c {} at z = {} m\n", fixed(s->getSimulatedMaxI1I0(), 4),
             fixed(s->getSimulatedMaxI1I0ZLocation(), 4), fixed(s->getSimulatedMinVOverC(), 4),
             fixed(s->getSimulatedMinVOverCLocation(), 4));
}

void printResolution(std::ostream& out, const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  if (s && run.resolutionStopped() && !run.simulationStopped())
    fmt::print(out, "\nResolution check interrupted: its repeats did not run to their end.\n");
  if (!s || run.resolution().empty()) return;
  const auto& repeats = run.resolution();
  fmt::print(out, "\n{:<30}{:>16}", "Resolution check", "this run");
  for (const kly_ResolutionRepeat& r : repeats) fmt::print(out, "{:>22}", r.change);
  fmt::print(out, "\n  {:<28}{:>16}", "disks x rings", fmt::format("{} x {}", s->getDisks(), s->getRings()));
  for (const kly_ResolutionRepeat& r : repeats) fmt::print(out, "{:>22}", fmt::format("{} x {}", r.disks, r.rings));
  struct Row {
    const char* label;
    double here;
    double kly_ResolutionRepeat::*value;
    double scale;
  };
  const Row rows[] = {
      {"gain [dB]", s->getSimulatedGain(), &kly_ResolutionRepeat::gain, 1},
      {"output power [kW]", s->getSimulatedOutputPower(), &kly_ResolutionRepeat::outputPower, 1e-3},
      {"electronic efficiency [%]", s->getSimulatedElectronicEfficiency(), &kly_ResolutionRepeat::electronicEfficiency,
       100},
  };
  for (const Row& row : rows) {
    fmt::print(out, "\n  {:<28}{:>16}", row.label, fixed(row.here * row.scale, 4));
    for (const kly_ResolutionRepeat& r : repeats) {
      if (!r.skipped.empty()) {
        fmt::print(out, "{:>22}", "-");
        continue;
      }
      const double v = r.*row.value * row.scale;
      std::string change = fixed(v - row.here * row.scale, 4);
      if (change != "-" && change[0] != '-' && change != "inf") change = "+" + change;
      fmt::print(out, "{:>22}", fmt::format("{} ({})", fixed(v, 4), change));
    }
  }
  fmt::print(out, "\n");
  for (const kly_ResolutionRepeat& r : repeats) {
    if (!r.skipped.empty())
      fmt::print(out, "  {}: not run: {}\n", r.change, r.skipped);
    else if (!r.converged)
      fmt::print(out, "  {}: did not converge in {} passes\n", r.change, r.iterations);
  }
}

}  // namespace

void kly_Summary::print(std::ostream& out, const kly_TubeRun& run) {
  fmt::print(out, "{}  ({})\n", run.tube().name, run.tube().source.lexically_normal().string());
  for (const std::string& line : kly_text::wrap(run.tube().about, 100)) fmt::print(out, "  {}\n", line);
  fmt::print(out, "\n");
  printBeam(out, run);
  printCavities(out, run);
  printPerformance(out, run);
  printSimulation(out, run);
  printResolution(out, run);
  if (!run.warnings().empty()) {
    fmt::print(out, "\nWarnings:\n");
    for (const kly_Warning& w : run.warnings()) fmt::print(out, "  - {}\n", w.text());
  }
}
