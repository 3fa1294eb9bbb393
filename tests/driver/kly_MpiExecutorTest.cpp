// The executor over MPI processes, run as a job of three (run-mpi.sh): rank
// 0 runs the tests, the others serve. Every task once, uneven ones spread
// over the ranks, the records of real points those of this process to the
// bit, a point that fails on another rank recorded, an exception there ending
// the batch with its rank, stops, failing observers, and batch after batch as
// an optimiser runs them.
#include "driver/mpi/kly_MpiExecutor.h"
#include "driver/mpi/kly_MpiWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "kly_TestTubes.h"
#include "klystron/driver/kly_PointTask.h"
#include "klystron/driver/kly_Sweep.h"

namespace {

kly_MpiSession* gSession = nullptr;

// The tasks of these tests as text: "sleep MS" (a record saying which rank
// ran it), "throw WHAT", or a point task (kly_PointTask).
kly_PointResult evaluateTestTask(std::string_view text, int rank) {
  if (text.rfind("sleep ", 0) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(std::string(text.substr(6)).c_str())));
    kly_PointResult r;
    r.status = kly_PointStatus::ok;
    r.scalars = {{"rank", rank}};
    return r;
  }
  if (text.rfind("throw ", 0) == 0) throw std::runtime_error(std::string(text.substr(6)));
  return kly_PointTask::evaluate(text);
}

std::string sleepTask(std::size_t i) { return "sleep " + std::to_string(i % 7 == 0 ? 60 : 3); }

TEST(MpiExecutorTest, UnevenTasksSpreadOverTheRanksEachOnce) {
  ASSERT_EQ(gSession->size(), 3);
  kly_MpiExecutor executor(*gSession, 1);
  EXPECT_EQ(executor.workers(), 3);
  executor.describeTasks(sleepTask);
  constexpr std::size_t kTasks = 40;
  std::map<std::size_t, int> ranOn;
  std::size_t records = 0;
  executor.run(
      kTasks, [](std::size_t i) { return evaluateTestTask(sleepTask(i), 0); },
      [&](std::size_t i, kly_PointResult&& r) {
        ++records;
        ranOn[i] = static_cast<int>(*r.find("rank"));
      },
      nullptr);
  EXPECT_EQ(records, kTasks);
  ASSERT_EQ(ranOn.size(), kTasks);  // each task once
  std::map<int, int> perRank;
  for (const auto& [task, rank] : ranOn) ++perRank[rank];
  EXPECT_EQ(perRank.size(), 3u) << "not every rank ran a task";
  EXPECT_EQ(executor.statistics().localTasks + executor.statistics().remoteTasks, kTasks);
  // The work balances: no rank did more than half of it (each took the
  // next task when it was free; the long ones are every seventh).
  for (const auto& [rank, n] : perRank) EXPECT_LT(n, 20) << "rank " << rank;
}

TEST(MpiExecutorTest, PointsOnOtherRanksGiveTheRecordsOfThisProcessAndFailuresAreRecorded) {
  // Only the other ranks work: every record here came back as a message.
  kly_MpiExecutor executor(*gSession, 2, false);
  EXPECT_EQ(executor.workers(), 4);
  std::vector<kly_TubeDescription> tubes;
  for (double f : {2.862e9, 2.870e9, 2.885e9}) {
    kly_TubeDescription t = kly_test::smallSimulatedTube();
    t.cavities[1].frequency = f;
    tubes.push_back(t);
  }
  kly_TubeDescription missing = kly_test::smallSimulatedTube();
  missing.cavities[3] = kly_test::withFieldFile(missing.cavities[3], "/nonexistent/gap.txt", 1);
  tubes.insert(tubes.begin() + 1, missing);
  const kly_EvaluationOptions options = kly_Sweep::pointOptions(true);
  executor.describeTasks([&](std::size_t i) { return kly_PointTask::write(tubes.at(i), options); });
  std::vector<std::optional<kly_PointResult>> got(tubes.size());
  executor.run(
      tubes.size(), [](std::size_t) -> kly_PointResult { throw std::logic_error("rank 0 was to run nothing"); },
      [&](std::size_t i, kly_PointResult&& r) { got.at(i) = std::move(r); }, nullptr);
  EXPECT_EQ(executor.statistics().localTasks, 0u);
  for (std::size_t i = 0; i < tubes.size(); ++i) {
    ASSERT_TRUE(got[i]) << i;
    kly_PointResult here = kly_PointEvaluation::evaluate(tubes[i], options);
    here.seconds = got[i]->seconds;  // the one field that differs from run to run
    EXPECT_TRUE(got[i]->identical(here)) << "point " << i << ": " << got[i]->statusText();
  }
  EXPECT_EQ(got[1]->status, kly_PointStatus::failed);
  EXPECT_NE(got[1]->message.find("/nonexistent/gap.txt"), std::string::npos) << got[1]->message;
  EXPECT_EQ(got[0]->status, kly_PointStatus::ok);
  EXPECT_TRUE(got[0]->simulated);
}

