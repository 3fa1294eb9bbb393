#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tools/kly_OptimizeCommand.h"
#include "tools/kly_SweepCommand.h"

// What `klystron run` was asked to do.
struct kly_CommandOptions {
  std::filesystem::path tube;    // the tube file
  std::filesystem::path output;  // folder for the results; empty: TUBE-results here
  bool noSim = false;            // the analytic model only
  int threads = 0;               // simulation threads; 0: one per hardware thread
  std::string nearField;         // "thin" or "finite"; empty: the tube file's
  bool checkResolution = false;  // repeat the simulation with one ring and with two disks more
  std::optional<int> maxPasses;  // replaces the tube's simulation.maxIterations
  bool force = false;            // run even when the estimate is over the limits
};

// The command line of the klystron command:
//   klystron run TUBE.json [-o DIR] [--no-sim] [--threads N] [--near-field thin|finite]
//                [--check-resolution] [--max-passes N] [--force]
//   klystron sweep TUBE.json --vary KEY=RANGE [--vary KEY2=RANGE2] [-o DIR] [--jobs N] [--no-sim]
//                  [--resume] [--near-field thin|finite] [--max-passes N] [--force]
//   klystron optimize TUBE.json --vary KEY=LOW:HIGH ... --objective max:RESULT ... [--constraint 'RESULT>=VALUE' ...]
//                     [--algorithm NAME] [--population N] [--generations G] [--seed S] [--refine N]
//                     [--saturation-drives RANGE] [-o DIR] [--jobs N] [--resume] [--no-sim] [--near-field ...]
//                     [--max-passes N] [--force]
//   klystron --help | --version
class kly_CommandLine {
public:
  static constexpr int kMaxThreads = 1024;

  // The result of reading the arguments: the options of a run or of a
  // sweep, or what to print (help, the version, a usage error) and the exit
  // status.
  struct Outcome {
    std::optional<kly_CommandOptions> options;
    std::optional<kly_SweepCommandOptions> sweep;
    std::optional<kly_OptimizeCommandOptions> optimize;
    int exitCode = 0;
    std::string out;  // for standard output (help, version)
    std::string err;  // for standard error (usage errors)
  };

  static Outcome parse(int argc, const char* const* argv);

  // "klystron 0.1.0".
  static std::string version();
};
