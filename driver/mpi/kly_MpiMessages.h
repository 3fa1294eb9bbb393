#pragma once

#include <mpi.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The messages between rank 0 and the other ranks, all text:
//   control (0 -> rank): "jobs J" (answered by hello "threads T"), "batch"
//     (the rank asks for tasks until it is told there are no more), "end";
//   work (rank -> 0): "want final errorLength\n", the error, then one line
//     "task record" per finished task (kly_PointResult::serialize); want > 0
//     asks for tasks (answered by a tasks message), final says the rank has
//     finished the batch;
//   tasks (0 -> rank): "task length\n" and that many bytes of the task's
//     text, per task; none: the batch has no more.
namespace kly_mpi {

enum Tag : int { kControl = 11, kHello = 12, kWork = 13, kTasks = 14 };

// Pauses between polls: yields for the first kSpinSeconds of a wait (an
// answer is often that near), then sleeps from kFirstSleep, doubling up to
// kly_MpiSession::kMaxPause.
class Backoff {
public:
  static constexpr double kSpinSeconds = 20e-6;
  static constexpr double kFirstSleep = 5e-6;

  void pause();

private:
  bool started_ = false;
  std::chrono::steady_clock::time_point start_;
  double sleep_ = kFirstSleep;
};

void send(MPI_Comm comm, int to, int tag, std::string_view text);

// Messages on their way while the sender goes on: a blocking send of shared
// memory can wait for the receiver to take the message, and rank 0 must not.
// Each text is kept until its send has finished.
class Outgoing {
public:
  Outgoing() = default;
  Outgoing(const Outgoing&) = delete;
  Outgoing& operator=(const Outgoing&) = delete;
  ~Outgoing() { finish(); }

  void send(MPI_Comm comm, int to, int tag, std::string text);
  // Lets go of the texts whose sends have finished.
  void collect();
  // Waits for every send to finish, polling.
  void finish();

private:
  struct Message {
    std::string text;
    MPI_Request request;
  };
  std::vector<std::unique_ptr<Message>> messages_;
};
// The next message of `tag` from `from` (MPI_ANY_SOURCE: anyone), polling;
// `source` gets the sender's rank.
std::string receive(MPI_Comm comm, int from, int tag, int* source = nullptr);
// Waits for a request to finish, polling.
void wait(MPI_Request& request);

struct WorkHeader {
  int want = 0;
  bool final = false;
  std::string error;
  std::size_t body = 0;  // where the result lines start
};
std::string workHeader(int want, bool final, const std::string& error);
// std::invalid_argument for a message that is not one.
WorkHeader readWorkHeader(std::string_view message);

}  // namespace kly_mpi
