#include "tools/kly_CsvWriter.h"

#include <complex>

#include <fmt/format.h>

#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"
#include "tools/kly_TubeRun.h"

namespace {

using kly::kHarmonics;
using kly::kProfilePoints;

const kly_DiskSimulation& simulation(const kly_TubeRun& run) {
  if (!run.simulation()) throw kly_StateError("the simulation did not run");
  return *run.simulation();
}

}  // namespace

std::string kly_CsvWriter::field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string kly_CsvWriter::table(const std::vector<std::string>& columns,
                                 const std::vector<std::vector<double>>& rows) {
  std::string out = fmt::format("{}\n", fmt::join(columns, ","));
  for (const auto& row : rows) out += fmt::format("{}\n", fmt::join(row, ","));
  return out;
}

std::string kly_CsvWriter::analyticI1I0(const kly_TubeRun& run) {
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < kProfilePoints; ++i)
    rows.push_back({run.analytic().getI1I0Z(i), run.analytic().getI1I0Sample(i)});
  return table({"z", "i1i0"}, rows);
}

std::string kly_CsvWriter::cavities(const kly_TubeRun& run) {
  const kly_Analytic& a = run.analytic();
  const kly_DiskSimulation* s = run.simulation();
  std::vector<std::string> columns = {"cavity",
                                      "z",
                                      "frequency",
                                      "m",
                                      "gapWidth",
                                      "rq",
                                      "qo",
                                      "qe",
                                      "harmonic",
                                      "gapImpedance",
                                      "qb",
                                      "bb",
                                      "gb",
                                      "fieldZMin",
                                      "fieldZMax",
                                      "analyticVoltage",
                                      "analyticVoltagePhase"};
  if (s) {
    columns.push_back("simulatedVoltage");
    columns.push_back("simulatedVoltagePhase");
  }
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < run.cavityCount(); ++i) {
    const kly_Cavity& c = run.built().cavity(i);
    std::vector<double> row = {static_cast<double>(i),
                               run.cavity(i).z,
                               run.cavity(i).frequency,
                               run.cavity(i).m,
                               run.cavity(i).gapWidth,
                               run.cavity(i).rq,
                               run.cavity(i).qo,
                               run.cavity(i).qe,
                               static_cast<double>(run.cavity(i).harmonic),
                               std::abs(c.getGapImpedance()),
                               c.getQb(),
                               c.getBb(),
                               c.getGb(),
                               c.getFieldZMin(),
                               c.getFieldZMax(),
                               a.getCavityVoltage(i),
                               a.getCavityVoltagePhase(i)};
    if (s) {
      row.push_back(s->getSimulatedCavityVoltage(i));
      row.push_back(s->getSimulatedCavityVoltagePhase(i));
    }
    rows.push_back(std::move(row));
  }
  return table(columns, rows);
}

std::string kly_CsvWriter::simulatedBunching(const kly_TubeRun& run) {
  const kly_DiskSimulation& s = simulation(run);
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < kProfilePoints; ++i) {
    rows.push_back({s.getBunchingGridZ(i), s.getSimulatedI1I0Sample(i), s.getSimulatedI1I0PhaseSample(i),
                    s.getSimulatedI2I0Sample(i)});
  }
  return table({"z", "i1i0", "i1i0Phase", "i2i0"}, rows);
}

std::string kly_CsvWriter::simulatedCurrents(const kly_TubeRun& run) {
  const kly_DiskSimulation& s = simulation(run);
  std::vector<std::vector<double>> rows;
  for (int k = 0; k < run.cavityCount(); ++k) {
    for (int h = 0; h < kHarmonics; ++h) {
      rows.push_back({static_cast<double>(k), static_cast<double>(h), s.getSimulatedCavityCurrentMagnitude(k, h),
                      s.getSimulatedCavityCurrentPhase(k, h)});
    }
  }
  return table({"cavity", "harmonic", "magnitude", "phase"}, rows);
}

std::string kly_CsvWriter::diskVelocities(const kly_TubeRun& run) {
  const kly_DiskSimulation& s = simulation(run);
  std::vector<std::vector<double>> rows;
  for (int d = 0; d < s.getDisks(); ++d) {
    for (int r = 0; r < s.getRings(); ++r) {
      rows.push_back({static_cast<double>(d), static_cast<double>(r), s.getSimulatedEntryVelocity(d, r),
                      s.getSimulatedExitVelocity(d, r), s.getVelocityAtMinimumBeta(d, r)});
    }
  }
  return table({"disk", "ring", "entryVelocity", "exitVelocity", "velocityAtMinimumBeta"}, rows);
}

std::string kly_CsvWriter::trajectories(const kly_TubeRun& run) {
  const kly_DiskSimulation& s = simulation(run);
  const double dt = 1.0 / (run.description().beam.frequency * s.getSteps());
  std::vector<std::string> columns = {"step", "time"};
  for (int d = 0; d < s.getDisks(); ++d) columns.push_back(fmt::format("disk{}", d));
  std::vector<std::vector<double>> rows;
  for (int t = 0; t < s.getSimulatedMaxTimeStep(); ++t) {
    std::vector<double> row = {static_cast<double>(t), t * dt};
    for (int d = 0; d < s.getDisks(); ++d) row.push_back(s.getSimulatedDiskPosition(d, 0, t));
    rows.push_back(std::move(row));
  }
  return table(columns, rows);
}

std::string kly_CsvWriter::passes(const kly_TubeRun& run) {
  std::vector<std::vector<double>> rows;
  for (const kly_PassReport& p : run.passes())
    rows.push_back({static_cast<double>(p.pass), p.convergence, p.outputVoltage});
  return table({"pass", "convergence", "outputVoltage"}, rows);
}
