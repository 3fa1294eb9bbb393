#include "tools/kly_SweepPlots.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "tools/kly_SvgHeatMap.h"
#include "tools/kly_SvgPlot.h"
#include "tools/kly_SweepReport.h"
#include "tools/kly_Text.h"

namespace {

using Style = kly_SvgPlot::Style;
using Scale = kly_SvgPlot::Scale;
using kly_text::quantity;

std::vector<double> scaled(std::vector<double> v, double factor) {
  for (double& x : v) x *= factor;
  return v;
}

bool varies(const std::vector<double>& v) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (double x : v) {
    if (!std::isfinite(x)) continue;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  }
  // Differences in the last bits (rounding) are no variation.
  return hi - lo > 1e-12 * std::max(std::fabs(lo), std::fabs(hi));
}

// The unit of a key of the tube file, for an axis label.
std::string unitOf(const std::string& key) {
  const std::string unit = kly_SweepKeys::unit(key);
  return unit.empty() ? "" : " [" + unit + "]";
}

// One series per model: the analytic one dashed, the simulated one solid.
void addModels(kly_SvgPlot& plot, const std::vector<double>& x, const kly_SweepReport& report, const char* analytic,
               const char* simulated, double factor, const std::string& what, bool rightAxis = false, int color = -1) {
  const std::vector<double> a = scaled(report.series(analytic), factor);
  if (std::any_of(a.begin(), a.end(), [](double v) { return std::isfinite(v); }))
    plot.addSeries(fmt::format("analytic {}", what), x, a, {Style::Dashed, true, color, rightAxis});
  if (!report.simulated()) return;
  const std::vector<double> s = scaled(report.series(simulated, true), factor);
  plot.addSeries(fmt::format("simulated {}", what), x, s, {Style::Line, true, color < 0 ? -1 : color + 1, rightAxis});
  plot.addSeries(fmt::format("simulated {} points", what), x, s,
                 {Style::Markers, false, color < 0 ? -1 : color + 1, rightAxis});
}

std::string subtitle(const kly_SweepReport& report) {
  return fmt::format("{}: {} points", report.setup().base.name, report.setup().plan.points.size());
}

kly_SvgPlot transferCurve(const kly_SweepReport& report) {
  const std::vector<double> drive = report.axisValues(0);
  kly_SvgPlot plot("Transfer curve", "drive power [W]", "output power [W]");
  plot.setSubtitle(subtitle(report));
  plot.setXScale(Scale::Log);
  plot.setYScale(Scale::Log);
  plot.addSeries("analytic (small signal)", drive, report.series("analyticOutputPower"), {Style::Dashed, true, 0});
  if (report.simulated()) {
    const std::vector<double> p = report.series("simulatedOutputPower", true);
    plot.addSeries("simulated", drive, p, {Style::Line, true, 1});
    plot.addSeries("simulated points", drive, p, {Style::Markers, false, 1});
  }
  const auto& t = report.transfer(report.simulated());
  if (t && t->saturation.found) {
    const kly_Saturation& s = t->saturation;
    plot.addSeries(fmt::format("{}: {} at {} drive", s.atEnd ? "largest output" : "saturation",
                               quantity(s.outputPower, "W"), quantity(s.drive, "W")),
                   {s.drive}, {s.outputPower}, {Style::Markers, true, 2});
    plot.addMarker(s.drive, s.atEnd ? "largest" : "saturation");
  }
  if (t && t->compression.found) {
    const kly_Compression& c = t->compression;
    plot.addSeries(
        fmt::format("1 dB compression: {} at {} drive", quantity(c.outputPower, "W"), quantity(c.drive, "W")),
        {c.drive}, {c.outputPower}, {Style::Markers, true, 3});
    plot.addMarker(c.drive, "1 dB");
  }
  return plot;
}

kly_SvgPlot driveGainEfficiency(const kly_SweepReport& report) {
  const std::vector<double> drive = report.axisValues(0);
  kly_SvgPlot plot("Gain and electronic efficiency against drive", "drive power [W]", "gain [dB]");
  plot.setSubtitle(subtitle(report));
  plot.setXScale(Scale::Log);
  plot.setRightAxis("electronic efficiency [%]");
  addModels(plot, drive, report, "analyticGain", "simulatedGain", 1, "gain", false, 0);
  const bool sim = report.simulated();
  plot.addSeries(fmt::format("{} electronic efficiency (right)", sim ? "simulated" : "analytic, all outputs:"), drive,
                 scaled(report.series(kly_SweepReport::efficiencyName(sim), sim), 100), {Style::Line, true, 2, true});
  if (const auto& t = report.transfer(sim); t && t->saturation.found && !t->saturation.atEnd)
    plot.addMarker(t->saturation.drive, "saturation");
  return plot;
}

