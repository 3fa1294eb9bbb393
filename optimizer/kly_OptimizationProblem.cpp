#include "optimizer/kly_OptimizationProblem.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>

#include "klystron/driver/kly_PointEvaluation.h"
#include "klystron/driver/kly_Sweep.h"
#include "klystron/driver/kly_SweepAnalysis.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isFlag(std::string_view name) {
  return name == kly_OptimizationProblem::kDiskReflected || name == kly_OptimizationProblem::kFieldOverlapping;
}

bool isSaturation(std::string_view name) {
  return name == kly_OptimizationProblem::kSaturatedDrive || name == kly_OptimizationProblem::kSaturatedOutputPower ||
         name == kly_OptimizationProblem::kSaturatedEfficiency;
}

}  // namespace

kly_Objective kly_Objective::parse(std::string_view text) {
  const std::string_view t = trim(text);
  const std::size_t colon = t.find(':');
  const std::string_view sense = colon == std::string_view::npos ? std::string_view{} : trim(t.substr(0, colon));
  if (sense != "max" && sense != "min")
    throw kly_OptimizationError("--objective " + std::string(text) +
                                ": expected max:RESULT or min:RESULT, for example max:simulatedElectronicEfficiency");
  kly_Objective o;
  o.maximize = sense == "max";
  o.result = std::string(trim(t.substr(colon + 1)));
  if (o.result.empty())
    throw kly_OptimizationError("--objective " + std::string(text) + ": the result name is missing");
  return o;
}

kly_Constraint kly_Constraint::parse(std::string_view text) {
  const std::string given(text);
  auto refuse = [&given](const std::string& why) {
    throw kly_OptimizationError("--constraint '" + given + "': " + why);
  };
  kly_Constraint c;
  c.text = given;
  std::size_t at = std::string_view::npos, length = 2;
  for (const char* op : {">=", "<=", "=="}) {
    const std::size_t p = text.find(op);
    if (p != std::string_view::npos && (at == std::string_view::npos || p < at)) {
      at = p;
      c.relation = op[0] == '>' ? Relation::atLeast : op[0] == '<' ? Relation::atMost : Relation::equals;
    }
  }
  if (at == std::string_view::npos)
    refuse("expected RESULT>=VALUE, RESULT<=VALUE or FLAG==false, for example simulatedGain>=40");
  c.result = std::string(trim(text.substr(0, at)));
  const std::string_view value = trim(text.substr(at + length));
  if (c.result.empty()) refuse("the result name is missing");
  if (value.empty()) refuse("the value is missing");
  if (c.relation == Relation::equals) {
    if (value != "true" && value != "false")
      refuse("== takes true or false (for " + std::string(kly_OptimizationProblem::kDiskReflected) + " and " +
             kly_OptimizationProblem::kFieldOverlapping + "); bound a number with >= or <=");
    c.value = value == "true" ? 1 : 0;
    return c;
  }
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), c.value);
  if (ec != std::errc{} || end != value.data() + value.size() || !std::isfinite(c.value))
    refuse("expected a number after the comparison, found \"" + std::string(value) + "\"");
  return c;
}

double kly_Constraint::violation(double v) const {
  if (std::isnan(v)) return 1;
  const double scale = value != 0 ? std::abs(value) : 1.0;
  switch (relation) {
    case Relation::atLeast:
      return v >= value ? 0 : (value - v) / scale;
    case Relation::atMost:
      return v <= value ? 0 : (v - value) / scale;
    case Relation::equals:
      return v == value ? 0 : 1;
  }
  return 1;
}

std::vector<std::string> kly_OptimizationProblem::resultNames(bool simulate, bool saturation) {
  std::vector<std::string> names = kly_PointEvaluation::scalarNames(simulate);
  names.emplace_back(kBandwidth1dB);
  names.emplace_back(kBandwidth3dB);
  if (simulate && saturation) {
    names.emplace_back(kSaturatedDrive);
    names.emplace_back(kSaturatedOutputPower);
    names.emplace_back(kSaturatedEfficiency);
  }
  if (simulate) {
    names.emplace_back(kDiskReflected);
    names.emplace_back(kFieldOverlapping);
  }
  return names;
}