TEST(MpiExecutorTest, AnExceptionOnAnotherRankEndsTheBatchWithTheRankNamed) {
  kly_MpiExecutor executor(*gSession, 1, false);
  executor.describeTasks([](std::size_t i) { return i == 2 ? std::string("throw no memory left") : sleepTask(1); });
  std::set<std::size_t> done;
  try {
    executor.run(
        200, [](std::size_t) { return kly_PointResult(); }, [&](std::size_t i, kly_PointResult&&) { done.insert(i); },
        nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(": no memory left"), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind("on rank ", 0), 0u) << e.what();
  }
  EXPECT_FALSE(done.contains(2));
  EXPECT_LT(done.size(), 100u);  // no more tasks went out
  // The ranks serve the next batch.
  executor.describeTasks(sleepTask);
  std::size_t next = 0;
  executor.run(
      5, [](std::size_t) { return kly_PointResult(); }, [&](std::size_t, kly_PointResult&&) { ++next; }, nullptr);
  EXPECT_EQ(next, 5u);
}

TEST(MpiExecutorTest, AStopStartsNoMoreAndAFailingObserverEndsTheBatch) {
  kly_MpiExecutor executor(*gSession, 1);
  std::atomic<std::size_t> records{0};
  executor.describeTasks(sleepTask);
  executor.run(
      100, [](std::size_t i) { return evaluateTestTask(sleepTask(i), 0); },
      [&](std::size_t, kly_PointResult&&) { ++records; }, [&records] { return records >= 6; });
  EXPECT_GE(records, 6u);
  EXPECT_LT(records, 20u);  // those running at the stop finished; no more started

  records = 0;
  executor.describeTasks(sleepTask);
  EXPECT_THROW(executor.run(
                   100, [](std::size_t i) { return evaluateTestTask(sleepTask(i), 0); },
                   [&](std::size_t, kly_PointResult&&) {
                     if (++records == 4) throw std::runtime_error("journal full");
                   },
                   nullptr),
               std::runtime_error);
  EXPECT_LT(records, 20u);
}

TEST(MpiExecutorTest, BatchAfterBatchAsAnOptimiserRunsThem) {
  kly_MpiExecutor executor(*gSession, 0);  // a worker per hardware thread on each rank
  EXPECT_GE(executor.workers(), 3);
  for (std::size_t count : {0, 1, 7, 0, 23}) {
    std::set<std::size_t> done;
    executor.describeTasks(sleepTask);
    executor.run(
        count, [](std::size_t i) { return evaluateTestTask(sleepTask(i), 0); },
        [&](std::size_t i, kly_PointResult&&) { done.insert(i); }, nullptr);
    EXPECT_EQ(done.size(), count);
  }
  // Without a way to tell the other ranks the tasks, nothing runs: not even
  // with the texts of the run before.
  EXPECT_THROW(executor.run(
                   3, [](std::size_t) { return kly_PointResult(); }, [](std::size_t, kly_PointResult&&) {}, nullptr),
               std::logic_error);
  // The ranks are still there for the next run.
  std::size_t after = 0;
  executor.describeTasks(sleepTask);
  executor.run(
      4, [](std::size_t i) { return evaluateTestTask(sleepTask(i), 0); },
      [&](std::size_t, kly_PointResult&&) { ++after; }, nullptr);
  EXPECT_EQ(after, 4u);
}

}  // namespace

int main(int argc, char** argv) {
  if (!kly_MpiSession::launched()) {
    std::cerr << "start this program with mpirun -n 3\n";
    return 2;
  }
  kly_MpiSession session(argc, argv);
  gSession = &session;
  if (!session.coordinator()) {
    const int rank = session.rank();
    kly_MpiWorker::serve(session, [rank](std::string_view text) { return evaluateTestTask(text, rank); });
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  return status;
}
