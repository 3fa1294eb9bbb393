#include "tools/kly_SweepSummary.h"

#include <cmath>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "tools/kly_SweepReport.h"
#include "tools/kly_Text.h"

using kly_text::duration;
using kly_text::fixed;
using kly_text::general;
using kly_text::quantity;

namespace {

std::string rangeText(const kly_Vary& v) {
  if (v.range.find(':') == std::string::npos)
    return fmt::format("{} value{}: {}", v.values.size(), v.values.size() == 1 ? "" : "s", v.range);
  const std::string unit = kly_SweepKeys::unit(v.key.text);
  const auto show = [&unit](double x) { return unit.empty() ? general(x) : quantity(x, unit); };
  return fmt::format("{} values from {} to {}{}", v.values.size(), show(v.values.front()), show(v.values.back()),
                     v.log ? ", evenly spaced in the logarithm" : "");
}

double dBm(double watts) { return 10 * std::log10(watts / 1e-3); }

// Whether a drive is the highest of the sweep.
bool upperEnd(const kly_SweepReport& report, double drive) {
  for (double d : report.axisValues(0)) {
    if (d > drive) return false;
  }
  return true;
}

void printTransfer(std::ostream& out, const kly_SweepReport& report, bool sim) {
  const auto& t = report.transfer(sim);
  if (!t) return;
  const char* model = sim ? "simulated" : "analytic small-signal model";
  fmt::print(out, "\nTransfer curve ({})\n", model);
  const kly_Saturation& s = t->saturation;
  const kly_Compression& c = t->compression;
  if (!sim && !c.found && (!s.found || s.atEnd)) {
    fmt::print(out, "  the analytic model is linear: its output grows with the drive without saturating\n");
    return;
  }
  if (s.found) {
    const std::string eff =
        std::isfinite(s.efficiency) ? fmt::format(", electronic efficiency {} %", fixed(100 * s.efficiency, 2)) : "";
    if (!s.atEnd) {
      fmt::print(out, "  saturation        {} output at {} drive ({} dBm): gain {} dB{}\n",
                 quantity(s.outputPower, "W"), quantity(s.drive, "W"), fixed(dBm(s.drive), 2), fixed(s.gain, 2), eff);
    } else {
      fmt::print(out,
                 "  saturation        not within the range: the largest output, {} at {} drive, is at its {} end\n",
                 quantity(s.outputPower, "W"), quantity(s.drive, "W"), upperEnd(report, s.drive) ? "upper" : "lower");
    }
  }
  if (c.found) {
    fmt::print(out, "  1 dB compression  {} drive ({} dBm), {} output; small-signal gain {} dB (at the lowest drive)\n",
               quantity(c.drive, "W"), fixed(dBm(c.drive), 2), quantity(c.outputPower, "W"),
               fixed(c.smallSignalGain, 2));
  } else if (c.measured) {
    fmt::print(out, "  1 dB compression  not within the range (small-signal gain {} dB at the lowest drive)\n",
               fixed(c.smallSignalGain, 2));
  } else {
    fmt::print(out, "  1 dB compression  no point has an output power above 0\n");
  }
}

std::string bandText(const kly_Band& b) {
  if (!b.found) return "-";
  std::string text = fmt::format("{} to {} ({}{})", quantity(b.lower, "Hz"), quantity(b.upper, "Hz"),
                                 b.lowerOpen || b.upperOpen ? "at least " : "", quantity(b.width(), "Hz"));
  if (b.lowerOpen || b.upperOpen)
    text +=
        fmt::format("; the band reaches the {} swept, so it extends beyond", b.lowerOpen && b.upperOpen ? "both ends"
                                                                             : b.lowerOpen ? "lowest frequency"
                                                                                           : "highest frequency");
  return text;
}

void printBands(std::ostream& out, const kly_SweepReport& report, bool sim) {
  const auto& r = report.response(sim);
  if (!r) return;
  fmt::print(out, "\nBandwidth ({}): largest gain {} dB at {}\n", sim ? "simulated" : "analytic small-signal model",
             fixed(r->band1.peakGain, 3), quantity(r->band1.peakFrequency, "Hz"));
  fmt::print(out, "  -1 dB  {}\n", bandText(r->band1));
  fmt::print(out, "  -3 dB  {}\n", bandText(r->band3));
}

void printBest(std::ostream& out, const kly_SweepReport& report) {
  if (report.best().empty()) return;
  fmt::print(out, "\nBest points\n");
  const kly_SweepSetup& setup = report.setup();
  for (const auto& b : report.best()) {
    const bool efficiency = b.result.find("Efficiency") != std::string::npos;
    const auto& p = setup.plan.points[b.point];
    fmt::print(out, "  largest {}: {} at point {}, {} = {}, {} = {}\n", b.result,
               efficiency ? fixed(100 * b.value, 3) + " %" : fixed(b.value, 3) + " dB", b.point, setup.vary[0].key.text,
               general(p.values[0], 8), setup.vary[1].key.text, general(p.values[1], 8));
  }
}

void printTable(std::ostream& out, const kly_SweepReport& report) {
  const kly_SweepSetup& setup = report.setup();
  const bool sim = report.simulated();
  std::vector<std::string> header = {"point"};
  for (const kly_Vary& v : setup.vary) header.push_back(v.key.text);
  header.push_back("status");
  header.push_back("analytic gain [dB]");
  if (sim) header.push_back("simulated gain [dB]");
  header.push_back(sim ? "output power [kW]" : "analytic output [kW]");
  header.push_back(sim ? "electronic eff. [%]" : "all-outputs eff. [%]");
  std::vector<std::vector<std::string>> rows;
  std::size_t shown = 0, hidden = 0;
  for (std::size_t i = 0; i < report.results().size(); ++i) {
    const auto& r = report.results()[i];
    if (!r) continue;
    if (shown == kly_SweepSummary::kMaxRows) {
      ++hidden;
      continue;
    }
    ++shown;
    const auto at = [&r](const char* name) {
      const double* v = r->find(name);
      return v ? *v : NAN;
    };
    std::vector<std::string> row = {std::to_string(i)};
    for (double v : setup.plan.points[i].values) row.push_back(general(v, 6));
    row.push_back(r->status == kly_PointStatus::failed ? "failed" : kly_pointStatusName(r->status));
    row.push_back(fixed(at("analyticGain"), 3));
    if (sim) row.push_back(fixed(at("simulatedGain"), 3));
    row.push_back(fixed(at(kly_SweepReport::outputPowerName(sim)) / 1e3, 3));
    row.push_back(fixed(100 * at(kly_SweepReport::efficiencyName(sim)), 3));
    rows.push_back(std::move(row));
  }
  if (rows.empty()) return;
  std::vector<std::size_t> width(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) {
    width[c] = header[c].size();
    for (const auto& row : rows) width[c] = std::max(width[c], row[c].size());
  }
  fmt::print(out, "\nPoints\n");
  const auto line = [&](const std::vector<std::string>& cells) {
    std::string text = " ";
    for (std::size_t c = 0; c < cells.size(); ++c) text += fmt::format(" {:>{}}", cells[c], width[c]);
    fmt::print(out, "{}\n", text);
  };
  line(header);
  for (const auto& row : rows) line(row);
  if (hidden > 0) fmt::print(out, "  ... and {} more points in sweep.csv\n", hidden);
}

void printFailures(std::ostream& out, const kly_SweepReport& report) {
  const kly_SweepSetup& setup = report.setup();
  bool first = true;
  for (std::size_t i = 0; i < report.results().size(); ++i) {
    const auto& r = report.results()[i];
    if (!r || r->status != kly_PointStatus::failed) continue;
    if (first) fmt::print(out, "\nFailed points\n");
    first = false;
    std::vector<std::string> values;
    for (std::size_t a = 0; a < setup.vary.size(); ++a)
      values.push_back(fmt::format("{} = {}", setup.vary[a].key.text, general(setup.plan.points[i].values[a], 8)));
    fmt::print(out, "  point {} ({}): {}\n", i, fmt::join(values, ", "), r->message);
  }
}

}  // namespace

