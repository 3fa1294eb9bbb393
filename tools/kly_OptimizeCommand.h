#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class kly_PointExecutor;

// What `klystron optimize` was asked to do.
struct kly_OptimizeCommandOptions {
  std::filesystem::path tube;            // the starting tube file
  std::vector<std::string> vary;         // KEY=LOW:HIGH
  std::vector<std::string> objectives;   // max:RESULT, min:RESULT
  std::vector<std::string> constraints;  // RESULT>=VALUE, RESULT<=VALUE, FLAG==false
  std::string algorithm;                 // empty: nsga2 for several objectives, pso_gen for one
  unsigned population = 0;               // 0: the algorithm's default
  unsigned generations = 20;
  unsigned seed = 1;
  unsigned refine = 0;           // compass-search evaluations after the last generation
  std::string saturationDrives;  // START:STOP:COUNT[:log] or a list [W]: the drive sweep of the saturation figures
  int bandSamples = 241;         // frequencies of the analytic response the bandwidths are read from
  std::filesystem::path output;  // empty: TUBE-optimize here
  int jobs = 0;                  // evaluations at once; 0: one per hardware thread
  bool resume = false;           // go on from the checkpoint in the folder
  bool noSim = false;            // the analytic model only
  std::string nearField;         // "thin" or "finite"; empty: the tube file's (else finite)
  std::optional<int> maxPasses;  // replaces simulation.maxIterations
  bool force = false;            // points whose estimate is over the limits run all the same
};

// klystron optimize TUBE.json --vary KEY=LOW:HIGH ... --objective max:RESULT ... [--constraint ...] ...
// Checks the whole request before anything runs, evolves the
// population one generation at a time with each generation's evaluations
// on the workers, writes a checkpoint after every generation, then writes
// history.csv, front.csv, best/NN.json, the plots and the summary into the
// folder and prints the summary.
class kly_OptimizeCommand {
public:
  static constexpr const char* kCheckpoint = "checkpoint.txt";
  static constexpr int kNoFeasible = 3;  // exit status when no evaluation met the constraints
  static constexpr int kStopped = 130;   // exit status when a stop ended the run early

  // The default output folder of a tube file: its name with -optimize, here.
  static std::filesystem::path defaultFolder(const std::filesystem::path& tube);

  // Runs the optimisation: the summary to `out`, the progress and notes to
  // `err`; `stop` is asked before each evaluation starts, from any worker.
  // The evaluations run on `executor` when given (one of other processes),
  // else on --jobs threads of this one. Returns the exit status: 0, or
  // kNoFeasible, or kStopped. Throws kly_TubeFileError, kly_VaryError and
  // kly_OptimizationError for a request that cannot be used and
  // std::runtime_error for a folder or checkpoint that cannot be used, all
  // before any evaluation.
  static int run(const kly_OptimizeCommandOptions& options, std::ostream& out, std::ostream& err,
                 const std::function<bool()>& stop, kly_PointExecutor* executor = nullptr);
};
