#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "klystron/driver/kly_PointExecutor.h"
#include "tools/kly_SweepSetup.h"

// What `klystron sweep` was asked to do.
struct kly_SweepCommandOptions {
  kly_SweepRequest request;
  std::filesystem::path output;  // folder for the files; empty: TUBE-sweep here
  int jobs = 0;                  // points at once; 0: one per hardware thread
  bool resume = false;           // keep the points of the journal in the folder
};

// klystron sweep TUBE.json --vary KEY=RANGE [--vary KEY2=RANGE2] [-o DIR] [--jobs N] [--no-sim] [--resume] ...
// Reads and checks every point before anything runs, runs the points on the
// workers (each finished point goes into the journal at once), then writes
// sweep.csv, sweep.json, the plots and the summary into the folder and
// prints the summary.
class kly_SweepCommand {
public:
  static constexpr int kFailedPoints = 3;  // exit status when some point failed
  static constexpr int kStopped = 130;     // exit status when a stop left points not run

  // Where the points run: an executor of `jobs` workers per process
  // (kly_MpiExecutor under mpirun); none: this process's threads
  // (kly_ThreadExecutor).
  using Executors = std::function<std::unique_ptr<kly_PointExecutor>(int jobs)>;

  // The default output folder of a tube file: its name with -sweep, here.
  static std::filesystem::path defaultFolder(const std::filesystem::path& tube);

  // Runs the sweep: the summary to `out`, the progress and notes to `err`
  // (the progress rewritten in place when `inPlace`); `stop` is asked before
  // each point starts, from any worker. Returns the exit status: 0 when every
  // point ran and none failed, kFailedPoints when some failed, kStopped when
  // a stop left points not run. Throws kly_TubeFileError and kly_VaryError for
  // a tube file or a --vary that cannot be used, std::runtime_error for an
  // output folder or journal that cannot be written, all before any point runs
  // (a journal that cannot be written later ends the sweep with what is done).
  static int run(const kly_SweepCommandOptions& options, std::ostream& out, std::ostream& err, bool inPlace,
                 const std::function<bool()>& stop, const Executors& executors = {});
};
