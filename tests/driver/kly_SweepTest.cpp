// Sweeps on the worker threads: every point's record that of its tube
// evaluated alone, the tasks handed out as workers come free, stops and
// errors that keep what is done, fingerprints that follow everything a
// result depends on.
#include "klystron/driver/kly_Sweep.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "kly_Files.h"
#include "kly_TestTubes.h"
#include "klystron/driver/kly_PointTask.h"
#include "klystron/driver/kly_TubeHash.h"
#include "klystron/model/kly_Klystron.h"

namespace {

using kly_test::smallSimulatedTube;

kly_SweepParameter idlerFrequency(std::vector<double> values) {
  return {"cavities[1].frequency", std::move(values),
          [](kly_TubeDescription& t, double f) { t.cavities.at(1).frequency = f; }};
}

// Bits of a double, for comparisons that NaN and -0 do not fool.
std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(SweepTest, EachPointIsItsTubeRunThroughTheJavaClassRoute) {
  // The tube with its output gap from a field file (whose profile sets M at
  // each rebuild), swept over the idler's frequency; each point against the
  // same tube described setter by setter and run as the Java methods run it,
  // the simulation on two threads.
  kly_TubeDescription base = smallSimulatedTube();
  const std::string field = kly_test::dataFile("gap-field-radial.txt");
  base.cavities[3].hasFieldFile = true;
  base.cavities[3].fieldFile = field;
  base.cavities[3].fieldRings = 2;
  const std::vector<double> f = {2.862e9, 2.870e9, 2.885e9};
  const kly_SweepPlan plan = kly_Sweep::grid(base, {idlerFrequency(f)});
  kly_ThreadExecutor workers(2);
  std::vector<std::size_t> seen;
  kly_Sweep::Options options;
  options.observer = [&seen](std::size_t point, const kly_PointResult&) { seen.push_back(point); };
  const auto results = kly_Sweep::run(plan, workers, options);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(std::set<std::size_t>(seen.begin(), seen.end()), (std::set<std::size_t>{0, 1, 2}));
  for (std::size_t i = 0; i < f.size(); ++i) {
    ASSERT_TRUE(results[i]);
    const kly_PointResult& r = *results[i];
    EXPECT_EQ(r.status, kly_PointStatus::ok) << r.statusText();
    kly_Klystron model;
    const kly_BeamDescription& b = base.beam;
    model.setOperatingParameters(b.voltage, b.current, b.frequency, b.inputPower, b.tubeRadius, b.beamRadius);
    for (const kly_CavityDescription& c : base.cavities)
      model.addCavity(c.z, c.frequency, c.m, c.harmonic, c.gapWidth, c.rq, c.qo, c.qe);
    model.setCavityFrequency(1, f[i]);
    model.loadCavityField(3, field, 0, 2);
    kly_Analytic analytic;
    analytic.calculateAnalytics(model);
    kly_DiskSimulation simulation;
    kly_SimulationOptions twoThreads;
    twoThreads.threads = 2;
    simulation.simulate(model, 8, 2, 16, 40, twoThreads);
    const std::pair<const char*, double> expected[] = {
        {"analyticGain", analytic.getGain()},
        {"analyticOutputPower", analytic.getOutputPower()},
        {"analyticMultipleOutputElectronicEfficiency", analytic.getMultipleOutputElectronicEfficiency()},
        {"simulatedGain", simulation.getSimulatedGain()},
        {"simulatedOutputPower", simulation.getSimulatedOutputPower()},
        {"simulatedElectronicEfficiency", simulation.getSimulatedElectronicEfficiency()},
        {"simulatedMaxI1I0", simulation.getSimulatedMaxI1I0()},
        {"simulatedBb1", simulation.getSimulatedBb1()}};
    for (const auto& [name, value] : expected) {
      ASSERT_NE(r.find(name), nullptr) << name;
      EXPECT_EQ(bits(*r.find(name)), bits(value)) << "point " << i << ": " << name;
    }
    EXPECT_EQ(r.passes, simulation.getSimulatedIterations());
    EXPECT_EQ(bits(r.findArray("simulatedCavityVoltage")->at(2)), bits(simulation.getSimulatedCavityVoltage(2)));
    EXPECT_EQ(bits(r.findArray("m")->at(3)), bits(model.getM(3)));  // the profile's, not the description's
    EXPECT_NE(r.findArray("m")->at(3), base.cavities[3].m);
  }
  // The points differ: the parameter reached the tube.
  EXPECT_NE(*results[0]->find("simulatedGain"), *results[2]->find("simulatedGain"));
}

TEST(PointEvaluationTest, TheListedScalarNamesAreThoseOfARecordInItsOrder) {
  // The list a caller checks result names against before anything runs.
  for (bool simulate : {false, true}) {
    const kly_PointResult r = kly_PointEvaluation::evaluate(smallSimulatedTube(), kly_Sweep::pointOptions(simulate));
    ASSERT_NE(r.status, kly_PointStatus::failed) << r.message;
    std::vector<std::string> names;
    for (const auto& s : r.scalars) names.push_back(s.first);
    EXPECT_EQ(names, kly_PointEvaluation::scalarNames(simulate)) << (simulate ? "simulated" : "analytic");
  }
}

TEST(SweepTest, TheGridRunsTheFirstParameterSlowest) {
  kly_TubeDescription base = kly_test::sBandDescription();
  const kly_SweepPlan plan =
      kly_Sweep::grid(base,
                      {{"beam.voltage", {100e3, 110e3}, [](kly_TubeDescription& t, double v) { t.beam.voltage = v; }},
                       idlerFrequency({2.86e9, 2.87e9, 2.88e9})},
                      false);
  ASSERT_EQ(plan.points.size(), 6u);
  EXPECT_EQ(plan.points[4].values, (std::vector<double>{110e3, 2.87e9}));
  EXPECT_EQ(plan.indices(4), (std::vector<std::size_t>{1, 1}));
  EXPECT_EQ(plan.points[4].tube->beam.voltage, 110e3);
  EXPECT_EQ(plan.points[4].tube->cavities[1].frequency, 2.87e9);
  EXPECT_THROW(kly_Sweep::grid(base, {}), std::invalid_argument);
  EXPECT_THROW(kly_Sweep::grid(base, {idlerFrequency({})}), std::invalid_argument);
}

TEST(SweepTest, ARefusedOrFailingPointIsRecordedAndTheRestComplete) {
  const kly_TubeDescription base = smallSimulatedTube();
  kly_SweepParameter qe{"cavities[3].qe", {25, -1, 40, 50}, [](kly_TubeDescription& t, double q) {
                          if (q <= 0) throw std::invalid_argument("a Qe of " + std::to_string(q) + " is not above 0");
                          t.cavities.at(3).qe = q;
                        }};
  kly_SweepParameter rings{
      "simulation.rings", {2, 25}, [](kly_TubeDescription& t, double r) { t.simulation->rings = static_cast<int>(r); }};
  const kly_SweepPlan plan = kly_Sweep::grid(base, {qe, rings});
  EXPECT_FALSE(plan.points[2].tube);  // (-1, 2): refused by its parameter
  EXPECT_NE(plan.points[2].refusal.find("not above 0"), std::string::npos);
  EXPECT_EQ(kly_Sweep::pending(plan, {}), (std::vector<std::size_t>{0, 1, 4, 5, 6, 7}));  // not the refused ones
  kly_ThreadExecutor workers(2);
  std::atomic<int> observed{0};
  kly_Sweep::Options options;
  options.observer = [&](std::size_t, const kly_PointResult&) { ++observed; };
  const auto results = kly_Sweep::run(plan, workers, options);
  ASSERT_EQ(results.size(), 8u);
  for (std::size_t i = 0; i < results.size(); ++i) {
    ASSERT_TRUE(results[i]) << i;
    const bool refused = i == 2 || i == 3;
    const bool tooManyRings = i % 2 == 1 && !refused;  // 25 rings: the simulation refuses them
    if (refused) {
      EXPECT_EQ(results[i]->status, kly_PointStatus::failed);
      EXPECT_NE(results[i]->message.find("is not above 0"), std::string::npos);
    } else if (tooManyRings) {
      EXPECT_EQ(results[i]->status, kly_PointStatus::failed);
      EXPECT_NE(results[i]->message.find("25"), std::string::npos) << results[i]->message;
      EXPECT_FALSE(results[i]->simulated);
    } else {
      EXPECT_EQ(results[i]->status, kly_PointStatus::ok) << i << ": " << results[i]->statusText();
      EXPECT_TRUE(results[i]->find("simulatedGain"));
    }
  }
  EXPECT_EQ(observed.load(), 6);  // the evaluated points; refused ones need no work
}

TEST(SweepTest, RecordsGivenAreKeptAndOnlyTheOthersRun) {
  const kly_SweepPlan plan =
      kly_Sweep::grid(kly_test::sBandDescription(), {idlerFrequency({2.86e9, 2.87e9, 2.88e9})}, false);
  std::vector<std::optional<kly_PointResult>> done(3);
  kly_PointResult kept;
  kept.status = kly_PointStatus::ok;
  kept.scalars = {{"analyticGain", 12345}};
  done[1] = kept;
  kly_ThreadExecutor one(1);
  std::vector<std::size_t> evaluated;
  kly_Sweep::Options options;
  options.observer = [&](std::size_t i, const kly_PointResult&) { evaluated.push_back(i); };
  // The tasks the executor gets, as another process learns them: the points
  // without a record, in order.
  EXPECT_EQ(kly_Sweep::pending(plan, done), (std::vector<std::size_t>{0, 2}));
  const auto results = kly_Sweep::run(plan, one, options, done);
  EXPECT_EQ(evaluated, (std::vector<std::size_t>{0, 2}));
  EXPECT_TRUE(results[1]->identical(kept));
  EXPECT_NE(*results[0]->find("analyticGain"), 12345);
  EXPECT_THROW(kly_Sweep::run(plan, one, {}, std::vector<std::optional<kly_PointResult>>(2)), std::invalid_argument);
}

// An executor as one over several processes sees the sweep: every task both
// run here and evaluated from the text another process would get.
class TextCheckingExecutor final : public kly_PointExecutor {
public:
  int workers() const override { return 1; }
  void describeTasks(Describe describe) override { describe_ = std::move(describe); }
  void run(std::size_t count, const Task& task, const Done& done, const Stop&) override {
    ASSERT_TRUE(describe_);
    for (std::size_t i = 0; i < count; ++i) {
      kly_PointResult here = task(i);
      kly_PointResult there = kly_PointTask::evaluate(describe_(i));
      there.seconds = here.seconds;
      EXPECT_TRUE(there.identical(here)) << "task " << i;
      done(i, std::move(here));
    }
  }

private:
  Describe describe_;
};

TEST(SweepTest, EveryTaskIsDescribedAsTheTextOfItsPoint) {
  kly_SweepParameter drive{"beam.inputPower", {-1, 30, 60}, [](kly_TubeDescription& t, double p) {
                             if (p < 0) throw std::invalid_argument("below 0");
                             t.beam.inputPower = p;
                           }};
  const kly_SweepPlan plan = kly_Sweep::grid(smallSimulatedTube(), {drive, idlerFrequency({2.86e9, 2.87e9})});
  std::vector<std::optional<kly_PointResult>> done(plan.points.size());
  done[3] = kly_PointResult();  // kept: not a task
  TextCheckingExecutor executor;
  const auto results = kly_Sweep::run(plan, executor, {}, done);
  EXPECT_EQ(kly_Sweep::pending(plan, done), (std::vector<std::size_t>{2, 4, 5}));
  for (std::size_t i : {2, 4, 5}) EXPECT_EQ(results[i]->status, kly_PointStatus::ok) << i;
}

TEST(SweepTest, AStopKeepsThePointsDoneAndStartsNoMore) {
  const kly_SweepPlan plan = kly_Sweep::grid(
      kly_test::sBandDescription(), {idlerFrequency({2.86e9, 2.865e9, 2.87e9, 2.875e9, 2.88e9, 2.885e9})}, false);
  kly_ThreadExecutor one(1);
  int asked = 0;
  kly_Sweep::Options options;
  options.stop = [&asked] { return ++asked > 2; };
  const auto results = kly_Sweep::run(plan, one, options);
  for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i].has_value(), i < 2) << i;
}

