#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "klystron/driver/kly_PointExecutor.h"
#include "optimizer/kly_OptimizationProblem.h"
#include "optimizer/kly_OptimizerState.h"

// How an optimisation runs.
struct kly_OptimizerSettings {
  std::string algorithm;    // see kly_Optimizer::algorithms(); empty: the default for the objective count
  unsigned population = 0;  // individuals; 0: the algorithm's default
  unsigned generations = 20;
  unsigned seed = 1;
  // Evaluations of a compass search from the best point after the last
  // generation (one objective only); 0: none. The search completes the
  // round of directions it is in, so a few more may run.
  unsigned refine = 0;
};

// After each step: what the progress line shows.
struct kly_GenerationReport {
  unsigned step = 0;            // 0: the first population
  unsigned steps = 0;           // all steps, the refinement included
  std::size_t evaluations = 0;  // of this step
  std::size_t feasible = 0;     // of this step's evaluations
  std::size_t allEvaluations = 0;
  std::vector<double> best;  // each objective's best feasible value so far (NaN: none)
  double seconds = 0;        // of this step [s]
};

// An optimisation of a tube with pagmo's algorithms, each generation's
// evaluations handed as one batch to an executor (a pagmo batch evaluator of
// our own): every point's plain evaluations (its tube, and the runs of its
// derived figures), each a kly_PointTask, every record placed by its number
// in the batch, so that the
// results depend neither on the number of workers nor on the order in which
// they finish. The algorithm evolves one generation at a time; between
// generations its whole state (the random engine included) is serialised
// into the state, and the next generation always starts from that serialised
// form and a population rebuilt from the state, in a run that goes on and in
// one resumed from a checkpoint alike. So the same seed gives the same
// evaluations and the same front, bit for bit, with any worker count, and a
// resumed run equals one that ran through.
//
// Executors over several processes: the tasks of each batch are plain
// kly_PointTasks, described to the executor before the batch runs
// (kly_PointExecutor::describeTasks, their kly_PointTask::write text) and
// given to Callbacks::batch, so that the other processes evaluate them from
// their text and only the process that runs the optimisation holds the
// problem and writes checkpoints and files.
class kly_Optimizer {
public:
  struct Callbacks {
    // After every step, with the state to keep (write it atomically).
    std::function<void(const kly_OptimizerState& state)> checkpoint;
    std::function<void(const kly_GenerationReport& report)> progress;
    // Before each batch goes to the executor, with its tasks in order (task
    // i of the executor's run is tasks[i]): what an executor over other
    // processes sends them (kly_PointTask::write).
    std::function<void(const std::vector<kly_PointTask>& tasks)> batch;
    // Asked before each evaluation starts; true ends the run after the
    // running ones, dropping the step they belong to.
    std::function<bool()> stop;
  };
  enum class Outcome { completed, stopped };

  // The algorithms by name: several objectives take nsga2 (default), nspso
  // or maco; one takes pso_gen (default) or gaco.
  static const std::vector<std::string>& algorithms();
  static bool takesSeveralObjectives(std::string_view algorithm);

  // The settings with the defaults filled in, checked against the problem
  // before any evaluation: an unknown algorithm, one that does not take that
  // many objectives, a population it cannot work with, a refinement of
  // several objectives. Throws kly_OptimizationError.
  static kly_OptimizerSettings resolve(const kly_OptimizationProblem& problem, kly_OptimizerSettings settings);

  // A one-line text of everything the evaluations depend on but the
  // generation count, for telling whether a checkpoint belongs to a run.
  static std::string describe(const kly_OptimizationProblem& problem, const kly_OptimizerSettings& settings,
                              std::string_view tube);

  // Runs the optimisation from `state` (a fresh one, or one read from a
  // checkpoint of the same problem and settings) until `settings.generations`
  // generations and the refinement are done or a stop comes. `state` holds
  // everything done when it returns, also after an exception (which any
  // callback may throw, ending the run). `settings` as resolve gives them.
  static Outcome run(const kly_OptimizationProblem& problem, const kly_OptimizerSettings& settings,
                     kly_PointExecutor& executor, kly_OptimizerState& state, const Callbacks& callbacks = {});

  // The feasible evaluations that no other feasible one dominates (every
  // objective at least as good and one better), each set of values once, in
  // order of the first objective, best first; with one objective the `most`
  // best. At most `most` of them, spread evenly along the first objective.
  static std::vector<std::size_t> front(const kly_OptimizationProblem& problem,
                                        const std::vector<kly_OptimizationEvaluation>& evaluations, std::size_t most);
};