void kly_SweepSummary::print(std::ostream& out, const kly_SweepReport& report) {
  const kly_SweepSetup& setup = report.setup();
  fmt::print(out, "Sweep of {}  ({})\n", setup.base.name, setup.base.source.string());
  for (const kly_Vary& v : setup.vary) fmt::print(out, "  {}: {}\n", v.key.text, rangeText(v));
  const bool described = setup.base.description.simulation.has_value();
  fmt::print(out, "  {}\n",
             !described             ? "analytic model only (the tube has no simulation section)"
             : !setup.plan.simulate ? "analytic model only (--no-sim)"
                                    : "analytic model and disk simulation, each point's simulation on one thread");

  const std::size_t total = setup.plan.points.size(), missing = report.missing();
  fmt::print(out, "\n{} of {} points ran: {} ok, {} not converged, {} failed\n", total - missing, total,
             report.count(kly_PointStatus::ok), report.count(kly_PointStatus::notConverged),
             report.count(kly_PointStatus::failed));
  if (missing > 0) fmt::print(out, "  {} points did not run (interrupted): --resume runs them\n", missing);
  const kly_SweepReport::Timing& t = report.timing();
  if (t.resumed > 0) fmt::print(out, "  {} points were taken from the journal of an earlier run\n", t.resumed);
  fmt::print(out, "  {} on {} worker{}; the points took {} together\n", duration(t.wallSeconds), t.workers,
             t.workers == 1 ? "" : "s", duration(report.pointSeconds()));
  if (const std::size_t n = report.count(kly_PointStatus::notConverged);
      n > 0 && report.kind() != kly_SweepReport::Kind::single)
    fmt::print(out,
               "  the {} point{} that did not converge {} left out of the simulated figures (raise "
               "simulation.maxIterations or --max-passes)\n",
               n, n == 1 ? "" : "s", n == 1 ? "is" : "are");

  for (bool sim : {true, false}) {
    printTransfer(out, report, sim);
    printBands(out, report, sim);
  }
  printBest(out, report);
  printTable(out, report);
  printFailures(out, report);
}
