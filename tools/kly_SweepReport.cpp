#include "tools/kly_SweepReport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool anyFinite(const std::vector<double>& v) {
  return std::any_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

}  // namespace

const char* kly_SweepReport::outputPowerName(bool simulated) {
  return simulated ? "simulatedOutputPower" : "analyticOutputPower";
}
const char* kly_SweepReport::gainName(bool simulated) { return simulated ? "simulatedGain" : "analyticGain"; }
const char* kly_SweepReport::efficiencyName(bool simulated) {
  // The analytic model's only efficiency is that of all its outputs together.
  return simulated ? "simulatedElectronicEfficiency" : "analyticMultipleOutputElectronicEfficiency";
}

kly_SweepReport::kly_SweepReport(const kly_SweepSetup& setup, std::vector<std::optional<kly_PointResult>> results,
                                 Timing timing)
    : setup_(setup), results_(std::move(results)), timing_(timing) {
  results_.resize(setup_.plan.points.size());
  if (setup_.vary.size() == 2)
    kind_ = Kind::grid;
  else if (setup_.varies("beam.inputPower"))
    kind_ = Kind::drive;
  else if (setup_.varies("beam.frequency"))
    kind_ = Kind::frequency;

  // Scalar names: those of the first point with the most of them (a
  // simulated one), then any others in order of appearance.
  const kly_PointResult* fullest = nullptr;
  for (const auto& r : results_) {
    if (r && (!fullest || r->scalars.size() > fullest->scalars.size())) fullest = &*r;
  }
  if (fullest) {
    for (const auto& s : fullest->scalars) names_.push_back(s.first);
  }
  for (const auto& r : results_) {
    if (!r) continue;
    for (const auto& s : r->scalars) {
      if (std::find(names_.begin(), names_.end(), s.first) == names_.end()) names_.push_back(s.first);
    }
  }

  for (bool sim : {false, true}) {
    if (kind_ == Kind::drive) {
      const std::vector<double> drive = axisValues(0);
      const std::vector<double> power = series(outputPowerName(sim), sim);
      if (!anyFinite(power)) continue;
      Transfer t;
      t.saturation = kly_SweepAnalysis::saturation(drive, power, series(efficiencyName(sim), sim));
      t.compression = kly_SweepAnalysis::compression(drive, power);
      (sim ? simTransfer_ : anaTransfer_) = t;
    } else if (kind_ == Kind::frequency) {
      const std::vector<double> f = axisValues(0);
      const std::vector<double> gain = series(gainName(sim), sim);
      if (!anyFinite(gain)) continue;
      (sim ? simResponse_ : anaResponse_) =
          Response{kly_SweepAnalysis::band(f, gain, 1.0), kly_SweepAnalysis::band(f, gain, 3.0)};
    }
  }
  if (kind_ == Kind::grid) {
    const bool sim = simulated();
    for (const char* name : {efficiencyName(sim), gainName(sim)}) {
      const std::vector<double> v = series(name, sim);
      Best b;
      b.result = name;
      b.value = -std::numeric_limits<double>::infinity();
      bool found = false;
      for (std::size_t i = 0; i < v.size(); ++i) {
        if (std::isfinite(v[i]) && v[i] > b.value) {
          b.value = v[i];
          b.point = i;
          found = true;
        }
      }
      if (found) best_.push_back(b);
    }
  }
}

bool kly_SweepReport::simulated() const {
  return std::any_of(results_.begin(), results_.end(), [](const auto& r) { return r && r->simulated; });
}

std::size_t kly_SweepReport::count(kly_PointStatus status) const {
  return static_cast<std::size_t>(
      std::count_if(results_.begin(), results_.end(), [status](const auto& r) { return r && r->status == status; }));
}

std::size_t kly_SweepReport::missing() const {
  return static_cast<std::size_t>(std::count_if(results_.begin(), results_.end(), [](const auto& r) { return !r; }));
}

double kly_SweepReport::pointSeconds() const {
  double sum = 0;
  for (const auto& r : results_) {
    if (r) sum += r->seconds;
  }
  return sum;
}

std::vector<double> kly_SweepReport::series(std::string_view name, bool okOnly) const {
  std::vector<double> out;
  out.reserve(results_.size());
  for (const auto& r : results_) {
    const double* v = r && (!okOnly || r->status == kly_PointStatus::ok) ? r->find(name) : nullptr;
    out.push_back(v ? *v : kNaN);
  }
  return out;
}

std::vector<double> kly_SweepReport::axisValues(std::size_t a) const {
  std::vector<double> out;
  out.reserve(setup_.plan.points.size());
  for (const kly_SweepPoint& p : setup_.plan.points) out.push_back(p.values.at(a));
  return out;
}
