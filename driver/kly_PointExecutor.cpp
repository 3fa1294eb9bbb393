#include "klystron/driver/kly_PointExecutor.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

kly_ThreadExecutor::kly_ThreadExecutor(int workers)
    : workers_(workers > 0 ? workers : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))) {
  if (workers < 0) throw std::invalid_argument("a worker count of " + std::to_string(workers) + " is below 0");
}

void kly_ThreadExecutor::run(std::size_t count, const Task& task, const Done& done, const Stop& stop) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex doneMutex;
  std::exception_ptr error;

  const auto work = [&] {
    for (;;) {
      if (failed.load() || (stop && stop())) return;
      const std::size_t i = next.fetch_add(1);
      if (i >= count) return;
      try {
        kly_PointResult result = task(i);
        const std::lock_guard<std::mutex> lock(doneMutex);
        if (!failed.load()) done(i, std::move(result));
      } catch (...) {
        const std::lock_guard<std::mutex> lock(doneMutex);
        if (!error) error = std::current_exception();
        failed = true;
        return;
      }
    }
  };

  const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(workers_), count);
  if (threads <= 1) {
    work();
  } else {
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    try {
      for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    } catch (...) {
      // No more threads: those running and this one share the work.
    }
    work();
    for (std::thread& t : pool) t.join();
  }
  if (error) std::rethrow_exception(error);
}
