#include "tools/kly_OptimizeReport.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "optimizer/kly_Optimizer.h"

kly_OptimizeReport::kly_OptimizeReport(const kly_OptimizeSetup& setup, const kly_OptimizerState& state, Timing timing)
    : setup_(setup), state_(state), timing_(timing) {
  const kly_OptimizationProblem& problem = setup_.problem();
  for (const kly_OptimizationEvaluation& e : state_.evaluations) {
    assessments_.push_back(problem.assess(e.result));
    for (const auto& s : e.result.scalars) {
      if (std::find(names_.begin(), names_.end(), s.first) == names_.end()) names_.push_back(s.first);
    }
  }
  front_ = kly_Optimizer::front(problem, state_.evaluations, kMaxBest);
  const auto& variables = problem.variables();
  const bool hasStart =
      std::all_of(variables.begin(), variables.end(), [](const auto& v) { return !std::isnan(v.start); });
  if (hasStart && !state_.evaluations.empty() && state_.evaluations[0].step == 0) {
    start_ = 0;
    startClamped_ = std::any_of(variables.begin(), variables.end(),
                                [](const auto& v) { return v.start < v.lower || v.start > v.upper; });
  }
}

std::size_t kly_OptimizeReport::feasible() const {
  return static_cast<std::size_t>(
      std::count_if(assessments_.begin(), assessments_.end(), [](const auto& a) { return a.feasible; }));
}

std::size_t kly_OptimizeReport::failed() const {
  return static_cast<std::size_t>(std::count_if(state_.evaluations.begin(), state_.evaluations.end(),
                                                [](const auto& e) { return e.result.status != kly_PointStatus::ok; }));
}

double kly_OptimizeReport::evaluationSeconds() const {
  double sum = 0;
  for (const auto& e : state_.evaluations) sum += e.result.seconds;
  return sum;
}

unsigned kly_OptimizeReport::stepsDone() const {
  unsigned n = 0;
  for (const auto& e : state_.evaluations) n = std::max(n, e.step + 1);
  return n;
}

std::vector<double> kly_OptimizeReport::bestOfStep(std::size_t j) const {
  const kly_Objective& o = setup_.problem().objectives().at(j);
  std::vector<double> best(stepsDone(), std::numeric_limits<double>::quiet_NaN());
  for (std::size_t i = 0; i < state_.evaluations.size(); ++i) {
    const kly_Assessment& a = assessments_[i];
    if (!a.feasible) continue;
    double& b = best[state_.evaluations[i].step];
    const double v = a.objectives[j];
    if (std::isnan(b) || (o.maximize ? v > b : v < b)) b = v;
  }
  return best;
}

std::vector<double> kly_OptimizeReport::bestUpToStep(std::size_t j) const {
  const kly_Objective& o = setup_.problem().objectives().at(j);
  std::vector<double> best = bestOfStep(j);
  for (std::size_t s = 1; s < best.size(); ++s) {
    if (std::isnan(best[s]) ||
        (!std::isnan(best[s - 1]) && (o.maximize ? best[s - 1] > best[s] : best[s - 1] < best[s])))
      best[s] = best[s - 1];
  }
  return best;
}
