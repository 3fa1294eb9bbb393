// klystron run TUBE.json [-o DIR] [--no-sim] [--threads N] [--near-field thin|finite] [--check-resolution]
//              [--max-passes N] [--force]
// klystron sweep TUBE.json --vary KEY=RANGE [--vary KEY2=RANGE2] [-o DIR] [--jobs N] [--no-sim] [--resume] ...
//
// Reads a tube description and checks it, estimates the simulation's cost and
// checks the output folder, all before anything is computed; runs the
// analytic model and (when the tube has a simulation section) the disk
// simulation, prints a summary and writes the results, tables and plots into
// DIR. Ctrl-C stops the simulation after its current pass and writes what was
// done (exit status 130); a second Ctrl-C ends the program at once. A sweep
// runs the tube at every value of one or two of its numbers (kly_SweepCommand);
// Ctrl-C lets its running points finish. An optimisation searches some of
// the tube's numbers for the best results (kly_OptimizeCommand); Ctrl-C keeps
// its last checkpoint, from which --resume goes on.
//
// Started by mpirun (or srun), a sweep runs its points over every process of
// the job: rank 0 reads, checks, hands out the points and writes the files;
// the other ranks evaluate the points they are handed (kly_MpiWorker). A
// signal (Ctrl-C to mpirun, a process that died) ends the job at once, with
// the command that resumes it.
#include <iostream>
#include <optional>
#include <sstream>

#include <fmt/format.h>

#include "tools/kly_CommandLine.h"
#include "tools/kly_Interrupt.h"
#include "tools/kly_ProgressLine.h"
#include "tools/kly_RunChecks.h"
#include "tools/kly_RunEstimate.h"
#include "tools/kly_RunFiles.h"
#include "tools/kly_Summary.h"
#include "tools/kly_SweepCommand.h"
#include "tools/kly_SweepJournal.h"
#include "tools/kly_TubeFile.h"
#include "tools/kly_TubeRun.h"
#ifdef KLY_WITH_OPTIMIZER
#include "optimizer/kly_OptimizationProblem.h"
#endif

#ifdef KLY_WITH_MPI
#include "driver/mpi/kly_MpiExecutor.h"
#include "driver/mpi/kly_MpiSession.h"
#include "driver/mpi/kly_MpiWorker.h"
#include "klystron/driver/kly_PointTask.h"
#endif

