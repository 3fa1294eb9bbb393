#include "driver/mpi/kly_MpiExecutor.h"

#include <time.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "driver/mpi/kly_MpiMessages.h"

namespace {

int hardwareThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// The tasks of one batch and what has become of them, shared by rank 0's
// worker threads and its main thread.
class Queue {
public:
  Queue(std::size_t count, const kly_PointExecutor::Done& done) : count_(count), done_(done) {}

  // The next tasks, at most n; none once the batch has failed.
  std::pair<std::size_t, std::size_t> take(std::size_t n) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (error_) return {next_, 0};
    n = std::min(n, count_ - next_);
    next_ += n;
    return {next_ - n, n};
  }
  std::size_t left() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return count_ - next_;
  }
  void deliver(std::size_t task, kly_PointResult&& result) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (error_) return;
    try {
      done_(task, std::move(result));
    } catch (...) {
      error_ = std::current_exception();
    }
  }
  void fail(std::exception_ptr error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!error_) error_ = std::move(error);
  }
  bool failed() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<bool>(error_);
  }
  std::exception_ptr error() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

private:
  std::mutex mutex_;
  std::size_t count_;
  std::size_t next_ = 0;
  const kly_PointExecutor::Done& done_;
  std::exception_ptr error_;
};

// The processor time of the calling thread [s]: what handling a message costs
// rank 0, however many other programs share its cores.
double threadSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::runtime_error onRank(int rank, const std::string& what) {
  return std::runtime_error("on rank " + std::to_string(rank) + ": " + what);
}

// The records of a work message: one line "task record" each.
void deliver(Queue& queue, const std::string& message, std::size_t at, std::size_t count) {
  while (at < message.size()) {
    const std::size_t end = std::min(message.find('\n', at), message.size());
    const std::string_view line(message.data() + at, end - at);
    at = end + 1;
    const std::size_t space = line.find(' ');
    std::size_t task = count;
    if (space != std::string_view::npos) std::from_chars(line.data(), line.data() + space, task);
    if (task >= count)
      throw std::invalid_argument("\"" + std::string(line.substr(0, 40)) + "...\" is of no task of the batch");
    queue.deliver(task, kly_PointResult::parse(line.substr(space + 1)));
  }
}

}  // namespace

kly_MpiExecutor::kly_MpiExecutor(kly_MpiSession& session, int jobs, bool localWork, int maxBatch)
    : session_(session), localWork_(localWork), maxBatch_(maxBatch) {
  if (!session.coordinator()) throw std::logic_error("kly_MpiExecutor: only rank 0 hands out tasks");
  if (jobs < 0) throw std::invalid_argument("a worker count of " + std::to_string(jobs) + " is below 0");
  if (maxBatch < 1) throw std::invalid_argument("a batch of " + std::to_string(maxBatch) + " tasks is below 1");
  localJobs_ = jobs > 0 ? jobs : hardwareThreads();
  workers_ = localWork_ ? localJobs_ : 0;
  const MPI_Comm comm = session.comm();
  for (int r = 1; r < session.size(); ++r) kly_mpi::send(comm, r, kly_mpi::kControl, "jobs " + std::to_string(jobs));
  for (int r = 1; r < session.size(); ++r) {
    const std::string hello = kly_mpi::receive(comm, r, kly_mpi::kHello);
    workers_ += std::max(1, std::atoi(hello.c_str() + std::min<std::size_t>(hello.size(), 8)));  // "threads T"
  }
}

void kly_MpiExecutor::run(std::size_t count, const Task& task, const Done& done, const Stop& stop) {
  const Describe describe = std::move(describe_);
  describe_ = nullptr;
  if (session_.size() == 1) {
    kly_ThreadExecutor(localJobs_).run(count, task, done, stop);
    statistics_.localTasks += count;
    return;
  }
  if (!describe) throw std::logic_error("kly_MpiExecutor::run: the other ranks need describeTasks");
  const MPI_Comm comm = session_.comm();
  Queue queue(count, done);
  std::size_t localTasks = 0;
  std::mutex localMutex;

  const auto work = [&] {
    for (;;) {
      if (queue.failed() || (stop && stop())) return;
      const auto [first, n] = queue.take(1);
      if (n == 0) return;
      try {
        kly_PointResult result = task(first);
        queue.deliver(first, std::move(result));
        const std::lock_guard<std::mutex> lock(localMutex);
        ++localTasks;
      } catch (...) {
        queue.fail(std::current_exception());
        return;
      }
    }
  };
  std::vector<std::thread> pool;
  if (localWork_) {
    try {
      for (int t = 0; t < localJobs_; ++t) pool.emplace_back(work);
    } catch (...) {
      // No more threads: those running and the other ranks share the work.
    }
  }

  kly_mpi::Outgoing outgoing;
  for (int r = 1; r < session_.size(); ++r) outgoing.send(comm, r, kly_mpi::kControl, "batch");
  int serving = session_.size() - 1;
  while (serving > 0) {
    int from = 0;
    const std::string message = kly_mpi::receive(comm, MPI_ANY_SOURCE, kly_mpi::kWork, &from);
    const double start = threadSeconds();
    ++statistics_.messages;
    kly_mpi::WorkHeader header;
    try {
      header = kly_mpi::readWorkHeader(message);
    } catch (const std::invalid_argument& e) {
      // Not of this program (another build on that machine?): nothing more goes to that rank.
      queue.fail(std::make_exception_ptr(onRank(from, std::string("a message that cannot be read: ") + e.what())));
      --serving;
      continue;
    }
    try {
      deliver(queue, message, header.body, count);
    } catch (const std::invalid_argument& e) {
      queue.fail(std::make_exception_ptr(onRank(from, std::string("a record that cannot be read: ") + e.what())));
    }
    if (!header.error.empty()) queue.fail(std::make_exception_ptr(onRank(from, header.error)));
    if (header.final) {
      --serving;
    } else if (header.want > 0) {
      std::string reply;
      try {
        if (!queue.failed() && !(stop && stop())) {
          const std::size_t share = queue.left() / (4 * static_cast<std::size_t>(std::max(1, workers_)));
          const std::size_t batch = std::clamp<std::size_t>(share, 1, static_cast<std::size_t>(maxBatch_));
          const auto [first, n] = queue.take(static_cast<std::size_t>(header.want) * batch);
          for (std::size_t i = first; i < first + n; ++i) {
            const std::string text = describe(i);
            reply += std::to_string(i) + " " + std::to_string(text.size()) + "\n" + text;
          }
          statistics_.remoteTasks += n;
        }
      } catch (...) {
        // The description failed: no more tasks; the rank that asked is told so.
        queue.fail(std::current_exception());
        reply.clear();
      }
      outgoing.send(comm, from, kly_mpi::kTasks, std::move(reply));
    }
    statistics_.busySeconds += threadSeconds() - start;
  }
  outgoing.finish();
  for (std::thread& t : pool) t.join();
  statistics_.localTasks += localTasks;
  if (std::exception_ptr error = queue.error()) std::rethrow_exception(error);
}