// ---- the executor ----------------------------------------------------------------

kly_PointResult record(double v) {
  kly_PointResult r;
  r.status = kly_PointStatus::ok;
  r.scalars = {{"v", v}};
  return r;
}

TEST(ThreadExecutorTest, EveryTaskOnceAndTheRecordsOneAtATime) {
  kly_ThreadExecutor workers(3);
  EXPECT_EQ(workers.workers(), 3);
  constexpr std::size_t n = 40;
  std::vector<int> runs(n, 0);
  std::atomic<bool> inDone{false};
  std::atomic<bool> overlapped{false};
  workers.run(
      n,
      [](std::size_t i) {
        std::this_thread::sleep_for(std::chrono::microseconds(200 * (i % 4)));  // uneven tasks
        return record(static_cast<double>(i));
      },
      [&](std::size_t i, kly_PointResult&& r) {
        if (inDone.exchange(true)) overlapped = true;
        EXPECT_EQ(*r.find("v"), static_cast<double>(i));
        ++runs[i];
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        inDone = false;
      },
      nullptr);
  EXPECT_FALSE(overlapped.load());
  for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(runs[i], 1) << i;
  EXPECT_GE(kly_ThreadExecutor(0).workers(), 1);
  EXPECT_THROW(kly_ThreadExecutor(-1), std::invalid_argument);
}

