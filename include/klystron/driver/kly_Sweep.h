#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "klystron/driver/kly_PointEvaluation.h"
#include "klystron/driver/kly_PointExecutor.h"
#include "klystron/driver/kly_PointResult.h"
#include "klystron/model/kly_TubeDescription.h"

// One varied parameter of a sweep: its name (the command uses the tube
// file's key path) and its values in order.
struct kly_SweepAxis {
  std::string name;
  std::vector<double> values;
};

// One point of a sweep: its value of every axis, and either the tube it
// evaluates or why it cannot be evaluated (a value its checks refuse).
struct kly_SweepPoint {
  std::vector<double> values;               // one per axis
  std::optional<kly_TubeDescription> tube;  // empty: refused
  std::string refusal;                      // why it was refused
  std::string hash;                         // kly_TubeHash of the tube; empty when refused
};

// A sweep before it runs: the axes and every point of their grid, the first
// axis varying slowest (point = i0 * n1 + i1 for two axes).
struct kly_SweepPlan {
  std::vector<kly_SweepAxis> axes;
  std::vector<kly_SweepPoint> points;
  bool simulate = true;  // run the disk simulation of points whose tube has simulation settings

  // The index of each axis's value at a point.
  std::vector<std::size_t> indices(std::size_t point) const;
};

// A parameter as C++ gives it: a name, values and how a value goes into a
// description. apply may throw std::invalid_argument for a value it refuses;
// the point is then refused with that message.
struct kly_SweepParameter {
  std::string name;
  std::vector<double> values;
  std::function<void(kly_TubeDescription& tube, double value)> apply;
};

// A design sweep: every point of a plan evaluated once, concurrently on an
// executor's workers, each point's simulation serial (threads = 1), so that
// every point's record is that of kly_PointEvaluation on its tube alone.
class kly_Sweep {
public:
  // Called as each point finishes, with its number in the plan; calls never overlap.
  using Observer = std::function<void(std::size_t point, const kly_PointResult& result)>;

  struct Options {
    Observer observer;
    // Asked before each point starts, from any worker: true starts no more
    // (the running ones finish). Must be safe to call from several threads.
    std::function<bool()> stop;
  };

  // The grid of the parameters' values over `base`, one point per
  // combination, each with its fingerprint. Throws std::invalid_argument for
  // no parameter, a parameter without values or without apply.
  static kly_SweepPlan grid(const kly_TubeDescription& base, const std::vector<kly_SweepParameter>& parameters,
                            bool simulate = true);

  // The options of every point's evaluation: serial, without the analytic
  // I1/I0 sweep (which no scalar result depends on).
  static kly_EvaluationOptions pointOptions(bool simulate);

  // Evaluates one point of the plan (a refused one as a failed record):
  // what every worker, in this process or another, runs for it.
  static kly_PointResult evaluate(const kly_SweepPlan& plan, std::size_t point);

  // The points that run evaluates on the executor, in the order of its task
  // numbers: those without a record in `done` (same length as the plan's
  // points, or empty) that were not refused, in the plan's order.
  static std::vector<std::size_t> pending(const kly_SweepPlan& plan,
                                          const std::vector<std::optional<kly_PointResult>>& done);

  // Runs the plan: a point with a record in `done` (same length as the plan's
  // points, or empty) keeps it, a refused point is recorded as failed with its
  // refusal, and every other point is evaluated on the executor as task
  // number i of pending(), described to other processes by its point task
  // (kly_PointTask). Returns a record per point; those that a stop kept from
  // starting are empty.
  // Exceptions of the observer end the sweep (see kly_PointExecutor::run).
  static std::vector<std::optional<kly_PointResult>> run(const kly_SweepPlan& plan, kly_PointExecutor& executor,
                                                         const Options& options,
                                                         std::vector<std::optional<kly_PointResult>> done = {});
};
