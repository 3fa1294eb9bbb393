#pragma once

#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "klystron/driver/kly_PointResult.h"
#include "klystron/driver/kly_PointTask.h"
#include "klystron/model/kly_TubeDescription.h"

// A request of an optimisation that cannot be used (an unknown result
// name, a constraint that does not parse, an algorithm that does not take
// that many objectives); what() names the option and the problem.
class kly_OptimizationError : public std::invalid_argument {
public:
  using std::invalid_argument::invalid_argument;
};

// One varied number of the tube and its bounds.
struct kly_OptimizationVariable {
  std::string name;  // the tube file's key path
  double lower = 0;
  double upper = 0;
  double start = std::numeric_limits<double>::quiet_NaN();  // the starting tube's value; NaN: it has none
};

// A result to make as large (or as small) as possible: "max:NAME", "min:NAME".
struct kly_Objective {
  bool maximize = true;
  std::string result;

  // Throws kly_OptimizationError naming the text for anything but SENSE:NAME.
  static kly_Objective parse(std::string_view text);
  std::string text() const { return (maximize ? "max:" : "min:") + result; }
};

// A condition a result must meet: "NAME>=VALUE", "NAME<=VALUE", or for the
// simulation's flags "NAME==false" / "NAME==true".
struct kly_Constraint {
  enum class Relation { atLeast, atMost, equals };
  std::string result;
  Relation relation = Relation::atLeast;
  double value = 0;  // 0 or 1 for a flag
  std::string text;  // as given

  // Throws kly_OptimizationError naming the text when it does not parse.
  static kly_Constraint parse(std::string_view text);

  // How far `v` misses the condition, relative to the size of the limit (of
  // 1 for a limit of 0); 0 when it holds. NaN misses by 1.
  double violation(double v) const;
};

// The figures of a point beyond its record, worked out when an objective or
// a constraint asks for them.
struct kly_FigureSettings {
  // The analytic response around the drive frequency f0: `bandSamples`
  // frequencies evenly from f0 (1 - bandSpan) to f0 (1 + bandSpan).
  double bandSpan = 0.03;
  int bandSamples = 241;
  // The drives [W] of the drive sweep whose saturation is read (empty: none).
  std::vector<double> saturationDrives;
};

// How a point's record stands against the objectives and constraints.
struct kly_Assessment {
  bool feasible = false;
  double violation = 0;            // the sum of the constraints' violations; kFailedViolation for a failed point
  std::string reason;              // why it is infeasible; empty when feasible
  std::vector<double> objectives;  // each objective's result (NaN where missing)
  std::vector<double> fitness;     // what the optimiser minimises, one per objective
};

// The problem an optimiser solves: the tube made from a vector of the
// variables' values, evaluated as a sweep evaluates its points (serial, the
// analytic model and, when asked, the simulation), with the derived figures
// that the objectives and constraints name added to its record, and the
// record weighed against them. A point whose tube is refused, whose
// simulation fails or does not converge, or that misses a constraint is
// infeasible: its fitness lies above that of every feasible point
// (kInfeasible times one plus its violation), so it never dominates one,
// and among infeasible points the one closer to the constraints is better.
class kly_OptimizationProblem {
public:
  // Makes the tube of a vector of values; throws std::invalid_argument
  // with the reason for values its checks refuse. Called from the workers
  // at once: must only read what it shares.
  using Make = std::function<kly_TubeDescription(const std::vector<double>& values)>;

  // Feasible objectives are taken to stay below this in magnitude.
  static constexpr double kInfeasible = 1e15;
  static constexpr double kFailedViolation = 1000;  // a point without results
  static constexpr double kMissingViolation = 100;  // a point without a result that is asked for

  // Derived figures: the -1 dB and -3 dB bandwidths [Hz] of the analytic
  // small-signal response around the drive frequency (0 when the drive
  // frequency lies outside the band), and the saturation of a drive sweep of
  // the simulation (drive [W], output power [W], electronic efficiency).
  static constexpr const char* kBandwidth1dB = "analyticBandwidth1dB";
  static constexpr const char* kBandwidth3dB = "analyticBandwidth3dB";
  static constexpr const char* kSaturatedDrive = "simulatedSaturatedDrive";
  static constexpr const char* kSaturatedOutputPower = "simulatedSaturatedOutputPower";
  static constexpr const char* kSaturatedEfficiency = "simulatedSaturatedElectronicEfficiency";
  // The simulation's flags, as 0 or 1, for constraints.
  static constexpr const char* kDiskReflected = "diskReflected";
  static constexpr const char* kFieldOverlapping = "fieldOverlapping";

  // Checks the request: at least one variable and objective, bounds
  // LOW < HIGH and finite, every result name one a point will have (with a
  // close name suggested), objectives that are no flags, saturation figures
  // only with a drive sweep and the simulation. Throws kly_OptimizationError.
  kly_OptimizationProblem(std::vector<kly_OptimizationVariable> variables, std::vector<kly_Objective> objectives,
                          std::vector<kly_Constraint> constraints, Make make, bool simulate,
                          kly_FigureSettings figures = {});

  // The result names objectives and constraints may use.
  static std::vector<std::string> resultNames(bool simulate, bool saturation);

  const std::vector<kly_OptimizationVariable>& variables() const { return variables_; }
  const std::vector<kly_Objective>& objectives() const { return objectives_; }
  const std::vector<kly_Constraint>& constraints() const { return constraints_; }
  const kly_FigureSettings& figures() const { return figures_; }
  bool simulate() const { return simulate_; }
  std::size_t dimension() const { return variables_.size(); }

  // The plain evaluations a point takes, each a tube and its options, so
  // that any executor (one of other processes included) can run them: the
  // point's tube as made, then, where the objectives and constraints ask
  // for them, the analytic runs of its band sweep and the simulated runs of
  // its drive sweep. A tube that make refuses takes none: `refusal` gets
  // the reason.
  struct Plan {
    std::string refusal;
    std::vector<kly_PointTask> tasks;
  };
  Plan plan(const std::vector<double>& values) const;
  // The record of a point from the records of its plan's tasks, in order:
  // the first one's, the derived figures added as scalars after its own and
  // the wall times of all added up; a refused plan gives a failed record with
  // the reason. Throws std::invalid_argument for records of another count.
  kly_PointResult combine(const Plan& plan, const std::vector<kly_PointResult>& records) const;
  // plan, each task evaluated here, combine: the same record to the last bit.
  kly_PointResult evaluate(const std::vector<double>& values) const;

  // The record weighed against the objectives and constraints.
  kly_Assessment assess(const kly_PointResult& result) const;

  // A result of a record by name, the flags included; NaN when it has none.
  static double value(const kly_PointResult& result, std::string_view name);

private:
  bool wants(std::string_view name) const;
  bool wantsBand() const;
  bool wantsSaturation() const;

  std::vector<kly_OptimizationVariable> variables_;
  std::vector<kly_Objective> objectives_;
  std::vector<kly_Constraint> constraints_;
  Make make_;
  bool simulate_;
  kly_FigureSettings figures_;
};
