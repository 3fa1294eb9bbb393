#include "tools/kly_OptimizeFiles.h"

#include <cmath>

#include <fmt/format.h>

#include "tools/kly_CsvWriter.h"
#include "tools/kly_OptimizeReport.h"

namespace {

const char* flag(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string kly_OptimizeFiles::bestName(std::size_t i) { return fmt::format("best/{:02}.json", i); }

std::string kly_OptimizeFiles::history(const kly_OptimizeReport& report) {
  const auto& variables = report.setup().problem().variables();
  std::vector<std::string> header = {"evaluation", "generation", "index", "feasible", "status", "infeasible"};
  for (const auto& v : variables) header.push_back(kly_CsvWriter::field(v.name));
  for (const char* c : {"simulatedIterations", "diskReflected", "fieldOverlapping", "seconds"}) header.push_back(c);
  for (const std::string& n : report.scalarNames()) header.push_back(n);
  std::string out = fmt::format("{}\n", fmt::join(header, ","));
  for (std::size_t i = 0; i < report.evaluations().size(); ++i) {
    const kly_OptimizationEvaluation& e = report.evaluations()[i];
    const kly_Assessment& a = report.assessment(i);
    const kly_PointResult& r = e.result;
    std::vector<std::string> row = {std::to_string(i),
                                    std::to_string(e.step),
                                    std::to_string(e.index),
                                    flag(a.feasible),
                                    kly_CsvWriter::field(r.statusText()),
                                    kly_CsvWriter::field(a.reason)};
    for (double v : e.values) row.push_back(fmt::format("{}", v));
    row.push_back(r.simulated ? std::to_string(r.passes) : "");
    row.push_back(r.simulated ? flag(r.diskReflected) : "");
    row.push_back(r.simulated ? flag(r.fieldOverlapping) : "");
    row.push_back(fmt::format("{}", r.seconds));
    for (const std::string& n : report.scalarNames()) {
      const double* v = r.find(n);
      row.push_back(v ? fmt::format("{}", *v) : "");
    }
    out += fmt::format("{}\n", fmt::join(row, ","));
  }
  return out;
}

std::string kly_OptimizeFiles::front(const kly_OptimizeReport& report) {
  const kly_OptimizationProblem& problem = report.setup().problem();
  std::vector<std::string> header = {"rank", "evaluation", "generation", "tube"};
  for (const auto& o : problem.objectives()) header.push_back(o.result);
  for (const auto& v : problem.variables()) header.push_back(kly_CsvWriter::field(v.name));
  std::string out = fmt::format("{}\n", fmt::join(header, ","));
  for (std::size_t k = 0; k < report.front().size(); ++k) {
    const std::size_t i = report.front()[k];
    const kly_OptimizationEvaluation& e = report.evaluations()[i];
    std::vector<std::string> row = {std::to_string(k), std::to_string(i), std::to_string(e.step), bestName(k)};
    for (double v : report.assessment(i).objectives) row.push_back(fmt::format("{}", v));
    for (double v : e.values) row.push_back(fmt::format("{}", v));
    out += fmt::format("{}\n", fmt::join(row, ","));
  }
  return out;
}

kly_OutputFolder kly_OptimizeFiles::collect(const kly_OptimizeReport& report, const std::filesystem::path& folder,
                                            const std::string& summary) {
  kly_OutputFolder out(folder);
  out.add("history.csv", history(report));
  out.add("front.csv", front(report));
  out.add("summary.txt", summary);
  for (std::size_t k = 0; k < report.front().size(); ++k)
    out.add(bestName(k), report.setup().tubeFile(report.evaluations()[report.front()[k]].values));
  for (auto& [name, svg] : kly_OptimizePlots::all(report)) out.add(name, std::move(svg));
  return out;
}

const std::vector<std::string>& kly_OptimizeFiles::allNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n = {"history.csv", "front.csv", "summary.txt"};
    for (const std::string& p : kly_OptimizePlots::allNames()) n.push_back(p);
    for (std::size_t k = 0; k < kly_OptimizeReport::kMaxBest; ++k) n.push_back(bestName(k));
    return n;
  }();
  return names;
}
