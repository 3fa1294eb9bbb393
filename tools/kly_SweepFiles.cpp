#include "tools/kly_SweepFiles.h"

#include <cmath>

#include <fmt/format.h>

#include "tools/kly_CsvWriter.h"
#include "tools/kly_SweepPlots.h"
#include "tools/kly_SweepReport.h"

using nlohmann::ordered_json;

namespace {

ordered_json value(double x) { return std::isfinite(x) ? ordered_json(x) : ordered_json(nullptr); }

const char* flag(bool b) { return b ? "true" : "false"; }

ordered_json saturationJson(const kly_Saturation& s) {
  if (!s.found) return nullptr;
  return ordered_json{{"drive", value(s.drive)},
                      {"outputPower", value(s.outputPower)},
                      {"gain", value(s.gain)},
                      {"electronicEfficiency", value(s.efficiency)},
                      {"atRangeEnd", s.atEnd}};
}

ordered_json compressionJson(const kly_Compression& c) {
  return ordered_json{{"found", c.found},
                      {"smallSignalGain", value(c.smallSignalGain)},
                      {"drive", c.found ? value(c.drive) : ordered_json(nullptr)},
                      {"outputPower", c.found ? value(c.outputPower) : ordered_json(nullptr)}};
}

ordered_json bandJson(const kly_Band& b) {
  if (!b.found) return nullptr;
  return ordered_json{{"peakGain", value(b.peakGain)}, {"peakFrequency", value(b.peakFrequency)},
                      {"lower", value(b.lower)},       {"upper", value(b.upper)},
                      {"width", value(b.width())},     {"lowerOpen", b.lowerOpen},
                      {"upperOpen", b.upperOpen}};
}

ordered_json analysis(const kly_SweepReport& report) {
  ordered_json out = ordered_json::object();
  const char* models[] = {"analytic", "simulated"};
  switch (report.kind()) {
    case kly_SweepReport::Kind::drive: {
      ordered_json t = ordered_json::object();
      for (bool sim : {false, true}) {
        if (const auto& tr = report.transfer(sim))
          t[models[sim]] = ordered_json{{"saturation", saturationJson(tr->saturation)},
                                        {"compression1dB", compressionJson(tr->compression)}};
      }
      out["transferCurve"] = std::move(t);
      break;
    }
    case kly_SweepReport::Kind::frequency: {
      ordered_json b = ordered_json::object();
      for (bool sim : {false, true}) {
        if (const auto& r = report.response(sim))
          b[models[sim]] = ordered_json{{"-1dB", bandJson(r->band1)}, {"-3dB", bandJson(r->band3)}};
      }
      out["bandwidth"] = std::move(b);
      break;
    }
    case kly_SweepReport::Kind::grid: {
      ordered_json best = ordered_json::array();
      for (const auto& b : report.best()) {
        ordered_json j{{"result", b.result}, {"value", value(b.value)}, {"point", b.point}};
        const auto& point = report.setup().plan.points[b.point];
        for (std::size_t a = 0; a < report.setup().vary.size(); ++a)
          j[report.setup().vary[a].key.text] = point.values[a];
        best.push_back(std::move(j));
      }
      out["best"] = std::move(best);
      break;
    }
    case kly_SweepReport::Kind::single:
      break;
  }
  return out;
}

}  // namespace

std::string kly_SweepFiles::csv(const kly_SweepReport& report) {
  const kly_SweepSetup& setup = report.setup();
  std::vector<std::string> header = {"point"};
  for (const kly_Vary& v : setup.vary) header.push_back(kly_CsvWriter::field(v.key.text));
  for (const char* c : {"status", "simulatedIterations", "diskReflected", "fieldOverlapping", "seconds", "tubeHash"})
    header.push_back(c);
  for (const std::string& n : report.scalarNames()) header.push_back(n);
  std::string out = fmt::format("{}\n", fmt::join(header, ","));
  for (std::size_t i = 0; i < report.results().size(); ++i) {
    const auto& r = report.results()[i];
    if (!r) continue;
    const kly_SweepPoint& p = setup.plan.points[i];
    std::vector<std::string> row = {std::to_string(i)};
    for (double v : p.values) row.push_back(fmt::format("{}", v));
    row.push_back(kly_CsvWriter::field(r->statusText()));
    row.push_back(r->simulated ? std::to_string(r->passes) : "");
    row.push_back(r->simulated ? flag(r->diskReflected) : "");
    row.push_back(r->simulated ? flag(r->fieldOverlapping) : "");
    row.push_back(fmt::format("{}", r->seconds));
    row.push_back(p.hash);
    for (const std::string& n : report.scalarNames()) {
      const double* v = r->find(n);
      row.push_back(v ? fmt::format("{}", *v) : "");
    }
    out += fmt::format("{}\n", fmt::join(row, ","));
  }
  return out;
}

ordered_json kly_SweepFiles::json(const kly_SweepReport& report) {
  const kly_SweepSetup& setup = report.setup();
  ordered_json out = ordered_json::object();
  out["tube"] = setup.base.name;
  out["source"] = setup.base.source.string();
  out["simulate"] = setup.plan.simulate;
  ordered_json parameters = ordered_json::array();
  for (const kly_Vary& v : setup.vary) {
    ordered_json values = ordered_json::array();
    for (double x : v.values) values.push_back(x);
    parameters.push_back(ordered_json{{"key", v.key.text}, {"range", v.range}, {"values", std::move(values)}});
  }
  out["parameters"] = std::move(parameters);
  ordered_json points = ordered_json::array();
  for (std::size_t i = 0; i < report.results().size(); ++i) {
    const auto& r = report.results()[i];
    if (!r) continue;
    const kly_SweepPoint& p = setup.plan.points[i];
    ordered_json j = ordered_json::object();
    j["point"] = i;
    for (std::size_t a = 0; a < setup.vary.size(); ++a) j[setup.vary[a].key.text] = p.values[a];
    j["status"] = r->statusText();
    j["simulatedIterations"] = r->simulated ? ordered_json(r->passes) : ordered_json(nullptr);
    j["diskReflected"] = r->simulated ? ordered_json(r->diskReflected) : ordered_json(nullptr);
    j["fieldOverlapping"] = r->simulated ? ordered_json(r->fieldOverlapping) : ordered_json(nullptr);
    j["seconds"] = r->seconds;
    j["tubeHash"] = p.hash.empty() ? ordered_json(nullptr) : ordered_json(p.hash);
    for (const auto& [name, v] : r->scalars) j[name] = value(v);
    ordered_json cavities = ordered_json::object();
    for (const auto& [name, values] : r->cavityArrays) {
      ordered_json a = ordered_json::array();
      for (double v : values) a.push_back(value(v));
      cavities[name] = std::move(a);
    }
    j["perCavity"] = std::move(cavities);
    points.push_back(std::move(j));
  }
  out["points"] = std::move(points);
  out["analysis"] = analysis(report);
  return out;
}

kly_OutputFolder kly_SweepFiles::collect(const kly_SweepReport& report, const std::filesystem::path& folder,
                                         const std::string& summary) {
  kly_OutputFolder out(folder);
  out.add("sweep.csv", csv(report));
  out.add("sweep.json", json(report).dump(2) + "\n");
  out.add("summary.txt", summary);
  for (auto& [name, svg] : kly_SweepPlots::all(report)) out.add(name, std::move(svg));
  return out;
}

const std::vector<std::string>& kly_SweepFiles::allNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n = {"sweep.csv", "sweep.json", "summary.txt"};
    for (const std::string& p : kly_SweepPlots::allNames()) n.push_back(p);
    return n;
  }();
  return names;
}
