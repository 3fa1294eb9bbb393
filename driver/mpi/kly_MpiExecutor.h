#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "driver/mpi/kly_MpiSession.h"
#include "klystron/driver/kly_PointExecutor.h"

// The executor of rank 0 over every rank of an MPI job. Rank 0 keeps the
// queue of the batch's tasks and hands them out, as each asks, to the ranks
// serving in kly_MpiWorker::serve: one task per free worker, or a small batch
// while many remain (a guided share: what is left over four times the
// workers, at most maxBatch), so that uneven tasks still balance at the end.
// Rank 0 works through the queue too, on jobs threads of its own, while its
// main thread answers the others. The other ranks learn a task from its text
// (describeTasks: kly_PointTask::write of the tube that task i evaluates) and
// send back its record, exact (kly_PointResult::serialize), so the records
// are those of the same tasks run here.
//
// Faults: a task that throws on another rank (no record: a point that fails
// gives a failed record and the batch goes on) ends the batch as a throwing
// task does on kly_ThreadExecutor, with the rank in the message. A rank that
// dies ends the job: MPI stops every process.
class kly_MpiExecutor final : public kly_PointExecutor {
public:
  static constexpr int kMaxBatch = 8;

  // What the coordinator did in the runs so far.
  struct Statistics {
    std::size_t messages = 0;     // messages of the other ranks taken
    std::size_t remoteTasks = 0;  // tasks handed to other ranks
    std::size_t localTasks = 0;   // tasks run on rank 0
    double busySeconds = 0;       // processor time of rank 0's main thread reading, recording and answering them [s]
  };

  // Rank 0 only. jobs: workers on each rank (0: one per hardware thread of
  // that rank's machine), told to every other rank now; localWork: rank 0
  // runs tasks too. Throws std::logic_error on another rank,
  // std::invalid_argument for jobs below 0 or maxBatch below 1.
  kly_MpiExecutor(kly_MpiSession& session, int jobs, bool localWork = true, int maxBatch = kMaxBatch);

  // On every rank together.
  int workers() const override { return workers_; }
  int localWorkers() const { return localWork_ ? localJobs_ : 0; }

  // How the other ranks learn each task of the next run (and that run only,
  // so that no run goes out with the texts of another's tasks).
  void describeTasks(Describe describe) override { describe_ = std::move(describe); }

  // The batch over the ranks: `task` runs the tasks given to rank 0, the
  // others evaluate the text describeTasks gave for them (alone, with one
  // rank, the tasks run here on kly_ThreadExecutor). Throws std::logic_error
  // when the tasks were not described and there are other ranks.
  void run(std::size_t count, const Task& task, const Done& done, const Stop& stop) override;

  const Statistics& statistics() const { return statistics_; }

private:
  kly_MpiSession& session_;
  int localJobs_ = 1;
  bool localWork_ = true;
  int maxBatch_ = kMaxBatch;
  int workers_ = 1;
  Describe describe_;
  Statistics statistics_;
};