kly_OptimizationProblem::kly_OptimizationProblem(std::vector<kly_OptimizationVariable> variables,
                                                 std::vector<kly_Objective> objectives,
                                                 std::vector<kly_Constraint> constraints, Make make, bool simulate,
                                                 kly_FigureSettings figures)
    : variables_(std::move(variables)),
      objectives_(std::move(objectives)),
      constraints_(std::move(constraints)),
      make_(std::move(make)),
      simulate_(simulate),
      figures_(std::move(figures)) {
  if (variables_.empty()) throw kly_OptimizationError("give the parameters to vary: --vary KEY=LOW:HIGH");
  if (objectives_.empty()) throw kly_OptimizationError("give what to optimise: --objective max:RESULT or min:RESULT");
  if (!make_) throw kly_OptimizationError("the problem has no way to make a tube of its values");
  for (const kly_OptimizationVariable& v : variables_) {
    if (!std::isfinite(v.lower) || !std::isfinite(v.upper))
      throw kly_OptimizationError("--vary " + v.name + ": the bounds must be finite numbers");
    if (v.lower >= v.upper) throw kly_OptimizationError("--vary " + v.name + ": LOW must be below HIGH (LOW >= HIGH)");
  }
  if (figures_.bandSamples < 3 || !(figures_.bandSpan > 0 && figures_.bandSpan < 1))
    throw kly_OptimizationError("the band's frequency sweep needs 3 samples or more and a span between 0 and 1");
  for (double d : figures_.saturationDrives) {
    if (!(d > 0) || !std::isfinite(d))
      throw kly_OptimizationError("the drives of the saturation sweep must be positive powers [W]");
  }
  const std::vector<std::string> known = resultNames(simulate_, !figures_.saturationDrives.empty());
  auto check = [&](const std::string& name, const std::string& option) {
    if (std::find(known.begin(), known.end(), name) != known.end()) return;
    const bool simulated =
        std::find(kly_PointEvaluation::scalarNames(true).begin(), kly_PointEvaluation::scalarNames(true).end(), name) !=
        kly_PointEvaluation::scalarNames(true).end();
    if (!simulate_ && (simulated || isFlag(name) || isSaturation(name)))
      throw kly_OptimizationError(option + ": " + name + " is a result of the simulation, which does not run here");
    if (isSaturation(name))
      throw kly_OptimizationError(option + ": " + name + " needs a drive sweep: --saturation-drives LOW:HIGH:COUNT");
    throw kly_OptimizationError(option + ": unknown result \"" + name + "\"");
  };
  for (const kly_Objective& o : objectives_) {
    check(o.result, "--objective " + o.text());
    if (isFlag(o.result))
      throw kly_OptimizationError("--objective " + o.text() + ": a flag can be a constraint (" + o.result +
                                  "==false), not an objective");
  }
  for (const kly_Constraint& c : constraints_) {
    check(c.result, "--constraint '" + c.text + "'");
    if ((c.relation == kly_Constraint::Relation::equals) != isFlag(c.result))
      throw kly_OptimizationError("--constraint '" + c.text + "': " +
                                  (isFlag(c.result) ? c.result + " is a flag: write " + c.result + "==false"
                                                    : c.result + " is a number: bound it with >= or <="));
  }
}

bool kly_OptimizationProblem::wants(std::string_view name) const {
  return std::any_of(objectives_.begin(), objectives_.end(), [name](const auto& o) { return o.result == name; }) ||
         std::any_of(constraints_.begin(), constraints_.end(), [name](const auto& c) { return c.result == name; });
}

bool kly_OptimizationProblem::wantsBand() const { return wants(kBandwidth1dB) || wants(kBandwidth3dB); }

bool kly_OptimizationProblem::wantsSaturation() const {
  return simulate_ && !figures_.saturationDrives.empty() &&
         (wants(kSaturatedDrive) || wants(kSaturatedOutputPower) || wants(kSaturatedEfficiency));
}

kly_OptimizationProblem::Plan kly_OptimizationProblem::plan(const std::vector<double>& values) const {
  Plan p;
  kly_TubeDescription tube;
  try {
    tube = make_(values);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    p.refusal = e.what();
    return p;
  }
  p.tasks.push_back({tube, kly_Sweep::pointOptions(simulate_)});
  if (wantsBand()) {
    const int n = figures_.bandSamples;
    const double f0 = tube.beam.frequency;
    kly_TubeDescription at = tube;
    at.simulation.reset();
    for (int i = 0; i < n; ++i) {
      at.beam.frequency = f0 * (1 - figures_.bandSpan + 2 * figures_.bandSpan * i / (n - 1));
      p.tasks.push_back({at, kly_Sweep::pointOptions(false)});
    }
  }
  if (wantsSaturation() && tube.simulation) {
    kly_TubeDescription at = tube;
    for (double drive : figures_.saturationDrives) {
      at.beam.inputPower = drive;
      p.tasks.push_back({at, kly_Sweep::pointOptions(true)});
    }
  }
  return p;
}

