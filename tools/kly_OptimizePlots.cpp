#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "tools/kly_OptimizeFiles.h"
#include "tools/kly_OptimizeReport.h"
#include "tools/kly_SvgPlot.h"
#include "tools/kly_SweepKeys.h"

namespace {

using Style = kly_SvgPlot::Style;

// A result as the plots show it: efficiencies in %, frequencies in MHz.
struct Shown {
  double factor = 1;
  std::string label;
};
Shown shownAs(const std::string& name) {
  if (name.find("Efficiency") != std::string::npos) return {100, name + " [%]"};
  if (name.find("Bandwidth") != std::string::npos) return {1e-6, name + " [MHz]"};
  if (name.find("Gain") != std::string::npos) return {1, name + " [dB]"};
  if (name.find("Power") != std::string::npos) return {1e-3, name + " [kW]"};
  return {1, name};
}

std::string subtitle(const kly_OptimizeReport& report) {
  return fmt::format("{}: {} evaluations, {} feasible", report.setup().base().name, report.evaluations().size(),
                     report.feasible());
}

std::string frontPlot(const kly_OptimizeReport& report) {
  const auto& objectives = report.setup().problem().objectives();
  const Shown sx = shownAs(objectives[0].result), sy = shownAs(objectives[1].result);
  kly_SvgPlot plot("Front of the optimisation", sx.label, sy.label);
  plot.setSubtitle(subtitle(report));
  std::vector<double> ax, ay, fx, fy;
  for (std::size_t i = 0; i < report.evaluations().size(); ++i) {
    const kly_Assessment& a = report.assessment(i);
    if (!a.feasible) continue;
    ax.push_back(a.objectives[0] * sx.factor);
    ay.push_back(a.objectives[1] * sy.factor);
  }
  for (std::size_t i : report.front()) {
    fx.push_back(report.assessment(i).objectives[0] * sx.factor);
    fy.push_back(report.assessment(i).objectives[1] * sy.factor);
  }
  plot.addSeries("feasible evaluations", ax, ay, {Style::Markers, true, 7});
  plot.addSeries("front", fx, fy, {Style::Line, true, 0});
  plot.addSeries("front points", fx, fy, {Style::Markers, false, 0});
  if (report.start()) {
    const kly_Assessment& a = report.assessment(*report.start());
    plot.addSeries(a.feasible ? "starting tube" : "starting tube (infeasible: " + a.reason + ")",
                   {a.objectives[0] * sx.factor}, {a.objectives[1] * sy.factor}, {Style::Markers, true, 3});
  }
  return plot.render();
}

std::string progressPlot(const kly_OptimizeReport& report) {
  const auto& objectives = report.setup().problem().objectives();
  const Shown s0 = shownAs(objectives[0].result);
  kly_SvgPlot plot("Best value per generation", "generation", s0.label);
  plot.setSubtitle(subtitle(report));
  std::vector<double> steps;
  for (unsigned s = 0; s < report.stepsDone(); ++s) steps.push_back(s);
  const std::size_t shown = std::min<std::size_t>(objectives.size(), 2);
  if (shown == 2) plot.setRightAxis(shownAs(objectives[1].result).label);
  for (std::size_t j = 0; j < shown; ++j) {
    const Shown sj = shownAs(objectives[j].result);
    std::vector<double> of = report.bestOfStep(j), upTo = report.bestUpToStep(j);
    for (double& v : of) v *= sj.factor;
    for (double& v : upTo) v *= sj.factor;
    const int color = static_cast<int>(2 * j);
    plot.addSeries(objectives[j].text() + ", best so far", steps, upTo, {Style::Line, true, color, j == 1});
    plot.addSeries(objectives[j].text() + ", best of the generation", steps, of,
                   {Style::Markers, true, color + 1, j == 1});
  }
  if (report.setup().settings().refine > 0)
    plot.addNote(fmt::format("generation {} is the compass search from the best point",
                             report.setup().settings().generations + 1));
  return plot.render();
}

std::string parametersPlot(const kly_OptimizeReport& report) {
  const auto& variables = report.setup().problem().variables();
  kly_SvgPlot plot("Parameters over the front", "position within the bounds (0: LOW, 1: HIGH)", "parameter");
  plot.setSubtitle(fmt::format("{} points of the front", report.front().size()));
  plot.setXRange(0, 1);
  const double n = static_cast<double>(variables.size());
  plot.setYRange(-0.75, n - 0.25);
  std::vector<kly_SvgPlot::Tick> ticks;
  std::vector<double> bestX, bestY, startX, startY;
  for (std::size_t k = 0; k < variables.size(); ++k) {
    const kly_OptimizationVariable& v = variables[k];
    const double y = n - 1 - static_cast<double>(k);
    const std::string unit = kly_SweepKeys::unit(v.name);
    ticks.push_back({y, std::to_string(k + 1)});
    auto at = [&v](double x) { return (x - v.lower) / (v.upper - v.lower); };
    double lo = 2, hi = -1;
    for (std::size_t i : report.front()) {
      const double p = at(report.evaluations()[i].values[k]);
      lo = std::min(lo, p);
      hi = std::max(hi, p);
    }
    if (!report.front().empty()) {
      auto shown = [&v, &unit](double p) {
        const double x = p * (v.upper - v.lower) + v.lower;
        if (unit == "Hz") return fmt::format("{:.5f} GHz", x * 1e-9);
        if (unit == "m") return fmt::format("{:.2f} mm", x * 1e3);
        return fmt::format("{:.6g}{}", x, unit.empty() ? "" : " " + unit);
      };
      plot.addHorizontalBar(fmt::format("{}: {}: {} to {}", k + 1, v.name, shown(lo), shown(hi)), y, lo,
                            std::max(hi, lo + 0.004), 0.5, static_cast<int>(k % 8));
      bestX.push_back(at(report.evaluations()[report.front().front()].values[k]));
      bestY.push_back(y);
    }
    if (!std::isnan(v.start)) {
      startX.push_back(std::clamp(at(v.start), 0.0, 1.0));
      startY.push_back(y);
    }
  }
  plot.setYTicks(ticks);
  if (!bestX.empty()) plot.addSeries("best point (best/00.json)", bestX, bestY, {Style::Markers, true, 0});
  if (!startX.empty()) plot.addSeries("starting tube", startX, startY, {Style::Markers, true, 3});
  return plot.render();
}

}  // namespace

std::map<std::string, std::string> kly_OptimizePlots::all(const kly_OptimizeReport& report) {
  std::map<std::string, std::string> out;
  if (report.evaluations().empty()) return out;
  if (report.setup().problem().objectives().size() >= 2) out["front.svg"] = frontPlot(report);
  out["progress.svg"] = progressPlot(report);
  out["parameters.svg"] = parametersPlot(report);
  return out;
}

const std::vector<std::string>& kly_OptimizePlots::allNames() {
  static const std::vector<std::string> names = {"front.svg", "progress.svg", "parameters.svg"};
  return names;
}
