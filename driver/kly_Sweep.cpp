#include "klystron/driver/kly_Sweep.h"

#include <stdexcept>

#include "klystron/driver/kly_PointTask.h"
#include "klystron/driver/kly_TubeHash.h"

std::vector<std::size_t> kly_SweepPlan::indices(std::size_t point) const {
  std::vector<std::size_t> at(axes.size());
  for (std::size_t a = axes.size(); a-- > 0;) {
    const std::size_t n = axes[a].values.size();
    at[a] = n == 0 ? 0 : point % n;
    point = n == 0 ? point : point / n;
  }
  return at;
}

kly_SweepPlan kly_Sweep::grid(const kly_TubeDescription& base, const std::vector<kly_SweepParameter>& parameters,
                              bool simulate) {
  if (parameters.empty()) throw std::invalid_argument("a sweep needs at least one parameter");
  kly_SweepPlan plan;
  plan.simulate = simulate;
  std::size_t count = 1;
  for (const kly_SweepParameter& p : parameters) {
    if (p.values.empty()) throw std::invalid_argument("parameter " + p.name + " has no values");
    if (!p.apply) throw std::invalid_argument("parameter " + p.name + " has no way to apply its values");
    plan.axes.push_back(kly_SweepAxis{p.name, p.values});
    count *= p.values.size();
  }
  kly_TubeHash hash;
  plan.points.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    kly_SweepPoint point;
    kly_TubeDescription tube = base;
    const std::vector<std::size_t> at = plan.indices(i);
    try {
      for (std::size_t a = 0; a < parameters.size(); ++a) {
        const double v = parameters[a].values[at[a]];
        point.values.push_back(v);
        parameters[a].apply(tube, v);
      }
      point.hash = hash.of(tube, simulate);
      point.tube = std::move(tube);
    } catch (const std::invalid_argument& e) {
      for (std::size_t a = point.values.size(); a < parameters.size(); ++a)
        point.values.push_back(parameters[a].values[at[a]]);
      point.refusal = e.what();
    }
    plan.points.push_back(std::move(point));
  }
  return plan;
}

kly_EvaluationOptions kly_Sweep::pointOptions(bool simulate) {
  kly_EvaluationOptions o;
  o.simulate = simulate;
  o.analyticProfile = false;
  o.threads = 1;
  return o;
}

kly_PointResult kly_Sweep::evaluate(const kly_SweepPlan& plan, std::size_t point) {
  const kly_SweepPoint& p = plan.points.at(point);
  if (!p.tube) {
    kly_PointResult refused;
    refused.message = p.refusal;
    return refused;
  }
  return kly_PointEvaluation::evaluate(*p.tube, pointOptions(plan.simulate));
}

std::vector<std::size_t> kly_Sweep::pending(const kly_SweepPlan& plan,
                                            const std::vector<std::optional<kly_PointResult>>& done) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < plan.points.size(); ++i) {
    if ((i < done.size() && done[i]) || !plan.points[i].tube) continue;
    out.push_back(i);
  }
  return out;
}

std::vector<std::optional<kly_PointResult>> kly_Sweep::run(const kly_SweepPlan& plan, kly_PointExecutor& executor,
                                                           const Options& options,
                                                           std::vector<std::optional<kly_PointResult>> done) {
  if (!done.empty() && done.size() != plan.points.size())
    throw std::invalid_argument("the records given are not one per point of the sweep");
  done.resize(plan.points.size());
  const std::vector<std::size_t> pending = kly_Sweep::pending(plan, done);
  for (std::size_t i = 0; i < plan.points.size(); ++i) {
    if (!done[i] && !plan.points[i].tube) done[i] = evaluate(plan, i);
  }
  const kly_EvaluationOptions evaluation = pointOptions(plan.simulate);
  executor.describeTasks([&plan, pending, evaluation](std::size_t task) {
    return kly_PointTask::write(*plan.points.at(pending.at(task)).tube, evaluation);
  });
  executor.run(
      pending.size(), [&plan, &pending](std::size_t task) { return evaluate(plan, pending[task]); },
      [&done, &pending, &options](std::size_t task, kly_PointResult&& result) {
        const std::size_t point = pending[task];
        done[point] = std::move(result);
        if (options.observer) options.observer(point, *done[point]);
      },
      options.stop);
  return done;
}
