#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "optimizer/kly_OptimizationProblem.h"
#include "optimizer/kly_OptimizerState.h"
#include "tools/kly_OptimizeSetup.h"

// An optimisation's evaluations weighed, and what its files, plots and
// summary read off them: the front, the starting tube's evaluation, the best
// values of each generation.
class kly_OptimizeReport {
public:
  static constexpr std::size_t kMaxBest = 50;  // tubes in best/ at most

  struct Timing {
    double wallSeconds = 0;  // of this run of the command
    int workers = 1;
    bool resumed = false;
    bool stopped = false;  // a stop ended the run before its last step
    std::string folder;    // the output folder, for the way to resume
  };

  kly_OptimizeReport(const kly_OptimizeSetup& setup, const kly_OptimizerState& state, Timing timing);

  const kly_OptimizeSetup& setup() const { return setup_; }
  const kly_OptimizerState& state() const { return state_; }
  const Timing& timing() const { return timing_; }
  const std::vector<kly_OptimizationEvaluation>& evaluations() const { return state_.evaluations; }
  const kly_Assessment& assessment(std::size_t evaluation) const { return assessments_[evaluation]; }

  // The evaluations of the front (or of the best points), best first by the first objective.
  const std::vector<std::size_t>& front() const { return front_; }
  // The evaluation of the starting tube: the first of the first population,
  // when the tube has every variable (its values brought within the bounds
  // when they lay outside: startClamped).
  std::optional<std::size_t> start() const { return start_; }
  bool startClamped() const { return startClamped_; }

  std::size_t feasible() const;
  std::size_t failed() const;  // failed or not converged
  double evaluationSeconds() const;
  // The best feasible value of objective j among each step's evaluations (NaN: none), steps 0, 1, ...
  std::vector<double> bestOfStep(std::size_t j) const;
  // ... and among the evaluations up to each step.
  std::vector<double> bestUpToStep(std::size_t j) const;
  unsigned stepsDone() const;  // the steps with evaluations, the first population included

  // The names of the scalar results some evaluation has, in their order.
  const std::vector<std::string>& scalarNames() const { return names_; }

private:
  const kly_OptimizeSetup& setup_;
  const kly_OptimizerState& state_;
  Timing timing_;
  std::vector<kly_Assessment> assessments_;
  std::vector<std::size_t> front_;
  std::optional<std::size_t> start_;
  bool startClamped_ = false;
  std::vector<std::string> names_;
};
