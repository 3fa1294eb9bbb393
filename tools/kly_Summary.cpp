#include "tools/kly_Summary.h"

#include <cmath>
#include <numbers>
#include <optional>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "klystron/core/kly_Constants.h"
#include "tools/kly_TubeRun.h"

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// A table cell: the number in the given format, "-" where there is none.
std::string cell(std::optional<double> v, double scale, const char* pattern) {
  if (!v) return "-";
  return fmt::format(fmt::runtime(pattern), *v * scale);
}

void printBeam(std::ostream& out, const kly_TubeRun& run) {
  const kly_Beam& b = run.built().beam();
  if (run.description().beam.round) {
    fmt::print(out, "Beam: round, radius {:.4g} mm in a tube of radius {:.4g} mm\n",
               run.description().beam.beamRadius * 1e3, run.description().beam.tubeRadius * 1e3);
  } else {
    fmt::print(out, "Beam: sheet, {:.4g} x {:.4g} mm in a tube of {:.4g} x {:.4g} mm\n",
               run.description().beam.beamWidth * 1e3, run.description().beam.beamHeight * 1e3,
               run.description().beam.tubeWidth * 1e3, run.description().beam.tubeHeight * 1e3);
  }
  fmt::print(out, "  {:.6g} kV, {:.6g} A, drive {:.6g} W at {:.6g} GHz\n", run.description().beam.voltage / 1e3,
             run.description().beam.current, run.description().beam.inputPower, run.description().beam.frequency / 1e9);
  fmt::print(out, "  depressed voltage  {:>12.6g} kV    beam velocity     {:>12.6g} m/s ({:.4f} c)\n",
             b.getDepressedBeamVoltage() / 1e3, b.getBeamVelocity(), b.getBeamVelocity() / kly::kSpeedOfLight);
  fmt::print(out, "  relativistic factor{:>12.6g}       RF wavelength     {:>12.6g} mm\n", b.getSigma(),
             b.getRfWavelength() * 1e3);
  fmt::print(out, "  plasma wavelength  {:>12.6g} m     reduced plasma wl {:>12.6g} m\n", b.getPlasmaWavelength(),
             b.getReducedPlasmaWavelength());
  fmt::print(out, "  betaE              {:>12.6g} rad/m gamma             {:>12.6g} 1/m\n", b.getBetaE(), b.getGamma());
  fmt::print(out, "  gamma a            {:>12.6g}       gamma b           {:>12.6g}\n", b.getGammaA(), b.getGammaB());
}

void printCavities(std::ostream& out, const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  fmt::print(out, "\nCavities                                        analytic                simulated\n");
  fmt::print(out, "  {:>2}  {:>8}  {:>9}  {:>2}  {:>8}  {:>6}   {:>10}  {:>10}   {:>10}  {:>10}\n", "#", "z [m]",
             "f [GHz]", "h", "Qe", "M", "|V| [kV]", "phase [deg]", "|V| [kV]", "phase [deg]");
  for (int i = 0; i < run.cavityCount(); ++i) {
    std::optional<double> sv, sp;
    if (s) {
      sv = s->getSimulatedCavityVoltage(i);
      sp = s->getSimulatedCavityVoltagePhase(i);
    }
    fmt::print(out, "  {:>2}  {:>8.4f}  {:>9.5f}  {:>2}  {:>8.6g}  {:>6.4f}   {:>10}  {:>10}   {:>10}  {:>10}\n", i,
               run.cavity(i).z, run.cavity(i).frequency / 1e9, run.cavity(i).harmonic, run.cavity(i).qe,
               run.cavity(i).m, cell(run.analytic().getCavityVoltage(i), 1e-3, "{:.4f}"),
               cell(run.analytic().getCavityVoltagePhase(i), kDegrees, "{:.2f}"), cell(sv, 1e-3, "{:.4f}"),
               cell(sp, kDegrees, "{:.2f}"));
  }
}

void printPerformance(std::ostream& out, const kly_TubeRun& run) {
  const kly_Analytic& a = run.analytic();
  const kly_DiskSimulation* s = run.simulation();
  auto sim = [s](auto get) -> std::optional<double> {
    if (!s) return std::nullopt;
    return get(*s);
  };
  struct Row {
    const char* label;
    std::optional<double> analytic, simulated;
    double scale;
    const char* pattern;
  };
  using S = const kly_DiskSimulation&;
  const Row rows[] = {
      {"gain [dB]", a.getGain(), sim([](S x) { return x.getSimulatedGain(); }), 1, "{:.3f}"},
      {"output power [kW]", a.getOutputPower(), sim([](S x) { return x.getSimulatedOutputPower(); }), 1e-3, "{:.4f}"},
      {"electronic efficiency [%]", std::nullopt, sim([](S x) { return x.getSimulatedElectronicEfficiency(); }), 100,
       "{:.3f}"},
      {"kinetic efficiency [%]", std::nullopt, sim([](S x) { return x.getSimulatedKineticEfficiency(); }), 100,
       "{:.3f}"},
      {"circuit efficiency [%]", std::nullopt, sim([](S x) { return x.getSimulatedCircuitEfficiency(); }), 100,
       "{:.3f}"},
      {"total efficiency [%]", std::nullopt, sim([](S x) { return x.getSimulatedTotalEfficiency(); }), 100, "{:.3f}"},
      {"all outputs: power [kW]", a.getMultipleOutputPower(),
       sim([](S x) { return x.getSimulatedMultipleOutputPower(); }), 1e-3, "{:.4f}"},
      {"all outputs: gain [dB]", a.getMultipleOutputGain(), sim([](S x) { return x.getSimulatedMultipleOutputGain(); }),
       1, "{:.3f}"},
      {"all outputs: electronic eff. [%]", a.getMultipleOutputElectronicEfficiency(),
       sim([](S x) { return x.getSimulatedMultipleOutputElectronicEfficiency(); }), 100, "{:.3f}"},
      {"all outputs: circuit eff. [%]", a.getMultipleOutputCircuitEfficiency(),
       sim([](S x) { return x.getSimulatedMultipleOutputCircuitEfficiency(); }), 100, "{:.3f}"},
      {"all outputs: total eff. [%]", a.getMultipleOutputTotalEfficiency(),
       sim([](S x) { return x.getSimulatedMultipleOutputTotalEfficiency(); }), 100, "{:.3f}"},
  };
  fmt::print(out, "\n{:<34}{:>14}{:>14}\n", "Performance", "analytic", "simulated");
  for (const Row& r : rows) {
    fmt::print(out, "  {:<32}{:>14}{:>14}\n", r.label, cell(r.analytic, r.scale, r.pattern),
               cell(r.simulated, r.scale, r.pattern));
  }
}

