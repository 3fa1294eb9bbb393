#include "optimizer/kly_Optimizer.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <sstream>

#include "klystron/driver/kly_PointEvaluation.h"

#include <pagmo/algorithm.hpp>
#include <pagmo/algorithms/compass_search.hpp>
#include <pagmo/algorithms/gaco.hpp>
#include <pagmo/algorithms/maco.hpp>
#include <pagmo/algorithms/nsga2.hpp>
#include <pagmo/algorithms/nspso.hpp>
#include <pagmo/algorithms/pso_gen.hpp>
#include <pagmo/batch_evaluators/default_bfe.hpp>
#include <pagmo/bfe.hpp>
#include <pagmo/population.hpp>
#include <pagmo/problem.hpp>
#include <pagmo/s11n.hpp>
#include <pagmo/utils/multi_objective.hpp>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A stop came during a step: the step is dropped.
struct Stopped {};

// The evaluations of one step: each batch run on the executor, the records
// placed by their number, weighed into fitness vectors, and kept until the
// step is done.
class Evaluator {
public:
  Evaluator(const kly_OptimizationProblem& problem, kly_PointExecutor& executor, const kly_Optimizer::Callbacks& cb,
            unsigned step)
      : problem_(problem), executor_(executor), callbacks_(cb), step_(step) {}

  // The fitness vectors of the points, one after the other. The plain
  // evaluations of all their plans go to the executor as one batch, each
  // record placed by its number.
  pagmo::vector_double evaluate(const std::vector<pagmo::vector_double>& points) {
    const std::size_t n = points.size();
    std::vector<kly_OptimizationProblem::Plan> plans;
    std::vector<kly_PointTask> tasks;
    std::vector<std::size_t> first;  // each point's first task
    for (const auto& x : points) {
      plans.push_back(problem_.plan(x));
      first.push_back(tasks.size());
      tasks.insert(tasks.end(), plans.back().tasks.begin(), plans.back().tasks.end());
    }
    first.push_back(tasks.size());
    if (callbacks_.batch) callbacks_.batch(tasks);
    std::vector<std::optional<kly_PointResult>> records(tasks.size());
    // Other processes (kly_MpiExecutor) evaluate each task from its text.
    executor_.describeTasks(
        [&tasks](std::size_t i) { return kly_PointTask::write(tasks.at(i).tube, tasks.at(i).options); });
    executor_.run(
        tasks.size(),
        [&tasks](std::size_t i) { return kly_PointEvaluation::evaluate(tasks[i].tube, tasks[i].options); },
        [&records](std::size_t i, kly_PointResult&& r) { records[i] = std::move(r); },
        [this] { return callbacks_.stop && callbacks_.stop(); });
    for (const auto& r : records) {
      if (!r) throw Stopped{};
    }
    pagmo::vector_double fitness;
    const std::size_t base = pending.size();
    for (std::size_t i = 0; i < n; ++i) {
      std::vector<kly_PointResult> own;
      for (std::size_t k = first[i]; k < first[i + 1]; ++k) own.push_back(std::move(*records[k]));
      kly_PointResult record = problem_.combine(plans[i], own);
      const kly_Assessment a = problem_.assess(record);
      fitness.insert(fitness.end(), a.fitness.begin(), a.fitness.end());
      pending.push_back({step_, base + i, points[i], std::move(record)});
    }
    return fitness;
  }

  std::vector<kly_OptimizationEvaluation> pending;

private:
  const kly_OptimizationProblem& problem_;
  kly_PointExecutor& executor_;
  const kly_Optimizer::Callbacks& callbacks_;
  unsigned step_;
};

// The tube as a pagmo problem: single evaluations (a local search's) go to
// the evaluator one at a time.
struct TubeProblem {
  Evaluator* evaluator = nullptr;
  pagmo::vector_double lower, upper;
  pagmo::vector_double::size_type objectives = 1;

  pagmo::vector_double fitness(const pagmo::vector_double& x) const { return evaluator->evaluate({x}); }
  std::pair<pagmo::vector_double, pagmo::vector_double> get_bounds() const { return {lower, upper}; }
  pagmo::vector_double::size_type get_nobj() const { return objectives; }
  std::string get_name() const { return "klystron tube"; }
};

// A generation's evaluations as one batch on the executor.
struct TubeBatch {
  Evaluator* evaluator = nullptr;

  pagmo::vector_double operator()(const pagmo::problem& p, const pagmo::vector_double& dvs) const {
    const std::size_t nx = p.get_nx();
    std::vector<pagmo::vector_double> points;
    for (std::size_t i = 0; i + nx <= dvs.size(); i += nx)
      points.emplace_back(dvs.begin() + static_cast<std::ptrdiff_t>(i),
                          dvs.begin() + static_cast<std::ptrdiff_t>(i + nx));
    return evaluator->evaluate(points);
  }
  std::string get_name() const { return "klystron workers"; }
};

