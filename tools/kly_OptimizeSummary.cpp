#include <cmath>

#include <fmt/format.h>

#include "tools/kly_OptimizeFiles.h"
#include "tools/kly_OptimizeReport.h"
#include "tools/kly_SweepKeys.h"
#include "tools/kly_Text.h"

namespace {

using kly_text::duration;
using kly_text::quantity;

bool has(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

std::string valueOf(const std::string& key, double v) {
  const std::string unit = kly_SweepKeys::unit(key);
  return unit.empty() ? kly_text::general(v, 6) : quantity(v, unit);
}

// The objectives and constraint results of an evaluation, in a line.
std::string results(const kly_OptimizeReport& report, std::size_t i) {
  const kly_OptimizationProblem& problem = report.setup().problem();
  const kly_PointResult& r = report.evaluations()[i].result;
  std::vector<std::string> parts;
  std::vector<std::string> names;
  for (const auto& o : problem.objectives()) names.push_back(o.result);
  for (const auto& c : problem.constraints()) {
    if (std::find(names.begin(), names.end(), c.result) == names.end()) names.push_back(c.result);
  }
  for (const std::string& n : names) {
    const double v = kly_OptimizationProblem::value(r, n);
    const bool isFlag = n == kly_OptimizationProblem::kDiskReflected || n == kly_OptimizationProblem::kFieldOverlapping;
    parts.push_back(fmt::format("{} {}", n, isFlag ? (v == 1 ? "true" : "false") : kly_OptimizeSummary::shown(n, v)));
  }
  return fmt::format("{}", fmt::join(parts, ", "));
}

}  // namespace

std::string kly_OptimizeSummary::shown(const std::string& name, double v) {
  if (std::isnan(v)) return "-";
  if (has(name, "Efficiency")) return kly_text::fixed(100 * v, 2) + " %";
  if (has(name, "Gain")) return kly_text::fixed(v, 2) + " dB";
  if (has(name, "Bandwidth") || has(name, "Frequency")) return quantity(v, "Hz");
  if (has(name, "Power") || has(name, "Loss") || has(name, "Drive")) return quantity(v, "W");
  return kly_text::general(v, 6);
}

std::string kly_OptimizeSummary::text(const kly_OptimizeReport& report) {
  const kly_OptimizeSetup& setup = report.setup();
  const kly_OptimizationProblem& problem = setup.problem();
  const kly_OptimizerSettings& s = setup.settings();
  std::string out = fmt::format("Optimisation of {} ({})\n", setup.base().name, setup.base().source.string());
  out +=
      fmt::format("  {} of a population of {}, {} generations{}, seed {}\n", s.algorithm, s.population, s.generations,
                  s.refine > 0 ? fmt::format(", then a compass search of about {} evaluations", s.refine) : "", s.seed);
  const kly_TubeDescription& start = setup.start();
  if (problem.simulate() && start.simulation) {
    const kly_SimulationSettings& sim = *start.simulation;
    out += fmt::format("  simulation: {} disks x {} rings, {} steps, at most {} passes, {} near field\n", sim.disks,
                       sim.rings, sim.steps, sim.maxIterations, kly_nearFieldName(sim.nearField));
  } else {
    out += "  analytic model only\n";
  }
  out += "Varied:\n";
  for (const auto& v : problem.variables())
    out += fmt::format("  {}: {} to {} (starting tube: {})\n", v.name, valueOf(v.name, v.lower),
                       valueOf(v.name, v.upper), std::isnan(v.start) ? "none" : valueOf(v.name, v.start));
  std::vector<std::string> objectives, constraints;
  for (const auto& o : problem.objectives()) objectives.push_back(o.text());
  for (const auto& c : problem.constraints()) constraints.push_back(c.text);
  out += fmt::format("Objectives: {}\n", fmt::join(objectives, ", "));
  out +=
      fmt::format("Constraints: {}\n", constraints.empty() ? "none" : fmt::format("{}", fmt::join(constraints, ", ")));

  const std::size_t n = report.evaluations().size();
  out += fmt::format("\nEvaluations: {} ({} feasible, {} infeasible, of which {} failed or did not converge)\n", n,
                     report.feasible(), n - report.feasible(), report.failed());
  const kly_OptimizeReport::Timing& t = report.timing();
  out += fmt::format(
      "Generations done: {} of {}{}\n", report.state().steps, s.generations,
      s.refine > 0 ? (report.state().refined ? ", and the compass search" : ", compass search not yet") : "");
  out += fmt::format("Wall time: {} on {} worker(s){}; the evaluations took {} in all\n", duration(t.wallSeconds),
                     t.workers, t.resumed ? " (this run, resumed from the checkpoint)" : "",
                     duration(report.evaluationSeconds()));
  if (t.stopped)
    out += fmt::format(
        "Stopped early: the checkpoint keeps the generations done; klystron optimize ... --resume -o {} "
        "goes on\n",
        t.folder);

  std::optional<std::size_t> startAt = report.start();
  if (startAt) {
    const kly_Assessment& a = report.assessment(*startAt);
    out +=
        fmt::format("\nStarting tube{}: {}{}\n", report.startClamped() ? " (its values brought within the bounds)" : "",
                    results(report, *startAt), a.feasible ? "" : fmt::format(" (infeasible: {})", a.reason));
  }
  if (report.front().empty()) {
    out += "\nNo evaluation met the constraints: no best tube.\n";
    // The one closest to them, where some point has results.
    std::optional<std::size_t> closest;
    for (std::size_t i = 0; i < n; ++i) {
      const kly_Assessment& a = report.assessment(i);
      if (a.violation < kly_OptimizationProblem::kMissingViolation &&
          (!closest || a.violation < report.assessment(*closest).violation))
        closest = i;
    }
    if (closest) {
      const kly_OptimizationEvaluation& c = report.evaluations()[*closest];
      out += fmt::format("Closest to the constraints: evaluation {} (generation {}): {} ({})\n", *closest, c.step,
                         results(report, *closest), report.assessment(*closest).reason);
      for (std::size_t k = 0; k < problem.variables().size(); ++k)
        out +=
            fmt::format("  {} = {}\n", problem.variables()[k].name, valueOf(problem.variables()[k].name, c.values[k]));
    }
    return out;
  }
  const std::size_t best = report.front().front();
  const kly_OptimizationEvaluation& b = report.evaluations()[best];
  out += fmt::format("Best tube: {} (evaluation {}, generation {}): {}\n", kly_OptimizeFiles::bestName(0), best, b.step,
                     results(report, best));
  if (startAt) {
    for (std::size_t j = 0; j < problem.objectives().size(); ++j) {
      const std::string& name = problem.objectives()[j].result;
      const double from = report.assessment(*startAt).objectives[j], to = report.assessment(best).objectives[j];
      if (!std::isfinite(from) || !std::isfinite(to)) continue;
      const bool percent = has(name, "Efficiency");
      out +=
          fmt::format("  {}: {} -> {} ({}{}{})\n", name, shown(name, from), shown(name, to), to - from >= 0 ? "+" : "",
                      percent ? kly_text::fixed(100 * (to - from), 2) + " points" : shown(name, to - from),
                      from > 0 && to > 0 ? fmt::format(", {} times the start", kly_text::fixed(to / from, 2)) : "");
    }
  }
  for (std::size_t k = 0; k < problem.variables().size(); ++k) {
    const auto& v = problem.variables()[k];
    out += fmt::format("  {} = {}{}\n", v.name, valueOf(v.name, b.values[k]),
                       std::isnan(v.start) ? "" : fmt::format(" (was {})", valueOf(v.name, v.start)));
  }
  out += fmt::format("{}: {} point(s) in front.csv and best/\n",
                     problem.objectives().size() > 1 ? "Front" : "Best points", report.front().size());
  return out;
}
