#pragma once

#include <cstddef>
#include <functional>

#include "klystron/driver/kly_PointResult.h"

// Runs a batch of independent point evaluations, numbered 0 to count - 1,
// and hands each record back as it is finished. The sweep and the optimiser
// say what a task is; an executor says where it runs: kly_ThreadExecutor on
// worker threads of this process, another implementation on other processes
// (each of which can evaluate any task of the batch from its number). An
// executor over several processes is called on each of them with the same
// batch (kly_Sweep::run does so when every process holds the same plan and
// the same records done): one of them hands out the task numbers and takes
// the records, the others evaluate what they are handed and send the
// records back (kly_PointResult::serialize).
class kly_PointExecutor {
public:
  // Evaluates task i; called concurrently for different i, so it must touch
  // nothing shared but what it only reads.
  using Task = std::function<kly_PointResult(std::size_t task)>;
  // Takes the record of a finished task; calls never overlap.
  using Done = std::function<void(std::size_t task, kly_PointResult&& result)>;
  // Asked before each task starts (from any thread); true starts no more.
  using Stop = std::function<bool()>;

  virtual ~kly_PointExecutor() = default;

  // Workers that evaluate tasks at the same time.
  virtual int workers() const = 0;

  // Runs every task once, in any order, each to its end, and calls done with
  // its record; returns when all have finished or, after stop() turned true,
  // when the tasks already started have. Tasks are handed out as workers
  // become free, so uneven tasks keep every worker busy. An exception from
  // task or done starts no further task and is thrown again here once the
  // running ones have finished.
  virtual void run(std::size_t count, const Task& task, const Done& done, const Stop& stop) = 0;
};

// Worker threads of this process, each taking the next task (an atomic
// counter) when it is free. With one worker the tasks run on the calling
// thread, in order.
class kly_ThreadExecutor final : public kly_PointExecutor {
public:
  // 0: one worker per hardware thread.
  explicit kly_ThreadExecutor(int workers = 0);

  int workers() const override { return workers_; }
  void run(std::size_t count, const Task& task, const Done& done, const Stop& stop) override;

private:
  int workers_;
};