struct AlgorithmInfo {
  const char* name;
  bool several;         // takes several objectives (and only those)
  unsigned population;  // default
};
constexpr AlgorithmInfo kAlgorithms[] = {
    {"nsga2", true, 24}, {"nspso", true, 24}, {"maco", true, 24}, {"pso_gen", false, 20}, {"gaco", false, 20}};

const AlgorithmInfo* info(std::string_view name) {
  for (const AlgorithmInfo& a : kAlgorithms) {
    if (name == a.name) return &a;
  }
  return nullptr;
}

// A generation of each algorithm per evolve, remembering what it learns
// (velocities, archives) from one evolve to the next.
pagmo::algorithm makeAlgorithm(const kly_OptimizerSettings& s) {
  const unsigned ker = std::min(63u, s.population);
  const std::string& a = s.algorithm;
  if (a == "nsga2") return pagmo::algorithm{pagmo::nsga2(1u, 0.95, 10., 0.01, 50., s.seed)};
  if (a == "nspso")
    return pagmo::algorithm{pagmo::nspso(1u, 0.6, 2.0, 2.0, 1.0, 0.5, 60u, "crowding distance", true, s.seed)};
  if (a == "maco") return pagmo::algorithm{pagmo::maco(1u, ker, 1.0, 1u, 7u, 100000u, 0., true, s.seed)};
  if (a == "pso_gen") return pagmo::algorithm{pagmo::pso_gen(1u, 0.7298, 2.05, 2.05, 0.5, 5u, 2u, 4u, true, s.seed)};
  if (a == "gaco")
    return pagmo::algorithm{pagmo::gaco(1u, ker, 1.0, 0., 0.01, 1u, 7u, 100000u, 100000u, 0., true, s.seed)};
  throw kly_OptimizationError("unknown algorithm \"" + a + "\"");
}

template <typename T>
bool setBfeOf(pagmo::algorithm& algorithm, const pagmo::bfe& b) {
  if (T* a = algorithm.extract<T>()) {
    a->set_bfe(b);
    return true;
  }
  return false;
}

void setBfe(pagmo::algorithm& a, const pagmo::bfe& b) {
  setBfeOf<pagmo::nsga2>(a, b) || setBfeOf<pagmo::nspso>(a, b) || setBfeOf<pagmo::maco>(a, b) ||
      setBfeOf<pagmo::pso_gen>(a, b) || setBfeOf<pagmo::gaco>(a, b);
}

// The algorithm's whole state in pagmo's binary form, its batch evaluator
// set back to pagmo's own first (ours points into this run).
std::string save(pagmo::algorithm a) {
  setBfe(a, pagmo::bfe{});
  std::ostringstream out;
  {
    boost::archive::binary_oarchive archive(out);
    archive << a;
  }
  return out.str();
}

pagmo::algorithm load(const std::string& bytes) {
  std::istringstream in(bytes);
  pagmo::algorithm a;
  boost::archive::binary_iarchive archive(in);
  archive >> a;
  return a;
}

// The seed of a step's population, from the run's seed and the step.
unsigned stepSeed(unsigned seed, unsigned step) {
  std::uint64_t z = (static_cast<std::uint64_t>(seed) << 32 | step) + 0x9e3779b97f4a7c15ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return static_cast<unsigned>(z ^ (z >> 31));
}

std::string shortest(double v) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  (void)ec;
  return std::string(buffer, end);
}

bool better(const kly_Objective& o, double a, double b) { return o.maximize ? a > b : a < b; }

std::vector<double> bestSoFar(const kly_OptimizationProblem& problem,
                              const std::vector<kly_OptimizationEvaluation>& done,
                              const std::vector<kly_OptimizationEvaluation>& pending) {
  const auto& objectives = problem.objectives();
  std::vector<double> best(objectives.size(), kNaN);
  for (const auto* list : {&done, &pending}) {
    for (const kly_OptimizationEvaluation& e : *list) {
      const kly_Assessment a = problem.assess(e.result);
      if (!a.feasible) continue;
      for (std::size_t j = 0; j < objectives.size(); ++j) {
        if (std::isnan(best[j]) || better(objectives[j], a.objectives[j], best[j])) best[j] = a.objectives[j];
      }
    }
  }
  return best;
}

}  // namespace

const std::vector<std::string>& kly_Optimizer::algorithms() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const AlgorithmInfo& a : kAlgorithms) n.emplace_back(a.name);
    return n;
  }();
  return names;
}

bool kly_Optimizer::takesSeveralObjectives(std::string_view algorithm) {
  const AlgorithmInfo* a = info(algorithm);
  return a && a->several;
}

