// Distinct tube models share nothing: runs on two of them at the same time,
// on two threads, give exactly (to the last bit) what each gives alone, and a
// run leaves no thread behind. Run under ThreadSanitizer by scripts/test.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "analytic/kly_Analytic.h"
#include "kly_TestTubes.h"
#include "model/kly_Klystron.h"
#include "simulation/kly_DiskSimulation.h"

namespace {

// The four-cavity S-band round-beam tube of the examples.
void roundBeamTube(kly_Klystron& k) { kly_test::sBandTube(k); }

// The three-cavity X-band sheet-beam tube of the examples.
void sheetBeamTube(kly_Klystron& k) {
  k.setOperatingParameters(75000, 30, 11.424e9, 5, 0.020, 0.0016, 0.024, 0.0032);
  k.addCavity(0.000, 11.424e9, 0.85, 1, 0.0030, 60, 3000, 400);
  k.addCavity(0.045, 11.460e9, 0.85, 1, 0.0030, 60, 3000, 100000);
  k.addCavity(0.090, 11.424e9, 0.85, 1, 0.0030, 60, 3000, 30);
}

struct Counts {
  int disks, rings, steps, iterations, threads;
};

// Everything a run produces, as bits, so that equality means identical.
using Fingerprint = std::vector<std::uint64_t>;

void add(Fingerprint& f, double v) { f.push_back(std::bit_cast<std::uint64_t>(v)); }

Fingerprint simulate(const std::function<void(kly_Klystron&)>& tube, const Counts& c) {
  kly_Klystron k;
  tube(k);
  kly_Analytic analytic;
  analytic.calculateAnalytics(k);
  analytic.calculateAnalyticI1I0();
  kly_DiskSimulation sim;
  kly_SimulationOptions options;
  options.threads = c.threads;
  sim.simulate(k, c.disks, c.rings, c.steps, c.iterations, options);

  Fingerprint f;
  add(f, analytic.getGain());
  add(f, analytic.getOutputPower());
  for (int i = 0; i < kly_Analytic::kProfilePoints; ++i) add(f, analytic.getI1I0Sample(i));
  f.push_back(static_cast<std::uint64_t>(sim.getSimulatedIterations()));
  for (double v : {sim.getSimulatedGain(), sim.getSimulatedOutputPower(), sim.getSimulatedElectronicEfficiency(),
                   sim.getSimulatedKineticEfficiency(), sim.getSimulatedMultipleOutputPower(), sim.getSimulatedGb1(),
                   sim.getSimulatedBb1(), sim.getSimulatedMaxI1I0(), sim.getSimulatedMinVOverC()})
    add(f, v);
  for (int q = 0; q < kly_DiskSimulation::kMaxCavities; ++q) {
    add(f, sim.getSimulatedCavityVoltage(q));
    add(f, sim.getSimulatedCavityVoltagePhase(q));
    for (int h = 0; h < kly_DiskSimulation::kHarmonics; ++h) add(f, sim.getSimulatedCavityCurrentMagnitude(q, h));
  }
  for (int i = 0; i < kly_DiskSimulation::kGridPoints; ++i) add(f, sim.getSimulatedI1I0Sample(i));
  for (int d = 0; d < c.disks; ++d) {
    for (int r = 0; r < c.rings; ++r) {
      add(f, sim.getSimulatedExitVelocity(d, r));
      for (int s = 0; s < sim.getSimulatedMaxTimeStep(); s += 7) add(f, sim.getSimulatedDiskPosition(d, r, s));
    }
  }
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

// Small enough for ThreadSanitizer, large enough that two runs overlap.
constexpr Counts kSerial{16, 2, 16, 4, 1};
constexpr Counts kThreaded{16, 2, 16, 4, 2};

TEST(ConcurrentRuns, TwoTubesOnTwoThreadsGiveWhatEachGivesAlone) {
  const Fingerprint round = simulate(roundBeamTube, kSerial);
  const Fingerprint sheet = simulate(sheetBeamTube, kSerial);
  ASSERT_NE(round, sheet);
  for (int attempt = 0; attempt < 3; ++attempt) {
    Fingerprint a, b;
    const bool overlapped =
        runTogether({[&] { a = simulate(roundBeamTube, kSerial); }, [&] { b = simulate(sheetBeamTube, kSerial); }});
    EXPECT_EQ(a, round) << "attempt " << attempt;
    EXPECT_EQ(b, sheet) << "attempt " << attempt;
    if (overlapped) return;
  }
  FAIL() << "the two runs never overlapped";
}

TEST(ConcurrentRuns, TheSameTubeTwiceAtOnceWithThreadedRuns) {
  // Identical inputs make any sharing of working storage show as a difference
  // from the run alone; each run also starts threads of its own.
  const Fingerprint alone = simulate(roundBeamTube, kThreaded);
  EXPECT_EQ(alone, simulate(roundBeamTube, kSerial)) << "the thread count changed the results";
  Fingerprint a, b, c;
  runTogether({[&] { a = simulate(roundBeamTube, kThreaded); }, [&] { b = simulate(roundBeamTube, kThreaded); },
               [&] { c = simulate(roundBeamTube, kSerial); }});
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
  simulate(roundBeamTube, Counts{8, 1, 16, 2, 2});
  const int before = settledThreadCount(threadsOfThisProcess());
  // The objects stay alive: threads kept by them between calls count too.
  kly_Klystron k;
  roundBeamTube(k);
  kly_DiskSimulation sim;
  for (int threads : {0, 1, 2, 3}) {
    kly_SimulationOptions options;
    options.threads = threads;
    sim.simulate(k, 8, 1, 16, 2, options);
    EXPECT_EQ(settledThreadCount(before), before) << "after a run with " << threads << " threads";
  }
}

}  // namespace