namespace {

#ifdef KLY_WITH_MPI
std::optional<kly_MpiSession> gMpi;  // when an MPI launcher started this process
#endif

// The command line again, with --resume, each word quoted where a shell would
// split it.
std::string resumeCommand(int argc, char** argv) {
  std::string line;
  bool resume = false;
  for (int i = 0; i < argc; ++i) {
    std::string word = argv[i];
    resume = resume || word == "--resume";
    if (word.find_first_of(" \t\n'\"\\$`*?[]{}()<>|&;#~") != std::string::npos || word.empty()) {
      std::string quoted = "'";
      for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      word = quoted + "'";
    }
    line += (i > 0 ? " " : "") + word;
  }
  return resume ? line : line + " --resume";
}

int runTube(const kly_CommandOptions& o) {
  kly_TubeFileContents tube = kly_TubeFile::read(o.tube);
  const std::optional<kly_RunEstimate> estimate = kly_RunChecks::check(tube, {.simulate = !o.noSim,
                                                                              .threads = o.threads,
                                                                              .checkResolution = o.checkResolution,
                                                                              .maxPasses = o.maxPasses,
                                                                              .force = o.force});
  const bool simulate = estimate.has_value();
  const std::optional<kly_SimulationSettings>& settings = tube.description.simulation;
  kly_OutputFolder folder(o.output.empty() ? std::filesystem::path(o.tube.stem().string() + "-results") : o.output);
  folder.prepare();

  const bool terminal = kly_ProgressLine::stderrIsTerminal();
  kly_ProgressLine progress(std::cerr, terminal, simulate ? settings->maxIterations : 0);
  const kly_Interrupt interrupt(
      fmt::format("{}klystron: interrupted: stopping after this pass to write the passes done (Ctrl-C again stops at "
                  "once and writes nothing)\n",
                  terminal ? "\n" : ""),
      fmt::format("{}klystron: stopped at once; nothing of this run was written{}\n", terminal ? "\n" : "",
                  folder.holdsResults()
                      ? fmt::format(" ('{}' holds the files of an earlier run)", folder.folder().string())
                      : ""));
  kly_TubeRun run(std::move(tube));
  kly_TubeRunOptions options;
  options.simulate = simulate;
  options.threads = o.threads;
  options.onPass = [&progress](const kly_PassReport& r) { progress.update(r); };
  options.onStep = [&progress](const kly_StepReport& r) { progress.step(r); };
  options.stopRequested = [] { return kly_Interrupt::requested(); };
  options.onWarning = [&progress](const kly_Warning& w) {
    progress.finish();
    std::cerr << "klystron: warning: " << w.text() << '\n';
  };
  if (!o.nearField.empty()) options.nearField = kly_nearFieldFromName(o.nearField);
  options.checkResolution = o.checkResolution;
  options.onRepeat = [&progress](const kly_ResolutionRepeat& r) {
    progress.finish();
    std::cerr << fmt::format("resolution check, {}: {} disks x {} rings\n", r.change, r.disks, r.rings);
  };
  options.estimate = estimate;
  run.run(options);
  progress.finish();

  std::ostringstream summary;
  kly_Summary::print(summary, run);
  const kly_OutputFolder files = kly_RunFiles::collect(run, folder.folder(), summary.str());
  files.write(kly_RunFiles::allNames());
  std::cout << summary.str()
            << fmt::format("\nWrote {} files to {}/\n", files.names().size(), folder.folder().string());
  return run.completed() ? 0 : kly_Interrupt::kExitStatus;
}

int sweepTubes(const kly_SweepCommandOptions& o, int argc, char** argv) {
  const bool terminal = kly_ProgressLine::stderrIsTerminal();
  const std::filesystem::path folder = o.output.empty() ? kly_SweepCommand::defaultFolder(o.request.tube) : o.output;
#ifdef KLY_WITH_MPI
  if (gMpi) {
    // mpirun kills every process soon after it signals them: nothing more can be written.
    const kly_Interrupt interrupt(fmt::format(
        "klystron: the MPI job is ending (it was stopped, or one of its processes died); the points finished are "
        "kept in '{}'. The same command with --resume computes only the rest:\n  mpirun -n {} {}\n",
        (folder / kly_SweepJournal::kName).string(), gMpi->size(), resumeCommand(argc, argv)));
    const kly_SweepCommand::Executors executors = [](int jobs) {
      return std::unique_ptr<kly_PointExecutor>(std::make_unique<kly_MpiExecutor>(*gMpi, jobs));
    };
    return kly_SweepCommand::run(
        o, std::cout, std::cerr, terminal, [] { return false; }, executors);
  }
#else
  (void)argc;
  (void)argv;
#endif
  const kly_Interrupt interrupt(
      fmt::format("{}klystron: interrupted: no more points start; the running ones finish and everything done is "
                  "written (Ctrl-C again stops at once)\n",
                  terminal ? "\n" : ""),
      fmt::format("{}klystron: stopped at once; the points finished are kept in '{}': klystron sweep ... --resume "
                  "-o {} runs the rest\n",
                  terminal ? "\n" : "", (folder / kly_SweepJournal::kName).string(), folder.string()));
  return kly_SweepCommand::run(o, std::cout, std::cerr, terminal, [] { return kly_Interrupt::requested(); });
}

int optimizeTube(const kly_OptimizeCommandOptions& o, int argc, char** argv) {
#ifdef KLY_WITH_OPTIMIZER
  const bool terminal = kly_ProgressLine::stderrIsTerminal();
  const std::filesystem::path folder = o.output.empty() ? kly_OptimizeCommand::defaultFolder(o.tube) : o.output;
#ifdef KLY_WITH_MPI
  if (gMpi) {
    // Each generation's evaluations go over every rank; mpirun kills every
    // process soon after it signals them.
    const kly_Interrupt interrupt(fmt::format(
        "klystron: the MPI job is ending (it was stopped, or one of its processes died); the generations done are "
        "kept in '{}'. The same command with --resume goes on from there:\n  mpirun -n {} {}\n",
        (folder / kly_OptimizeCommand::kCheckpoint).string(), gMpi->size(), resumeCommand(argc, argv)));
    kly_MpiExecutor executor(*gMpi, o.jobs);
    try {
      return kly_OptimizeCommand::run(
          o, std::cout, std::cerr, [] { return false; }, &executor);
    } catch (const kly_OptimizationError& e) {
      std::cerr << "klystron: " << e.what() << '\n';
      return 1;
    }
  }
#else
  (void)argc;
  (void)argv;
#endif
  const kly_Interrupt interrupt(
      fmt::format("{}klystron: interrupted: no more evaluations start; the running ones finish, and the files are "
                  "written from the last checkpoint (Ctrl-C again stops at once)\n",
                  terminal ? "\n" : ""),
      fmt::format("{}klystron: stopped at once; the generations done are kept in '{}': klystron optimize ... "
                  "--resume -o {} goes on\n",
                  terminal ? "\n" : "", (folder / kly_OptimizeCommand::kCheckpoint).string(), folder.string()));
  try {
    return kly_OptimizeCommand::run(o, std::cout, std::cerr, [] { return kly_Interrupt::requested(); });
  } catch (const kly_OptimizationError& e) {
    std::cerr << "klystron: " << e.what() << '\n';
    return 1;
  }
#else
  std::cerr << "klystron: optimize is not available: this klystron was built without the optimiser (it needs "
               "pagmo, Debian's libpagmo-dev; install it and build again)\n";
  (void)o;
  (void)argc;
  (void)argv;
  return 1;
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef KLY_WITH_MPI
  if (kly_MpiSession::launched()) {
    try {
      gMpi.emplace(argc, argv);
    } catch (const std::exception& e) {
      std::cerr << "klystron: " << e.what() << '\n';
      return 1;
    }
    if (!gMpi->coordinator()) {
      try {
        kly_MpiWorker::serve(*gMpi, kly_PointTask::evaluate);
      } catch (const std::exception& e) {
        // Rank 0 would wait for this one for ever: the job ends.
        std::cerr << "klystron: rank " << gMpi->rank() << ": " << e.what() << '\n';
        MPI_Abort(gMpi->comm(), 1);
      }
      gMpi.reset();
      return 0;
    }
  }
  // Rank 0 (or the only process): ends the other ranks' service on every way out.
  struct Release {
    ~Release() { gMpi.reset(); }
  } release;
#endif
  const kly_CommandLine::Outcome command = kly_CommandLine::parse(argc, argv);
  std::cout << command.out;
  std::cerr << command.err;
  if (!command.options && !command.sweep && !command.optimize) return command.exitCode;

  const std::string tube = (command.options ? command.options->tube
                            : command.sweep ? command.sweep->request.tube
                                            : command.optimize->tube)
                               .string();
  try {
#ifdef KLY_WITH_MPI
    if (command.options && gMpi && gMpi->size() > 1) {
      std::cerr << "klystron: klystron run computes one tube in one process: start it without mpirun (klystron "
                   "sweep spreads its points over the processes of an MPI job)\n";
      return 2;
    }
#endif
    if (command.optimize) return optimizeTube(*command.optimize, argc, argv);
    return command.options ? runTube(*command.options) : sweepTubes(*command.sweep, argc, argv);
  } catch (const kly_VaryError& e) {
    std::cerr << "klystron: " << e.what() << '\n';
  } catch (const kly_TubeFileError& e) {
    std::cerr << e.what() << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "klystron: not enough memory for this run (lower the simulation's disks, rings or steps)\n";
  } catch (const std::exception& e) {
    std::cerr << "klystron: " << tube << ": " << e.what() << '\n';
  }
  return 1;
}
