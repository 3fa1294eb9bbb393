#include "driver/mpi/kly_MpiWorker.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/mpi/kly_MpiMessages.h"

namespace {

struct Assigned {
  std::string task;  // its number, as rank 0 wrote it
  std::string text;
};

// The tasks of a tasks message; none: the batch has no more.
std::vector<Assigned> readTasks(const std::string& message) {
  std::vector<Assigned> tasks;
  for (std::size_t at = 0; at < message.size();) {
    const std::size_t space = message.find(' ', at);
    const std::size_t line = message.find('\n', at);
    std::size_t length = 0;
    const char* end = message.data() + line;
    if (space == std::string::npos || line == std::string::npos || space > line ||
        std::from_chars(message.data() + space + 1, end, length).ptr != end || message.size() - line - 1 < length)
      throw std::invalid_argument("a tasks message that cannot be read");
    tasks.push_back({message.substr(at, space - at), message.substr(line + 1, length)});
    at = line + 1 + length;
  }
  return tasks;
}

// One batch: the rank's threads evaluate the tasks in hand while the main
// thread asks for more when a thread is free, and sends the records back.
void serveBatch(MPI_Comm comm, int threads, const kly_MpiWorker::Evaluate& evaluate) {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Assigned> queue;
  std::string outbox;  // records not yet sent
  std::string error;   // the first exception of evaluate
  int busy = 0;
  bool more = true;  // rank 0 may have tasks for us
  bool quit = false;
  double seconds = 0;  // of the tasks finished here
  int evaluated = 0;

  const auto work = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return !queue.empty() || quit; });
      if (queue.empty()) return;
      Assigned a = std::move(queue.front());
      queue.pop_front();
      ++busy;
      lock.unlock();
      std::string line, failure;
      bool threw = false;
      const auto start = std::chrono::steady_clock::now();
      try {
        line = a.task + " " + evaluate(a.text).serialize() + "\n";
      } catch (const std::bad_alloc&) {
        threw = true;
        failure = "not enough memory (std::bad_alloc)";
      } catch (const std::exception& e) {
        threw = true;
        failure = e.what();
      } catch (...) {
        threw = true;
        failure = "an exception that is no std::exception";
      }
      lock.lock();
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      ++evaluated;
      --busy;
      if (!threw) {
        outbox += line;
      } else if (error.empty()) {
        error = failure.empty() ? "an exception without a message" : failure;
        std::replace(error.begin(), error.end(), '\n', ' ');
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  try {
    for (int t = 0; t < threads; ++t) pool.emplace_back(work);
  } catch (...) {
    if (pool.empty()) throw;  // not one thread: rank 0 will hear nothing from here
  }
  const int workers = static_cast<int>(pool.size());

  bool errorSent = false;
  auto lastSent = std::chrono::steady_clock::now();
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex);
    const auto free = [&] { return workers - static_cast<int>(queue.size()) - busy; };
    // Short tasks: one more asked for while all are busy, so that none waits
    // for the answer (long ones are not held back from a rank that is free).
    const auto ahead = [&] {
      return queue.empty() && evaluated > 0 && seconds / evaluated < kly_MpiWorker::kAheadBelow ? 1 : 0;
    };
    for (;;) {
      const bool ending = !more && queue.empty() && busy == 0;
      const bool recordsDue =
          !outbox.empty() && std::chrono::steady_clock::now() - lastSent >= kly_MpiWorker::kHoldRecords;
      if (ending || recordsDue || (!error.empty() && !errorSent) || (more && free() + ahead() > 0)) break;
      if (outbox.empty())
        changed.wait(lock);
      else
        changed.wait_until(lock, lastSent + kly_MpiWorker::kHoldRecords);
    }
    std::string results = std::move(outbox);
    outbox.clear();
    const bool finished = !more && queue.empty() && busy == 0;
    const int want = more ? std::max(0, free()) + ahead() : 0;
    std::string failure = errorSent ? std::string() : error;
    errorSent = errorSent || !error.empty();
    lock.unlock();

    kly_mpi::send(comm, 0, kly_mpi::kWork, kly_mpi::workHeader(want, finished, failure) + results);
    lastSent = std::chrono::steady_clock::now();
    if (finished) break;
    if (want == 0) continue;
    std::vector<Assigned> tasks = readTasks(kly_mpi::receive(comm, 0, kly_mpi::kTasks));
    lock.lock();
    if (tasks.empty()) more = false;
    for (Assigned& a : tasks) queue.push_back(std::move(a));
    changed.notify_all();
  }
  {
    const std::lock_guard<std::mutex> lock(mutex);
    quit = true;
  }
  changed.notify_all();
  for (std::thread& t : pool) t.join();
}

}  // namespace

void kly_MpiWorker::serve(const kly_MpiSession& session, const Evaluate& evaluate) {
  if (session.coordinator()) throw std::logic_error("kly_MpiWorker::serve: rank 0 hands out the tasks");
  const MPI_Comm comm = session.comm();
  int threads = 1;
  for (;;) {
    const std::string control = kly_mpi::receive(comm, 0, kly_mpi::kControl);
    if (control == "end") return;
    if (control.rfind("jobs ", 0) == 0) {
      const int jobs = std::atoi(control.c_str() + 5);
      threads = jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
      kly_mpi::send(comm, 0, kly_mpi::kHello, "threads " + std::to_string(threads));
    } else if (control == "batch") {
      serveBatch(comm, threads, evaluate);
    }
  }
}