kly_OptimizerSettings kly_Optimizer::resolve(const kly_OptimizationProblem& problem, kly_OptimizerSettings s) {
  const std::size_t objectives = problem.objectives().size();
  if (s.algorithm.empty()) s.algorithm = objectives > 1 ? "nsga2" : "pso_gen";
  const AlgorithmInfo* a = info(s.algorithm);
  if (!a) {
    std::string list;
    for (const AlgorithmInfo& k : kAlgorithms) list += std::string(list.empty() ? "" : ", ") + k.name;
    throw kly_OptimizationError("--algorithm " + s.algorithm + ": unknown algorithm; the algorithms are " + list);
  }
  if (objectives > 1 && !a->several)
    throw kly_OptimizationError("--algorithm " + s.algorithm + ": takes one objective, not " +
                                std::to_string(objectives) + " (for several use nsga2, nspso or maco)");
  if (objectives == 1 && a->several)
    throw kly_OptimizationError("--algorithm " + s.algorithm +
                                ": takes several objectives, not one (for one use pso_gen or gaco)");
  if (s.population == 0) s.population = a->population;
  if (s.algorithm == "nsga2" && (s.population < 8 || s.population % 4 != 0))
    throw kly_OptimizationError("--population " + std::to_string(s.population) +
                                ": nsga2 needs a multiple of 4 of at least 8");
  if (s.population < 2) throw kly_OptimizationError("--population " + std::to_string(s.population) + ": 2 or more");
  if (s.generations == 0) throw kly_OptimizationError("--generations: 1 or more");
  if (s.refine > 0 && objectives > 1)
    throw kly_OptimizationError("--refine: the local refinement takes one objective, not " +
                                std::to_string(objectives));
  return s;
}

std::string kly_Optimizer::describe(const kly_OptimizationProblem& problem, const kly_OptimizerSettings& s,
                                    std::string_view tube) {
  std::string d = "tube " + std::string(tube) + "; simulate " + (problem.simulate() ? "yes" : "no") + "; vary";
  for (const kly_OptimizationVariable& v : problem.variables())
    d += " " + v.name + "=" + shortest(v.lower) + ":" + shortest(v.upper);
  d += "; objectives";
  for (const kly_Objective& o : problem.objectives()) d += " " + o.text();
  d += "; constraints";
  for (const kly_Constraint& c : problem.constraints()) d += " " + c.text;
  const kly_FigureSettings& f = problem.figures();
  d += "; band " + shortest(f.bandSpan) + " " + std::to_string(f.bandSamples) + "; saturation";
  for (double p : f.saturationDrives) d += " " + shortest(p);
  d += "; algorithm " + s.algorithm + "; population " + std::to_string(s.population) + "; seed " +
       std::to_string(s.seed) + "; refine " + std::to_string(s.refine);
  return d;
}

