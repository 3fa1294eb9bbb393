// Distinct tube models share nothing and a built tube is only read: runs on
// two models, or on one built tube, at the same time on several threads give
// exactly (to the last bit) what each gives alone, and a run leaves no thread
// behind. Run under ThreadSanitizer by scripts/test.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kly_Bits.h"
#include "kly_TestTubes.h"
#include "klystron/analytic/kly_Analytic.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"

namespace {

using kly_test::Fingerprint;

struct Counts {
  int disks, rings, steps, iterations, threads;
};

// Everything a run of the analytic model, its sweep and the simulation of a built tube produce, as bits.
Fingerprint run(const kly_BuiltTube& tube, const Counts& c) {
  kly_Analytic analytic;
  analytic.calculateAnalytics(tube);
  analytic.calculateAnalyticI1I0(tube);
  kly_DiskSimulation sim;
  kly_SimulationOptions options;
  options.threads = c.threads;
  options.exactThreads = true;  // the threads even of small steps
  sim.simulate(tube, kly_SimulationSettings{c.disks, c.rings, c.steps, c.iterations, std::nullopt, kly_NearField::thin},
               options);
  Fingerprint f = kly_test::fingerprint(analytic);
  const Fingerprint s = kly_test::fingerprint(sim);
  f.insert(f.end(), s.begin(), s.end());
  return f;
}

// The same through a model of its own, as the Java methods run it.
Fingerprint simulate(const kly_TubeDescription& tube, const Counts& c) {
  kly_Klystron k;
  kly_test::describe(k, tube);
  kly_Analytic analytic;
  analytic.calculateAnalytics(k);
  analytic.calculateAnalyticI1I0(k);
  kly_DiskSimulation sim;
  kly_SimulationOptions options;
  options.threads = c.threads;
  options.exactThreads = true;  // the threads even of small steps
  sim.simulate(k, c.disks, c.rings, c.steps, c.iterations, options);
  Fingerprint f = kly_test::fingerprint(analytic);
  const Fingerprint s = kly_test::fingerprint(sim);
  f.insert(f.end(), s.begin(), s.end());
  return f;
}

// Runs every job on its own thread, all released at once; rethrows the first
// failure. Returns whether the jobs ran at the same time (each began before
// any other had finished), without which the test would show nothing.
bool runTogether(const std::vector<std::function<void()>>& jobs) {
  std::atomic<int> ready{0};
  std::atomic<int> finished{0};
  std::atomic<bool> overlapped{true};
  std::vector<std::exception_ptr> errors(jobs.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < static_cast<int>(jobs.size())) std::this_thread::yield();
      if (finished.load() != 0) overlapped = false;
      try {
        jobs[i]();
      } catch (...) {
        errors[i] = std::current_exception();
      }
      ++finished;
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
  return overlapped;
}

const kly_TubeDescription kRound = kly_test::sBandDescription();
const kly_TubeDescription kSheet = kly_test::xBandSheetDescription();

// Small enough for ThreadSanitizer, large enough that two runs overlap.
constexpr Counts kSerial{16, 2, 16, 4, 1};
constexpr Counts kThreaded{16, 2, 16, 4, 2};

TEST(ConcurrentRuns, TwoTubesOnTwoThreadsGiveWhatEachGivesAlone) {
  const Fingerprint round = simulate(kRound, kSerial);
  const Fingerprint sheet = simulate(kSheet, kSerial);
  ASSERT_NE(round, sheet);
  for (int attempt = 0; attempt < 3; ++attempt) {
    Fingerprint a, b;
    const bool overlapped =
        runTogether({[&] { a = simulate(kRound, kSerial); }, [&] { b = simulate(kSheet, kSerial); }});
    EXPECT_EQ(a, round) << "attempt " << attempt;
    EXPECT_EQ(b, sheet) << "attempt " << attempt;
    if (overlapped) return;
  }
  FAIL() << "the two runs never overlapped";
}

TEST(ConcurrentRuns, TheSameTubeTwiceAtOnceWithThreadedRuns) {
  // Identical inputs make any sharing of working storage show as a difference
  // from the run alone; each run also starts threads of its own.
  const Fingerprint alone = simulate(kRound, kThreaded);
  EXPECT_EQ(alone, simulate(kRound, kSerial)) << "the thread count changed the results";
  Fingerprint a, b, c;
  runTogether({[&] { a = simulate(kRound, kThreaded); }, [&] { b = simulate(kRound, kThreaded); },
               [&] { c = simulate(kRound, kSerial); }});
  EXPECT_EQ(a, alone);
  EXPECT_EQ(b, alone);
  EXPECT_EQ(c, alone);
}

TEST(ConcurrentRuns, OneBuiltTubeSharedByRunsAtOnce) {
  // A built tube is only read: three runs on one tube at the same time, one
  // of them threaded, give what a run alone gives.
  const std::shared_ptr<const kly_BuiltTube> tube = kly_BuiltTube::build(kRound);
  const Fingerprint alone = run(*tube, kSerial);
  EXPECT_EQ(alone, simulate(kRound, kSerial)) << "the built tube's run differs from the model's";
  Fingerprint a, b, c;
  runTogether({[&] { a = run(*tube, kSerial); }, [&] { b = run(*tube, kThreaded); }, [&] { c = run(*tube, kSerial); }});
  EXPECT_EQ(a, alone);
  EXPECT_EQ(b, alone);
  EXPECT_EQ(c, alone);
}

int threadsOfThisProcess() {
  int n = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// The thread count once every joined thread has been released by the kernel,
// which may take a moment after the join.
int settledThreadCount(int expected) {
  int n = threadsOfThisProcess();
  for (int i = 0; i < 100 && n != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    n = threadsOfThisProcess();
  }
  return n;
}

TEST(ConcurrentRuns, NoThreadOutlivesTheRun) {
  // A first threaded run, so that runtime helpers started with the first
  // thread (a sanitizer's, say) are there before counting.
  simulate(kRound, Counts{8, 1, 16, 2, 2});
  const int before = settledThreadCount(threadsOfThisProcess());
  // The objects stay alive: threads kept by them between calls count too.
  kly_Klystron k(kRound);
  kly_DiskSimulation sim;
  for (int threads : {0, 1, 2, 3}) {
    kly_SimulationOptions options;
    options.threads = threads;
    options.exactThreads = true;
    sim.simulate(k, 8, 1, 16, 2, options);
    EXPECT_EQ(settledThreadCount(before), before) << "after a run with " << threads << " threads";
  }
}

}  // namespace