kly_SvgPlot frequencyResponse(const kly_SweepReport& report) {
  const std::vector<double> f = scaled(report.axisValues(0), 1e-9);
  kly_SvgPlot plot("Frequency response", "drive frequency [GHz]", "gain [dB]");
  plot.setSubtitle(subtitle(report));
  plot.setRightAxis("output power [kW]");
  addModels(plot, f, report, "analyticGain", "simulatedGain", 1, "gain", false, 0);
  const bool sim = report.simulated();
  plot.addSeries(fmt::format("{} output power (right)", sim ? "simulated" : "analytic"), f,
                 scaled(report.series(kly_SweepReport::outputPowerName(sim), sim), 1e-3), {Style::Line, true, 3, true});
  // The bands of the simulated response where it ran, else the analytic one's;
  // with both, the analytic -3 dB edges as markers.
  if (const auto& r = report.response(sim)) {
    const char* model = sim ? "simulated" : "analytic";
    for (const kly_Band* b : {&r->band3, &r->band1}) {
      if (b->found)
        plot.addBand(kly_SvgPlot::Axis::X, b->lower * 1e-9, b->upper * 1e-9,
                     fmt::format("{} -{:g} dB: {}", model, b->drop, quantity(b->width(), "Hz")));
    }
  }
  if (sim) {
    if (const auto& r = report.response(false); r && r->band3.found) {
      plot.addMarker(r->band3.lower * 1e-9, "analytic -3 dB");
      plot.addMarker(r->band3.upper * 1e-9, "analytic -3 dB");
    }
  }
  return plot;
}

struct Family {
  const char* file;
  const char* title;
  const char* unit;
  double factor;
  bool (*member)(const std::string&);
};

bool isGain(const std::string& n) { return n.size() > 4 && n.compare(n.size() - 4, 4, "Gain") == 0; }
bool isPower(const std::string& n) { return n.find("OutputPower") != std::string::npos; }
bool isEfficiency(const std::string& n) { return n.find("Efficiency") != std::string::npos; }
bool isBunching(const std::string& n) { return n == "simulatedMaxI1I0" || n == "simulatedMinVOverC"; }

constexpr Family kFamilies[] = {
    {"sweep-gains.svg", "Gains", "gain [dB]", 1, isGain},
    {"sweep-powers.svg", "Output powers", "output power [kW]", 1e-3, isPower},
    {"sweep-efficiencies.svg", "Efficiencies", "efficiency [%]", 100, isEfficiency},
    {"sweep-bunching.svg", "Bunching", "I1/I0, v/c", 1, isBunching},
};

std::vector<std::pair<std::string, std::string>> families(const kly_SweepReport& report) {
  const kly_Vary& v = report.setup().vary[0];
  const std::vector<double> x = report.axisValues(0);
  std::vector<std::pair<std::string, std::string>> out;
  for (const Family& family : kFamilies) {
    kly_SvgPlot plot(fmt::format("{} against {}", family.title, v.key.text), v.key.text + unitOf(v.key.text),
                     family.unit);
    plot.setSubtitle(subtitle(report));
    if (v.log) plot.setXScale(Scale::Log);
    bool any = false;
    for (const std::string& name : report.scalarNames()) {
      if (!family.member(name)) continue;
      const bool simulated = name.rfind("simulated", 0) == 0 || name == "analyticCircuitEfficiency";
      const std::vector<double> y = scaled(report.series(name, simulated), family.factor);
      if (!varies(y)) continue;
      plot.addSeries(name, x, y, {simulated ? Style::Line : Style::Dashed, true, -1});
      any = true;
    }
    if (any) out.emplace_back(family.file, plot.render());
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> heatMaps(const kly_SweepReport& report) {
  const kly_SweepSetup& setup = report.setup();
  const kly_Vary &vx = setup.vary[0], &vy = setup.vary[1];
  const std::size_t nx = vx.values.size(), ny = vy.values.size();
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& best : report.best()) {
    const bool efficiency = best.result.find("Efficiency") != std::string::npos;
    const double factor = efficiency ? 100 : 1;
    const std::vector<double> v = report.series(best.result, best.result.rfind("simulated", 0) == 0);
    std::vector<std::vector<double>> grid(ny, std::vector<double>(nx));
    for (std::size_t i = 0; i < nx; ++i) {
      for (std::size_t j = 0; j < ny; ++j) grid[j][i] = v[i * ny + j] * factor;
    }
    kly_SvgHeatMap map(fmt::format("{} over {} and {}", best.result, vx.key.text, vy.key.text),
                       vx.key.text + unitOf(vx.key.text), vy.key.text + unitOf(vy.key.text),
                       efficiency ? best.result + " [%]" : best.result + " [dB]");
    map.setSubtitle(subtitle(report));
    map.setGrid(vx.values, vy.values, std::move(grid));
    const std::size_t i = best.point / ny, j = best.point % ny;
    map.mark(i, j,
             fmt::format("best: {} at {}, {}", kly_text::general(best.value * factor, 4),
                         kly_text::general(vx.values[i], 6), kly_text::general(vy.values[j], 6)));
    out.emplace_back(efficiency ? "heatmap-efficiency.svg" : "heatmap-gain.svg", map.render());
  }
  return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> kly_SweepPlots::all(const kly_SweepReport& report) {
  switch (report.kind()) {
    case kly_SweepReport::Kind::drive:
      return {{"transfer-curve.svg", transferCurve(report).render()},
              {"drive-gain-efficiency.svg", driveGainEfficiency(report).render()}};
    case kly_SweepReport::Kind::frequency:
      return {{"frequency-response.svg", frequencyResponse(report).render()}};
    case kly_SweepReport::Kind::single:
      return families(report);
    case kly_SweepReport::Kind::grid:
      return heatMaps(report);
  }
  return {};
}

const std::vector<std::string>& kly_SweepPlots::allNames() {
  static const std::vector<std::string> names = {
      "transfer-curve.svg", "drive-gain-efficiency.svg", "frequency-response.svg",
      "sweep-gains.svg",    "sweep-powers.svg",          "sweep-efficiencies.svg",
      "sweep-bunching.svg", "heatmap-efficiency.svg",    "heatmap-gain.svg"};
  return names;
}