kly_Optimizer::Outcome kly_Optimizer::run(const kly_OptimizationProblem& problem, const kly_OptimizerSettings& s,
                                          kly_PointExecutor& executor, kly_OptimizerState& state,
                                          const Callbacks& callbacks) {
  pagmo::vector_double lower, upper;
  for (const kly_OptimizationVariable& v : problem.variables()) {
    lower.push_back(v.lower);
    upper.push_back(v.upper);
  }
  const std::size_t nobj = problem.objectives().size();
  const unsigned total = s.generations + (s.refine > 0 ? 1u : 0u);
  if (state.refined && state.steps < s.generations)
    throw kly_OptimizationError("the checkpoint's run ended with its refinement after " + std::to_string(state.steps) +
                                " generations; start afresh for more");

  auto finishStep = [&](unsigned step, Evaluator& ev, std::chrono::steady_clock::time_point start) {
    kly_GenerationReport report;
    report.step = step;
    report.steps = total;
    report.evaluations = ev.pending.size();
    for (const auto& e : ev.pending) report.feasible += problem.assess(e.result).feasible ? 1 : 0;
    report.best = bestSoFar(problem, state.evaluations, ev.pending);
    for (auto& e : ev.pending) state.evaluations.push_back(std::move(e));
    report.allEvaluations = state.evaluations.size();
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (callbacks.checkpoint) callbacks.checkpoint(state);
    if (callbacks.progress) callbacks.progress(report);
  };

  try {
    if (!state.started) {
      // The first population: the starting tube (its values brought within
      // the bounds) when it has every variable, the rest drawn evenly within
      // the bounds.
      const auto start = std::chrono::steady_clock::now();
      Evaluator ev(problem, executor, callbacks, 0);
      std::mt19937 engine(s.seed);
      std::vector<pagmo::vector_double> points;
      pagmo::vector_double first;
      for (const kly_OptimizationVariable& v : problem.variables()) {
        if (std::isnan(v.start)) break;
        first.push_back(std::clamp(v.start, v.lower, v.upper));
      }
      if (first.size() == problem.dimension()) points.push_back(first);
      while (points.size() < s.population) {
        pagmo::vector_double x;
        for (std::size_t k = 0; k < lower.size(); ++k)
          x.push_back(std::uniform_real_distribution<double>(lower[k], upper[k])(engine));
        points.push_back(std::move(x));
      }
      const pagmo::vector_double f = ev.evaluate(points);
      state.x = points;
      state.f.clear();
      for (std::size_t i = 0; i < points.size(); ++i)
        state.f.emplace_back(f.begin() + static_cast<std::ptrdiff_t>(i * nobj),
                             f.begin() + static_cast<std::ptrdiff_t>((i + 1) * nobj));
      state.algorithm = save(makeAlgorithm(s));
      state.started = true;
      state.steps = 0;
      finishStep(0, ev, start);
    }
    // One step of the algorithm from the state's population; the state
    // itself changes only once the caller has all it keeps of the step.
    auto evolve = [&](unsigned step, pagmo::algorithm& algorithm, Evaluator& ev) {
      pagmo::problem prob{TubeProblem{&ev, lower, upper, nobj}};
      pagmo::population pop{prob, 0u, stepSeed(s.seed, step)};
      for (std::size_t i = 0; i < state.x.size(); ++i) pop.push_back(state.x[i], state.f[i]);
      setBfe(algorithm, pagmo::bfe{TubeBatch{&ev}});
      return algorithm.evolve(pop);
    };
    while (state.steps < s.generations) {
      const unsigned step = state.steps + 1;
      const auto start = std::chrono::steady_clock::now();
      Evaluator ev(problem, executor, callbacks, step);
      pagmo::algorithm algorithm = load(state.algorithm);
      const pagmo::population pop = evolve(step, algorithm, ev);
      state.algorithm = save(algorithm);
      state.x = pop.get_x();
      state.f = pop.get_f();
      state.steps = step;
      finishStep(step, ev, start);
    }
    if (s.refine > 0 && !state.refined) {
      // A compass search from the best point: one evaluation after the
      // other, each deciding the next.
      const unsigned step = s.generations + 1;
      const auto start = std::chrono::steady_clock::now();
      Evaluator ev(problem, executor, callbacks, step);
      pagmo::algorithm refinement{pagmo::compass_search(s.refine, 0.05, 1e-3, 0.5)};
      const pagmo::population pop = evolve(step, refinement, ev);
      state.x = pop.get_x();
      state.f = pop.get_f();
      state.refined = true;
      finishStep(step, ev, start);
    }
  } catch (const Stopped&) {
    return Outcome::stopped;
  }
  return Outcome::completed;
}

std::vector<std::size_t> kly_Optimizer::front(const kly_OptimizationProblem& problem,
                                              const std::vector<kly_OptimizationEvaluation>& evaluations,
                                              std::size_t most) {
  const auto& objectives = problem.objectives();
  // Feasible evaluations, each set of values once (the first).
  std::vector<std::size_t> candidates;
  std::vector<pagmo::vector_double> points;
  for (std::size_t i = 0; i < evaluations.size(); ++i) {
    const kly_Assessment a = problem.assess(evaluations[i].result);
    if (!a.feasible) continue;
    const bool seen = std::any_of(candidates.begin(), candidates.end(), [&](std::size_t c) {
      const auto& u = evaluations[c].values;
      const auto& v = evaluations[i].values;
      return u.size() == v.size() && std::memcmp(u.data(), v.data(), u.size() * sizeof(double)) == 0;
    });
    if (seen) continue;
    candidates.push_back(i);
    points.push_back(a.fitness);
  }
  if (candidates.empty() || most == 0) return {};
  std::vector<std::size_t> chosen;
  if (objectives.size() == 1) {
    chosen = candidates;
  } else {
    const auto sorted = pagmo::fast_non_dominated_sorting(points);
    for (auto k : std::get<0>(sorted).front()) chosen.push_back(candidates[k]);
  }
  auto first = [&](std::size_t i) { return problem.assess(evaluations[i].result).fitness[0]; };
  std::stable_sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
    const double fa = first(a), fb = first(b);
    return fa != fb ? fa < fb : a < b;
  });
  if (objectives.size() == 1 && chosen.size() > most) chosen.resize(most);
  if (chosen.size() > most) {
    std::vector<std::size_t> spread;
    for (std::size_t k = 0; k < most; ++k)
      spread.push_back(chosen[most == 1 ? 0 : k * (chosen.size() - 1) / (most - 1)]);
    chosen = std::move(spread);
  }
  return chosen;
}
