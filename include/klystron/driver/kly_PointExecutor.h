#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "klystron/driver/kly_PointResult.h"

// Runs a batch of independent point evaluations, numbered 0 to count - 1,
// and hands each record back as it is finished. The sweep and the optimiser
// say what a task is; an executor says where it runs: kly_ThreadExecutor on
// worker threads of this process, another implementation on other processes
// too (kly_MpiExecutor, above the driver): it runs on one of them, which
// hands out the tasks and takes the records, while the others learn each
// task from its text (describeTasks), evaluate it and send the record back
// (kly_PointResult::serialize).
class kly_PointExecutor {
public:
  // Evaluates task i; called concurrently for different i, so it must touch
  // nothing shared but what it only reads.
  using Task = std::function<kly_PointResult(std::size_t task)>;
  // Takes the record of a finished task; calls never overlap.
  using Done = std::function<void(std::size_t task, kly_PointResult&& result)>;
  // Asked before each task starts (from any thread); true starts no more.
  using Stop = std::function<bool()>;
  // The text by which another process evaluates task i (kly_PointTask for a
  // tube point, or a text of the caller's that those processes' evaluator
  // reads).
  using Describe = std::function<std::string(std::size_t task)>;

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

  // How other processes learn the tasks of the runs that follow: callers
  // that can say call it before run. An executor of this process alone
  // needs no text and ignores it.
  virtual void describeTasks(Describe describe) { (void)describe; }
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