void printSimulation(std::ostream& out, const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  if (!s) {
    fmt::print(out, "\nAnalytic model only ({:.3f} s).\n", run.analyticSeconds());
    return;
  }
  fmt::print(out, "\nSimulation: {} disks x {} rings, {} steps per period, {} near field, {} of at most {} passes",
             s->getDisks(), s->getRings(), s->getSteps(), kly_nearFieldName(s->getNearField()),
             s->getSimulatedIterations(), s->getMaxIterations());
  if (!run.passes().empty()) fmt::print(out, ", last convergence measure {:.3g}", run.passes().back().convergence);
  fmt::print(out, "\n  {:.2f} s with {} thread{} asked for (analytic model {:.3f} s)\n", run.simulationSeconds(),
             run.threads(), run.threads() == 1 ? "" : "s", run.analyticSeconds());
  fmt::print(out, "  max I1/I0 {:.4f} at z = {:.4f} m; min v/c {:.4f} at z = {:.4f} m\n", s->getSimulatedMaxI1I0(),
             s->getSimulatedMaxI1I0ZLocation(), s->getSimulatedMinVOverC(), s->getSimulatedMinVOverCLocation());
}

void printResolution(std::ostream& out, const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
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
    fmt::print(out, "\n  {:<28}{:>16.4f}", row.label, row.here * row.scale);
    for (const kly_ResolutionRepeat& r : repeats) {
      if (!r.skipped.empty()) {
        fmt::print(out, "{:>22}", "-");
        continue;
      }
      const double v = r.*row.value * row.scale;
      fmt::print(out, "{:>22}", fmt::format("{:.4f} ({:+.4f})", v, v - row.here * row.scale));
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

std::vector<std::string> kly_Summary::warnings(const kly_TubeRun& run) {
  std::vector<std::string> w;
  const kly_Analytic& a = run.analytic();
  if (!std::isfinite(a.getGain())) {
    w.push_back(fmt::format("the analytic gain is {} (output power {} W)", a.getGain(), a.getOutputPower()));
  }
  if (const kly_DiskSimulation* s = run.simulation()) {
    if (s->isDiskReflected()) {
      w.push_back(
          "disks were turned back (reflected) in the last pass: some electrons cannot pass a gap, which a "
          "one-dimensional disk model describes only roughly; treat the simulated results with care");
    }
    if (s->isFieldOverlapping()) {
      w.push_back(
          "the gap fields of neighbouring cavities overlap: the simulation adds them, the analytic model "
          "treats the gaps as separate");
    }
    if (run.iterates() && !run.converged()) {
      const double e = run.passes().empty() ? NAN : run.passes().back().convergence;
      w.push_back(std::isnan(e) ? fmt::format("the simulation diverged (convergence measure not a number after {} "
                                              "passes)",
                                              s->getSimulatedIterations())
                                : fmt::format("the simulation did not converge in {} passes (convergence measure "
                                              "{:.3g}, wanted below {:g}); raise maxIterations",
                                              s->getSimulatedIterations(), e, kly_TubeRun::kConvergence));
    }
    for (const kly_ResolutionRepeat& r : run.resolution()) {
      if (kly_ResolutionCheck::moves(r, s->getSimulatedGain())) {
        w.push_back(fmt::format("{} moves the simulated gain by {:+.3f} dB, more than {:g} dB: the result depends on "
                                "the resolution ({} near field); raise the counts{}",
                                r.change, r.gain - s->getSimulatedGain(), kly_ResolutionCheck::kGainLimit,
                                kly_nearFieldName(s->getNearField()),
                                s->getNearField() == kly_NearField::thin ? " or use the finite near field" : ""));
      }
    }
    if (!std::isfinite(s->getSimulatedGain())) {
      w.push_back(fmt::format("the simulated gain is {} (output power {} W)", s->getSimulatedGain(),
                              s->getSimulatedOutputPower()));
    }
  }
  return w;
}

void kly_Summary::print(std::ostream& out, const kly_TubeRun& run) {
  fmt::print(out, "{}  ({})\n\n", run.tube().name, run.tube().source.string());
  printBeam(out, run);
  printCavities(out, run);
  printPerformance(out, run);
  printSimulation(out, run);
  printResolution(out, run);
  const auto w = warnings(run);
  if (!w.empty()) {
    fmt::print(out, "\nWarnings:\n");
    for (const std::string& line : w) fmt::print(out, "  - {}\n", line);
  }
}