TEST(ThreadExecutorTest, TasksGoToTheWorkerThatIsFree) {
  // Task 0 waits until all the others are done: with the tasks split among
  // the workers in advance, its worker would hold half of them and wait for
  // ever; handed out as workers come free, the other worker takes them all.
  kly_ThreadExecutor workers(2);
  constexpr std::size_t n = 12;
  std::mutex m;
  std::condition_variable cv;
  std::size_t others = 0;
  bool waited = false;
  workers.run(
      n,
      [&](std::size_t i) {
        std::unique_lock<std::mutex> lock(m);
        if (i == 0) {
          waited = cv.wait_for(lock, std::chrono::seconds(20), [&] { return others == n - 1; });
        } else {
          ++others;
          cv.notify_all();
        }
        return record(0);
      },
      [](std::size_t, kly_PointResult&&) {}, nullptr);
  EXPECT_TRUE(waited);
}

TEST(ThreadExecutorTest, AnErrorStartsNoMoreTasksAndComesBackWhenTheRunningOnesFinish) {
  kly_ThreadExecutor workers(2);
  std::atomic<int> finished{0};
  std::atomic<int> started{0};
  EXPECT_THROW(workers.run(
                   100,
                   [&](std::size_t i) {
                     ++started;
                     if (i == 3) throw std::runtime_error("point 3 broke");
                     std::this_thread::sleep_for(std::chrono::milliseconds(2));
                     return record(0);
                   },
                   [&](std::size_t, kly_PointResult&&) { ++finished; }, nullptr),
               std::runtime_error);
  EXPECT_LT(started.load(), 10);                   // nothing started long after the error
  EXPECT_GE(finished.load(), started.load() - 2);  // what ran besides the error and one in flight was kept
  // An error of the record's taker ends the run the same way.
  EXPECT_THROW(workers.run(
                   10, [](std::size_t) { return record(0); },
                   [](std::size_t, kly_PointResult&&) { throw std::runtime_error("disk full"); }, nullptr),
               std::runtime_error);
}

