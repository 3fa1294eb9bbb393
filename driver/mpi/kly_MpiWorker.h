#pragma once

#include <chrono>
#include <functional>
#include <string_view>

#include "driver/mpi/kly_MpiSession.h"
#include "klystron/driver/kly_PointResult.h"

// What a rank other than 0 does in an MPI job: it evaluates the tasks rank
// 0's kly_MpiExecutor hands it, batch after batch, on as many worker threads
// as rank 0 asks for (`--jobs`; 0: one per hardware thread here), and sends
// each record back as it is finished, until rank 0's session ends. It writes
// nothing and reads only what its points read (their field and beam files).
class kly_MpiWorker {
public:
  // Tasks shorter than this on average [s]: the rank asks for the next one
  // while all its workers are busy, so that no worker waits for rank 0's
  // answer; with longer ones it asks only when a worker is free, so that the
  // last tasks go to the ranks that are free.
  static constexpr double kAheadBelow = 0.05;
  // The records of short tasks go to rank 0 together, with the next request
  // or at most this long after the last message, which bounds the finished
  // work that a job killed can lose with them; a longer task's record goes
  // as it is finished.
  static constexpr std::chrono::milliseconds kHoldRecords{20};

  // The record of a task from its text; kly_PointTask::evaluate for the
  // drivers' points. Called from several threads at once.
  using Evaluate = std::function<kly_PointResult(std::string_view text)>;

  // Serves rank 0 until it releases the ranks. An exception of evaluate is
  // sent to rank 0 (which ends the batch with it) and the rank goes on
  // serving. Throws std::logic_error on rank 0.
  static void serve(const kly_MpiSession& session, const Evaluate& evaluate);
};
