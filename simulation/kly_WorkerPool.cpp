#include "simulation/kly_WorkerPool.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

// A job of a pass takes microseconds to a millisecond and the next one
// follows at once. A waiting thread spins briefly, then gives its core to any
// other thread that can run (on a machine shared with other programs the
// thread it waits for may be one of them), and sleeps when the wait drags on,
// as it does between passes.
constexpr int kSpins = 200;
constexpr int kYields = 200;

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace

kly_WorkerPool::kly_WorkerPool(int threads) {
  if (threads < 1) throw std::invalid_argument("worker pool: thread count " + std::to_string(threads) + " is below 1");
  for (Slot& slot : slots_) slot.ranges = std::make_unique<Range[]>(static_cast<std::size_t>(threads));
  workers_.reserve(static_cast<std::size_t>(threads - 1));
  try {
    for (int t = 1; t < threads; ++t) workers_.emplace_back([this, t] { workerLoop(t); });
  } catch (...) {
    stopWorkers();
    throw;
  }
}

kly_WorkerPool::~kly_WorkerPool() { stopWorkers(); }

void kly_WorkerPool::stopWorkers() {
  stop_.store(true);
  wake(jobCv_, jobSleepers_);
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

template <class Ready>
void kly_WorkerPool::await(Ready ready, std::condition_variable& cv, std::atomic<int>& sleepers) {
  for (int i = 0; i < kSpins; ++i) {
    if (ready()) return;
    relax();
  }
  for (int i = 0; i < kYields; ++i) {
    if (ready()) return;
    std::this_thread::yield();
  }
  std::unique_lock<std::mutex> lock(sleepMutex_);
  sleepers.fetch_add(1);  // before the last look, which wake() orders against its change
  cv.wait(lock, ready);
  sleepers.fetch_sub(1);
}

void kly_WorkerPool::wake(std::condition_variable& cv, std::atomic<int>& sleepers) {
  if (sleepers.load() == 0) return;
  { std::lock_guard<std::mutex> lock(sleepMutex_); }  // a sleeper is now waiting or sees the change
  cv.notify_all();
}

void kly_WorkerPool::run(int units, Trampoline call, void* body, const int* home) {
  if (workers_.empty()) {
    for (int u = 0; u < units; ++u) call(body, u);
    return;
  }
  const unsigned job = state_.load() / 2;
  Slot& slot = slots_[job & 1];
  // A worker may still be on its way out of the job before last.
  while (slot.inside.load() != 0) std::this_thread::yield();
  slot.call = call;
  slot.body = body;
  slot.units = units;
  const int threads = this->threads();
  for (int t = 0; t < threads; ++t) {
    const long long from = home ? home[t] : static_cast<long long>(units) * t / threads;
    const long long to = home ? home[t + 1] : static_cast<long long>(units) * (t + 1) / threads;
    slot.ranges[static_cast<std::size_t>(t)].next.store(static_cast<int>(from), std::memory_order_relaxed);
    slot.ranges[static_cast<std::size_t>(t)].end = static_cast<int>(to);
  }
  slot.done.store(0, std::memory_order_relaxed);
  slot.failed.store(false, std::memory_order_relaxed);
  error_ = nullptr;
  state_.store(2 * job + 1);  // open
  wake(jobCv_, jobSleepers_);

  work(slot, 0);
  await([&] { return slot.done.load() == units; }, doneCv_, doneSleepers_);
  state_.store(2 * job + 2);  // closed: no worker joins it any more

  if (error_) {
    std::exception_ptr e = error_;
    error_ = nullptr;
    std::rethrow_exception(e);
  }
}

// Runs units of `range` until it has none left, counting them.
void kly_WorkerPool::runUnits(Slot& slot, Range& range, int& completed) {
  for (;;) {
    const int unit = range.next.fetch_add(1, std::memory_order_relaxed);
    if (unit >= range.end) return;
    ++completed;
    if (slot.failed.load(std::memory_order_relaxed)) continue;
    try {
      slot.call(slot.body, unit);
    } catch (...) {
      std::lock_guard<std::mutex> lock(errorMutex_);
      if (!error_) error_ = std::current_exception();
      slot.failed.store(true, std::memory_order_relaxed);  // start no further unit
    }
  }
}

void kly_WorkerPool::work(Slot& slot, int thread) {
  // The thread's own units first (their counter stays in its core's cache),
  // then any another thread has not reached; each thread reports what it
  // did once.
  const int threads = this->threads();
  int completed = 0;
  runUnits(slot, slot.ranges[static_cast<std::size_t>(thread)], completed);
  for (int k = 1; k < threads; ++k)
    runUnits(slot, slot.ranges[static_cast<std::size_t>((thread + k) % threads)], completed);
  if (completed != 0 && slot.done.fetch_add(completed) + completed == slot.units) wake(doneCv_, doneSleepers_);
}

void kly_WorkerPool::workerLoop(int thread) {
  unsigned seen = 0;
  for (;;) {
    unsigned state = 0;
    await(
        [&] {
          state = state_.load();
          return stop_.load() || ((state & 1) != 0 && state != seen);
        },
        jobCv_, jobSleepers_);
    if (stop_.load()) return;
    seen = state;
    Slot& slot = slots_[(state / 2) & 1];
    slot.inside.fetch_add(1);
    // Joined in time: the caller closes the job before it reuses the slot,
    // and waits for the workers inside.
    if (state_.load() == state) work(slot, thread);
    slot.inside.fetch_sub(1);
  }
}