// ---- fingerprints ----------------------------------------------------------------

TEST(TubeHashTest, EqualTubesShareAFingerprintAndAnyChangeMakesAnother) {
  kly_TubeHash hash;
  const kly_TubeDescription base = smallSimulatedTube();
  const std::string h = hash.of(base, true);
  EXPECT_EQ(h.size(), 32u);
  EXPECT_EQ(hash.of(kly_TubeDescription(base), true), h);
  auto changed = [&](auto change) {
    kly_TubeDescription t = base;
    change(t);
    return hash.of(t, true);
  };
  EXPECT_NE(changed([](auto& t) { t.beam.inputPower = std::nextafter(t.beam.inputPower, 1e9); }), h);  // one bit
  EXPECT_NE(changed([](auto& t) { t.cavities[2].harmonic = -2; }), h);
  EXPECT_NE(changed([](auto& t) { t.cavities.pop_back(); }), h);
  EXPECT_NE(changed([](auto& t) { t.simulation->rings = 3; }), h);
  EXPECT_NE(changed([](auto& t) { t.simulation->nearField = kly_NearField::finite; }), h);
  EXPECT_NE(changed([](auto& t) { t.beam.round = false; }), h);
  EXPECT_NE(hash.of(base, false), h);
  // Without the simulation its settings do not matter.
  kly_TubeDescription other = base;
  other.simulation->disks = 99;
  EXPECT_EQ(hash.of(other, false), hash.of(base, false));
  EXPECT_NE(kly_TubeHash::ofText("a"), kly_TubeHash::ofText("b"));
}

TEST(TubeHashTest, TheContentsOfTheFilesCount) {
  kly_test::ScratchDir dir("tube-hash");
  const std::string field = kly_test::readText(kly_test::dataFile("gap-field-radial.txt"));
  const std::string path = dir.write("field.txt", field);
  kly_TubeDescription t = smallSimulatedTube();
  t.cavities[3].hasFieldFile = true;
  t.cavities[3].fieldFile = path;
  t.cavities[3].fieldRings = 2;
  const std::string before = kly_TubeHash().of(t, true);
  EXPECT_EQ(kly_TubeHash().of(t, true), before);
  dir.write("field.txt", field + " ");
  EXPECT_NE(kly_TubeHash().of(t, true), before);
  std::filesystem::remove(path);
  EXPECT_NE(kly_TubeHash().canonical(t, true).find("unreadable"), std::string::npos);
}

}  // namespace