kly_PointResult kly_OptimizationProblem::combine(const Plan& plan, const std::vector<kly_PointResult>& records) const {
  if (records.size() != plan.tasks.size())
    throw std::invalid_argument("a point's plan has " + std::to_string(plan.tasks.size()) + " evaluations, not " +
                                std::to_string(records.size()));
  kly_PointResult record;
  if (plan.tasks.empty()) {
    record.message = plan.refusal;
    return record;
  }
  record = records[0];
  std::size_t next = 1;
  for (std::size_t k = 1; k < records.size(); ++k) record.seconds += records[k].seconds;
  const bool ok = record.status != kly_PointStatus::failed;
  if (wantsBand()) {
    const auto n = static_cast<std::size_t>(figures_.bandSamples);
    const double f0 = plan.tasks[0].tube.beam.frequency;
    std::vector<double> f, gain;
    for (std::size_t i = 0; i < n; ++i, ++next) {
      f.push_back(plan.tasks[next].tube.beam.frequency);
      const double* g = records[next].find("analyticGain");
      gain.push_back(g ? *g : kNaN);
    }
    for (const auto& [name, drop] : {std::pair{kBandwidth1dB, 1.0}, std::pair{kBandwidth3dB, 3.0}}) {
      const kly_Band band = kly_SweepAnalysis::band(f, gain, drop);
      const double width = !band.found ? kNaN : band.lower <= f0 && f0 <= band.upper ? band.width() : 0.0;
      if (ok) record.scalars.emplace_back(name, width);
    }
  }
  if (wantsSaturation() && plan.tasks[0].tube.simulation) {
    std::vector<double> power, efficiency;
    for (std::size_t i = 0; i < figures_.saturationDrives.size(); ++i, ++next) {
      const kly_PointResult& r = records[next];
      const bool converged = r.status == kly_PointStatus::ok;
      const double* p = converged ? r.find("simulatedOutputPower") : nullptr;
      const double* e = converged ? r.find("simulatedElectronicEfficiency") : nullptr;
      power.push_back(p ? *p : kNaN);
      efficiency.push_back(e ? *e : kNaN);
    }
    const kly_Saturation s = kly_SweepAnalysis::saturation(figures_.saturationDrives, power, efficiency);
    if (ok) {
      record.scalars.emplace_back(kSaturatedDrive, s.found ? s.drive : kNaN);
      record.scalars.emplace_back(kSaturatedOutputPower, s.found ? s.outputPower : kNaN);
      record.scalars.emplace_back(kSaturatedEfficiency, s.found ? s.efficiency : kNaN);
    }
  }
  return record;
}

kly_PointResult kly_OptimizationProblem::evaluate(const std::vector<double>& values) const {
  const Plan p = plan(values);
  std::vector<kly_PointResult> records;
  for (const kly_PointTask& t : p.tasks) records.push_back(kly_PointEvaluation::evaluate(t.tube, t.options));
  return combine(p, records);
}

double kly_OptimizationProblem::value(const kly_PointResult& result, std::string_view name) {
  if (name == kDiskReflected) return result.simulated ? (result.diskReflected ? 1 : 0) : kNaN;
  if (name == kFieldOverlapping) return result.simulated ? (result.fieldOverlapping ? 1 : 0) : kNaN;
  const double* v = result.find(name);
  return v ? *v : kNaN;
}

kly_Assessment kly_OptimizationProblem::assess(const kly_PointResult& result) const {
  kly_Assessment a;
  for (const kly_Objective& o : objectives_) a.objectives.push_back(value(result, o.result));
  if (result.status == kly_PointStatus::failed) {
    a.violation = kFailedViolation;
    a.reason = "failed: " + result.message;
  } else if (result.status == kly_PointStatus::notConverged) {
    a.violation = kFailedViolation;
    a.reason = "not converged";
  } else {
    for (std::size_t j = 0; j < objectives_.size(); ++j) {
      if (!std::isfinite(a.objectives[j])) {
        a.violation += kMissingViolation;
        if (a.reason.empty()) a.reason = objectives_[j].result + " is not a finite number";
      }
    }
    for (const kly_Constraint& c : constraints_) {
      const double v = c.violation(value(result, c.result));
      if (v > 0 && a.reason.empty()) a.reason = "misses " + c.text;
      a.violation += v;
    }
  }
  a.feasible = a.reason.empty();
  for (std::size_t j = 0; j < objectives_.size(); ++j) {
    a.fitness.push_back(a.feasible ? (objectives_[j].maximize ? -a.objectives[j] : a.objectives[j])
                                   : kInfeasible * (1 + a.violation));
  }
  return a;
}
