// The threads of a simulation run: every unit of a job once, failures on any
// thread reach the caller, and the pool can go on after one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "simulation/kly_WorkerPool.h"

namespace {

TEST(WorkerPool, EveryUnitOnceOnAnyNumberOfThreads) {
  for (int threads : {1, 2, 3, 5}) {
    kly_WorkerPool pool(threads);
    EXPECT_EQ(pool.threads(), threads);
    for (int units : {0, 1, 7, 1000}) {
      for (int job = 0; job < 3; ++job) {  // jobs follow each other at once, as the steps of a pass do
        std::vector<std::atomic<int>> runs(static_cast<std::size_t>(units));
        pool.forEach(units, [&](int u) { runs[static_cast<std::size_t>(u)].fetch_add(1); });
        for (int u = 0; u < units; ++u) ASSERT_EQ(runs[static_cast<std::size_t>(u)].load(), 1) << threads << " " << u;
      }
    }
  }
}

TEST(WorkerPool, OneThreadRunsTheUnitsInOrderOnTheCaller) {
  kly_WorkerPool pool(1);
  std::vector<int> order;
  bool onCaller = true;
  const std::thread::id caller = std::this_thread::get_id();
  pool.forEach(5, [&](int u) {
    order.push_back(u);
    onCaller = onCaller && std::this_thread::get_id() == caller;
  });
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(onCaller);
  EXPECT_THROW(kly_WorkerPool(0), std::invalid_argument);
}

TEST(WorkerPool, AFailureOnAWorkerReachesTheCaller) {
  kly_WorkerPool pool(2);
  const std::thread::id caller = std::this_thread::get_id();
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Units 0 and 1 wait for each other, so that two threads take them; the
    // one on the worker fails.
    std::atomic<int> started{0};
    try {
      pool.forEach(2, [&](int) {
        started.fetch_add(1);
        while (started.load() < 2) std::this_thread::yield();
        if (std::this_thread::get_id() != caller) throw std::range_error("on the worker");
      });
      ADD_FAILURE() << "the failure was lost";
    } catch (const std::range_error& e) {
      EXPECT_STREQ(e.what(), "on the worker");
    }
    // The pool goes on with the next job, after a pause long enough for the
    // worker to have gone to sleep.
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt * 20));
    std::atomic<int> done{0};
    pool.forEach(100, [&](int) { done.fetch_add(1); });
    EXPECT_EQ(done.load(), 100);
  }
  // A failure on the caller's own unit stops the job as well.
  EXPECT_THROW(pool.forEach(50,
                            [&](int u) {
                              if (u == 0) throw std::logic_error("first");
                            }),
               std::logic_error);
}

}  // namespace
