#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

// The threads of one simulation run: the calling thread and threads - 1
// workers, started by the constructor and joined by the destructor. forEach
// hands the units of one job to whichever thread is free and returns, on the
// calling thread, when all of them are done. With one thread nothing is
// started and every unit runs on the caller, in order.
//
// The caller waits only for units that a thread has taken: a worker that has
// not yet woken up, or that the system has put aside for another program,
// leaves its share to the threads that run, so that a busy machine slows a
// run down no more than its cores are taken.
//
// A unit that throws ends the job: units not yet started are dropped, and
// forEach rethrows the first exception once the job is over.
class kly_WorkerPool {
public:
  // threads: 1 or more. Throws std::invalid_argument below 1, and whatever
  // starting a thread throws (the workers already started are joined).
  explicit kly_WorkerPool(int threads);
  ~kly_WorkerPool();
  kly_WorkerPool(const kly_WorkerPool&) = delete;
  kly_WorkerPool& operator=(const kly_WorkerPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Runs body(unit) for unit = 0 .. units - 1. Thread t (0 the caller, 1 to
  // threads() - 1 the workers) takes the units home[t] .. home[t + 1] - 1
  // first, in order, and then helps with those of threads that are behind;
  // home holds threads() + 1 ascending values from 0 to units. Units that work
  // on the same data job after job thus keep it in one core's cache. Without
  // home the units are shared out evenly. Only the thread that made the pool
  // may call it, and not from inside a unit.
  template <class Body>
  void forEach(int units, Body&& body, const int* home = nullptr) {
    run(
        units, [](void* b, int unit) { (*static_cast<std::remove_reference_t<Body>*>(b))(unit); },
        const_cast<void*>(static_cast<const void*>(&body)), home);
  }

private:
  using Trampoline = void (*)(void*, int);

  // The units of one thread in a job.
  struct alignas(64) Range {
    std::atomic<int> next{0};  // the next unit to hand out
    int end = 0;
  };

  // One job. Jobs alternate between two slots, so that a worker still
  // leaving one job does not hold up the start of the next.
  struct alignas(64) Slot {
    Trampoline call = nullptr;
    void* body = nullptr;
    int units = 0;
    std::unique_ptr<Range[]> ranges;         // one per thread
    alignas(64) std::atomic<int> done{0};    // units finished (or dropped)
    alignas(64) std::atomic<int> inside{0};  // workers that have joined the job and not left it
    std::atomic<bool> failed{false};
  };

  void run(int units, Trampoline call, void* body, const int* home);
  void work(Slot& slot, int thread);
  void runUnits(Slot& slot, Range& range, int& completed);
  void workerLoop(int thread);
  void stopWorkers();
  template <class Ready>
  void await(Ready ready, std::condition_variable& cv, std::atomic<int>& sleepers);
  void wake(std::condition_variable& cv, std::atomic<int>& sleepers);

  std::vector<std::thread> workers_;
  Slot slots_[2];
  // Job j is open while state_ is 2 j + 1 and closed at 2 j + 2; workers
  // join open jobs only.
  alignas(64) std::atomic<unsigned> state_{0};
  std::atomic<bool> stop_{false};

  std::mutex errorMutex_;
  std::exception_ptr error_;  // the first exception of the current job

  // Sleeping after a spell of spinning: workers wait for a job on jobCv_, the
  // caller for the last units on doneCv_.
  std::mutex sleepMutex_;
  std::condition_variable jobCv_;
  std::condition_variable doneCv_;
  std::atomic<int> jobSleepers_{0};
  std::atomic<int> doneSleepers_{0};
};
