// The optimiser on the analytic model of the S-band tube: it finds the
// optimum a fine sweep finds, a resumed run and runs on other worker counts
// equal one that went through, points that miss a constraint or fail never
// enter the front, and requests that cannot be used are refused in
// words before anything runs.
#include "optimizer/kly_Optimizer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <tuple>

#include "kly_TestTubes.h"
#include "klystron/driver/kly_PointEvaluation.h"
#include "klystron/driver/kly_Sweep.h"
#include "klystron/driver/kly_SweepAnalysis.h"

namespace {

constexpr double kLow = 2.84e9, kHigh = 2.92e9;  // the idler's frequency range [Hz]

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// The S-band tube with its idler (and, given a second value, the
// second-harmonic buncher) tuned to the values; refused above `refuseAbove`
// Hz of the idler.
kly_OptimizationProblem::Make tuned(double refuseAbove = kHigh + 1) {
  return [refuseAbove](const std::vector<double>& x) {
    if (x[0] > refuseAbove) throw std::invalid_argument("cavities[1].frequency: refused by the test");
    kly_TubeDescription d = kly_test::sBandDescription();
    d.cavities[1].frequency = x[0];
    if (x.size() > 1) d.cavities[2].frequency = x[1];
    return d;
  };
}

std::vector<kly_OptimizationVariable> idler() { return {{"cavities[1].frequency", kLow, kHigh, 2.870e9}}; }

kly_OptimizationProblem gainProblem(std::vector<kly_Constraint> constraints = {}, double refuseAbove = kHigh + 1) {
  return kly_OptimizationProblem(idler(), {kly_Objective::parse("max:analyticGain")}, std::move(constraints),
                                 tuned(refuseAbove), false);
}

// Gain and -1 dB bandwidth over the idler's and the buncher's frequencies, on a coarse band sweep.
kly_OptimizationProblem twoObjectives() {
  kly_FigureSettings figures;
  figures.bandSamples = 15;
  return kly_OptimizationProblem(
      {{"cavities[1].frequency", kLow, kHigh}, {"cavities[2].frequency", 5.70e9, 5.80e9}},
      {kly_Objective::parse("max:analyticGain"), kly_Objective::parse("max:analyticBandwidth1dB")}, {}, tuned(), false,
      figures);
}

kly_OptimizerState runToEnd(const kly_OptimizationProblem& p, const kly_OptimizerSettings& s, int workers,
                            kly_Optimizer::Callbacks callbacks = {}) {
  kly_ThreadExecutor executor(workers);
  kly_OptimizerState state;
  EXPECT_EQ(kly_Optimizer::run(p, s, executor, state, callbacks), kly_Optimizer::Outcome::completed);
  return state;
}

// Everything of two states but the wall times of the evaluations.
void expectSameRun(const kly_OptimizerState& a, const kly_OptimizerState& b) {
  EXPECT_EQ(a.steps, b.steps);
  EXPECT_EQ(a.algorithm, b.algorithm);
  ASSERT_EQ(a.x.size(), b.x.size());
  for (std::size_t i = 0; i < a.x.size(); ++i) {
    for (std::size_t k = 0; k < a.x[i].size(); ++k) EXPECT_EQ(bits(a.x[i][k]), bits(b.x[i][k]));
    for (std::size_t k = 0; k < a.f[i].size(); ++k) EXPECT_EQ(bits(a.f[i][k]), bits(b.f[i][k]));
  }
  ASSERT_EQ(a.evaluations.size(), b.evaluations.size());
  for (std::size_t i = 0; i < a.evaluations.size(); ++i) {
    const auto &u = a.evaluations[i], &v = b.evaluations[i];
    EXPECT_EQ(u.step, v.step);
    EXPECT_EQ(u.index, v.index);
    ASSERT_EQ(u.values.size(), v.values.size());
    for (std::size_t k = 0; k < u.values.size(); ++k) EXPECT_EQ(bits(u.values[k]), bits(v.values[k])) << i;
    ASSERT_EQ(u.result.scalars.size(), v.result.scalars.size());
    for (std::size_t k = 0; k < u.result.scalars.size(); ++k)
      EXPECT_EQ(bits(u.result.scalars[k].second), bits(v.result.scalars[k].second)) << u.result.scalars[k].first;
  }
}

TEST(OptimizerTest, FindsTheLargestGainOverTheIdlersFrequencyThatAFineSweepFinds) {
  // The sweep: 401 frequencies 200 kHz apart, then 401 at 2 kHz around the largest.
  auto gainAt = [](double f) {
    return *kly_PointEvaluation::evaluate(tuned()({f}), kly_Sweep::pointOptions(false)).find("analyticGain");
  };
  double bestF = 0, bestGain = -1e300;
  for (int i = 0; i <= 400; ++i) {
    const double f = kLow + (kHigh - kLow) * i / 400;
    if (const double g = gainAt(f); g > bestGain) std::tie(bestF, bestGain) = std::pair{f, g};
  }
  const double coarse = bestF;
  for (int i = -200; i <= 200; ++i) {
    const double f = coarse + 2e3 * i;
    if (const double g = gainAt(f); g > bestGain) std::tie(bestF, bestGain) = std::pair{f, g};
  }
  // The maximum lies inside the range, not at an end.
  ASSERT_GT(bestF, kLow + 1e6);
  ASSERT_LT(bestF, kHigh - 1e6);

  const kly_OptimizationProblem p = gainProblem();
  kly_OptimizerSettings s =
      kly_Optimizer::resolve(p, {.algorithm = "", .population = 10, .generations = 12, .seed = 7, .refine = 60});
  EXPECT_EQ(s.algorithm, "pso_gen");
  const kly_OptimizerState state = runToEnd(p, s, 2);
  EXPECT_TRUE(state.refined);
  const std::vector<std::size_t> front = kly_Optimizer::front(p, state.evaluations, 5);
  ASSERT_FALSE(front.empty());
  const kly_OptimizationEvaluation& best = state.evaluations[front[0]];
  EXPECT_NEAR(best.values[0], bestF, 0.1e6);
  EXPECT_GE(*best.result.find("analyticGain"), bestGain - 1e-4);
  // The best points in order, best first.
  for (std::size_t k = 1; k < front.size(); ++k)
    EXPECT_GE(*state.evaluations[front[k - 1]].result.find("analyticGain"),
              *state.evaluations[front[k]].result.find("analyticGain"));
  // The first population starts from the tube as it is.
  EXPECT_EQ(state.evaluations[0].values[0], 2.870e9);
}

TEST(OptimizerTest, AResumedRunAndRunsOnOtherWorkerCountsEqualOneThatWentThrough) {
  struct Case {
    kly_OptimizationProblem problem;
    kly_OptimizerSettings settings;
  };
  const Case cases[] = {
      {twoObjectives(), {.algorithm = "nsga2", .population = 8, .generations = 4, .seed = 3}},
      {gainProblem(), {.algorithm = "pso_gen", .population = 6, .generations = 4, .seed = 5, .refine = 12}},
      {gainProblem(), {.algorithm = "gaco", .population = 8, .generations = 4, .seed = 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings.algorithm);
    const kly_OptimizerSettings s = kly_Optimizer::resolve(c.problem, c.settings);
    const kly_OptimizerState through = runToEnd(c.problem, s, 1);

    // Stopped in the third generation, after the checkpoint of the second.
    std::string checkpoint;
    bool stopping = false;
    kly_Optimizer::Callbacks callbacks;
    callbacks.checkpoint = [&](const kly_OptimizerState& st) {
      checkpoint = st.write();
      stopping = st.steps == 2;
    };
    callbacks.stop = [&stopping] { return stopping; };
    kly_ThreadExecutor two(2);
    kly_OptimizerState stopped;
    EXPECT_EQ(kly_Optimizer::run(c.problem, s, two, stopped, callbacks), kly_Optimizer::Outcome::stopped);
    EXPECT_EQ(stopped.steps, 2u);
    EXPECT_EQ(stopped.write(), checkpoint);  // the generation cut short left nothing behind

    kly_OptimizerState resumed = kly_OptimizerState::read(checkpoint);
    EXPECT_EQ(kly_Optimizer::run(c.problem, s, two, resumed), kly_Optimizer::Outcome::completed);
    expectSameRun(through, resumed);
    // Three workers, straight through.
    expectSameRun(through, runToEnd(c.problem, s, 3));
    // Another seed searches elsewhere.
    kly_OptimizerSettings other = s;
    other.seed += 1;
    EXPECT_NE(runToEnd(c.problem, other, 2).evaluations.back().values, through.evaluations.back().values);
  }
}

// An executor as one over other processes works: it runs no task of the
// optimiser's own but the text of each (kly_PointTask), in reverse order.
class TextExecutor final : public kly_PointExecutor {
public:
  const std::vector<kly_PointTask>* tasks = nullptr;
  int workers() const override { return 5; }
  void describeTasks(Describe d) override { describe_ = std::move(d); }
  void run(std::size_t count, const Task&, const Done& done, const Stop&) override {
    for (std::size_t i = count; i-- > 0;) {
      const std::string text = describe_(i);
      EXPECT_EQ(text, kly_PointTask::write((*tasks)[i].tube, (*tasks)[i].options));
      done(i, kly_PointTask::evaluate(text));
    }
  }

private:
  Describe describe_;
};

TEST(OptimizerTest, EachBatchIsPlainPointTasksThatAnotherProcessEvaluatesFromTheirText) {
  const kly_OptimizationProblem p = twoObjectives();
  const kly_OptimizerSettings s =
      kly_Optimizer::resolve(p, {.algorithm = "nsga2", .population = 8, .generations = 2, .seed = 4});
  TextExecutor remote;
  std::size_t batches = 0;
  kly_Optimizer::Callbacks callbacks;
  callbacks.batch = [&](const std::vector<kly_PointTask>& tasks) {
    remote.tasks = &tasks;
    ++batches;
    EXPECT_EQ(tasks.size(), 8u * (1 + 15));  // each point and its band sweep
  };
  kly_OptimizerState state;
  ASSERT_EQ(kly_Optimizer::run(p, s, remote, state, callbacks), kly_Optimizer::Outcome::completed);
  EXPECT_EQ(batches, 3u);
  expectSameRun(runToEnd(p, s, 2), state);
  ASSERT_NE(state.evaluations[0].result.find("analyticBandwidth1dB"), nullptr);
}

TEST(OptimizerTest, TheDerivedFiguresAreThoseOfTheSweepsOfThePointsTube) {
  // The S-band tube with a small simulation, its saturation read off a
  // drive sweep of three drives and its -1 dB band off 15 analytic runs.
  kly_FigureSettings figures;
  figures.bandSamples = 15;
  figures.saturationDrives = {20, 60, 180};
  auto make = [](const std::vector<double>& x) {
    kly_TubeDescription d = kly_test::sBandDescription();
    d.cavities[1].frequency = x[0];
    d.simulation = kly_SimulationSettings{};
    d.simulation->disks = 8;
    d.simulation->rings = 1;
    d.simulation->steps = 16;
    d.simulation->maxIterations = 40;
    return d;
  };
  const kly_OptimizationProblem p(
      idler(),
      {kly_Objective::parse("max:simulatedSaturatedOutputPower"), kly_Objective::parse("max:analyticBandwidth1dB")}, {},
      make, true, figures);
  const kly_PointResult r = p.evaluate({2.87e9});
  ASSERT_EQ(r.status, kly_PointStatus::ok) << r.message;

  std::vector<double> power, efficiency, f, gain;
  for (double drive : figures.saturationDrives) {
    kly_TubeDescription t = make({2.87e9});
    t.beam.inputPower = drive;
    const kly_PointResult d = kly_PointEvaluation::evaluate(t, kly_Sweep::pointOptions(true));
    power.push_back(*d.find("simulatedOutputPower"));
    efficiency.push_back(*d.find("simulatedElectronicEfficiency"));
  }
  const kly_Saturation s = kly_SweepAnalysis::saturation(figures.saturationDrives, power, efficiency);
  ASSERT_TRUE(s.found);
  EXPECT_EQ(bits(kly_OptimizationProblem::value(r, "simulatedSaturatedOutputPower")), bits(s.outputPower));
  EXPECT_EQ(bits(kly_OptimizationProblem::value(r, "simulatedSaturatedElectronicEfficiency")), bits(s.efficiency));
  EXPECT_EQ(bits(kly_OptimizationProblem::value(r, "simulatedSaturatedDrive")), bits(s.drive));
  for (int i = 0; i < 15; ++i) {
    kly_TubeDescription t = make({2.87e9});
    t.simulation.reset();
    t.beam.frequency = 2.856e9 * (1 - 0.03 + 2 * 0.03 * i / 14);
    f.push_back(t.beam.frequency);
    gain.push_back(*kly_PointEvaluation::evaluate(t, kly_Sweep::pointOptions(false)).find("analyticGain"));
  }
  const kly_Band band = kly_SweepAnalysis::band(f, gain, 1.0);
  ASSERT_TRUE(band.found);
  ASSERT_LE(band.lower, 2.856e9);
  ASSERT_GE(band.upper, 2.856e9);
  EXPECT_EQ(bits(kly_OptimizationProblem::value(r, "analyticBandwidth1dB")), bits(band.width()));
  // The point's own record comes first, the figures after it.
  EXPECT_EQ(r.scalars.back().first, "simulatedSaturatedElectronicEfficiency");
  EXPECT_EQ(bits(*r.find("simulatedGain")),
            bits(*kly_PointEvaluation::evaluate(make({2.87e9}), kly_Sweep::pointOptions(true)).find("simulatedGain")));
}

TEST(OptimizerTest, PointsThatMissAConstraintOrFailNeverEnterTheFront) {
  // The gain held at most 3 dB under its largest value, and the upper
  // quarter of the range refused: the optimiser is drawn to infeasible points.
  const double limit = 40.0;
  const kly_OptimizationProblem p =
      gainProblem({kly_Constraint::parse("analyticGain<=40")}, kLow + 0.75 * (kHigh - kLow));
  const kly_OptimizerSettings s =
      kly_Optimizer::resolve(p, {.algorithm = "", .population = 10, .generations = 6, .seed = 2});
  const kly_OptimizerState state = runToEnd(p, s, 2);
  std::size_t failed = 0, missed = 0;
  for (const auto& e : state.evaluations) {
    const kly_Assessment a = p.assess(e.result);
    failed += e.result.status == kly_PointStatus::failed ? 1 : 0;
    missed += e.result.status == kly_PointStatus::ok && !a.feasible ? 1 : 0;
    if (!a.feasible) {
      for (double f : a.fitness) EXPECT_GE(f, kly_OptimizationProblem::kInfeasible);
    }
  }
  EXPECT_GT(failed, 0u);
  EXPECT_GT(missed, 0u);
  const auto front = kly_Optimizer::front(p, state.evaluations, 50);
  ASSERT_FALSE(front.empty());
  for (std::size_t i : front) {
    EXPECT_EQ(state.evaluations[i].result.status, kly_PointStatus::ok);
    EXPECT_LE(*state.evaluations[i].result.find("analyticGain"), limit);
  }

  // Of two objectives, an infeasible point that dominates every feasible
  // one stays out; of the feasible ones, only those no other dominates.
  const kly_OptimizationProblem two = twoObjectives();
  const kly_OptimizationProblem constrained(two.variables(), two.objectives(),
                                            {kly_Constraint::parse("analyticGain<=40")}, tuned(), false);
  auto point = [](double gain, double band, double x) {
    kly_OptimizationEvaluation e;
    e.values = {x, 5.75e9};
    e.result.status = kly_PointStatus::ok;
    e.result.scalars = {{"analyticGain", gain}, {"analyticBandwidth1dB", band}};
    return e;
  };
  const std::vector<kly_OptimizationEvaluation> made = {point(45, 9e6, 1), point(39, 5e6, 2), point(35, 8e6, 3),
                                                        point(38, 4e6, 4), point(35, 8e6, 3)};
  EXPECT_EQ(kly_Optimizer::front(constrained, made, 50), (std::vector<std::size_t>{1, 2}));
}

TEST(OptimizerTest, RequestsThatCannotBeUsedAreRefusedInWords) {
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { kly_Objective::parse("maximum:analyticGain"); }, "expected max:RESULT or min:RESULT"},
      {[] { kly_Objective::parse("max:"); }, "the result name is missing"},
      {[] { kly_Constraint::parse("analyticGain>40"); }, "expected RESULT>=VALUE"},
      {[] { kly_Constraint::parse("analyticGain>=forty"); }, "expected a number after the comparison, found \"forty\""},
      {[] { kly_Constraint::parse("diskReflected==no"); }, "== takes true or false"},
      {[] { gainProblem({kly_Constraint::parse("analyticGian>=40")}); }, "unknown result \"analyticGian\""},
      {[] { gainProblem({kly_Constraint::parse("diskReflected==false")}); },
       "diskReflected is a result of the simulation, which does not run here"},
      {[] { gainProblem({kly_Constraint::parse("analyticGain==true")}); }, "analyticGain is a number"},
      {[] {
         kly_OptimizationProblem({{"cavities[1].frequency", kHigh, kLow}}, {kly_Objective::parse("max:analyticGain")},
                                 {}, tuned(), false);
       },
       "--vary cavities[1].frequency: LOW must be below HIGH (LOW >= HIGH)"},
      {[] {
         kly_OptimizationProblem(idler(), {kly_Objective::parse("max:simulatedSaturatedOutputPower")}, {}, tuned(),
                                 true);
       },
       "needs a drive sweep: --saturation-drives"},
      {[] { kly_Optimizer::resolve(gainProblem(), {.algorithm = "nsga2"}); },
       "--algorithm nsga2: takes several objectives, not one (for one use pso_gen or gaco)"},
      {[] { kly_Optimizer::resolve(twoObjectives(), {.algorithm = "pso_gen"}); },
       "--algorithm pso_gen: takes one objective, not 2"},
      {[] { kly_Optimizer::resolve(twoObjectives(), {.algorithm = "cmaes"}); },
       "--algorithm cmaes: unknown algorithm; the algorithms are nsga2, nspso, maco, pso_gen, gaco"},
      {[] { kly_Optimizer::resolve(twoObjectives(), {.algorithm = "", .population = 10}); },
       "nsga2 needs a multiple of 4"},
      {[] { kly_Optimizer::resolve(twoObjectives(), {.algorithm = "", .refine = 10}); },
       "--refine: the local refinement takes one"},
  };
  for (const auto& [specify, message] : cases) {
    try {
      specify();
      ADD_FAILURE() << "accepted; expected: " << message;
    } catch (const kly_OptimizationError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

TEST(OptimizerStateTest, ACheckpointComesBackToTheLastBitAndACutOneIsRefused) {
  kly_OptimizerState s;
  s.problem = "tube abc; vary x=0:1";
  s.steps = 3;
  s.started = true;
  s.algorithm = std::string("\0\x01\xff binary", 10);
  s.x = {{0.1, -0.0}};
  s.f = {{std::numeric_limits<double>::quiet_NaN(), 1e300}};
  kly_OptimizationEvaluation e;
  e.step = 2;
  e.index = 5;
  e.values = {0.1, -0.0};
  e.result.status = kly_PointStatus::failed;
  e.result.message = "refused";
  s.evaluations = {e};
  const std::string text = s.write();
  const kly_OptimizerState back = kly_OptimizerState::read(text);
  EXPECT_EQ(back.write(), text);
  EXPECT_EQ(back.algorithm, s.algorithm);
  EXPECT_EQ(bits(back.x[0][1]), bits(-0.0));
  EXPECT_TRUE(std::isnan(back.f[0][0]));
  EXPECT_EQ(back.evaluations[0].result.message, "refused");
  EXPECT_THROW(kly_OptimizerState::read(text.substr(0, text.size() - 4)), std::invalid_argument);
  EXPECT_THROW(kly_OptimizerState::read("klystron sweep journal 1\n"), std::invalid_argument);
}

}  // namespace
