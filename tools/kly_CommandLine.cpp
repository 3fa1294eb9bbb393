#include "tools/kly_CommandLine.h"

#include <cctype>
#include <climits>
#include <sstream>
#include <vector>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "tools/kly_Closest.h"

#ifndef KLY_VERSION
#error "KLY_VERSION must be defined by the build"
#endif

namespace {

// A whole number from lo to hi, with a message in words for anything else:
// "expected a whole number of 0 or more, found -1".
CLI::Validator wholeNumber(long long lo, long long hi) {
  const std::string expected = hi == INT_MAX ? fmt::format("a whole number of {} or more", lo)
                                             : fmt::format("a whole number from {} to {}", lo, hi);
  return CLI::Validator(
      [lo, hi, expected](std::string& text) -> std::string {
        std::size_t digits = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
        const bool integral = text.size() > digits && text.find_first_not_of("0123456789", digits) == std::string::npos;
        if (!integral) return fmt::format("expected {}, found \"{}\"", expected, text);
        // Up to 18 digits fit a long long; longer ones are out of range anyway.
        if (text.size() - digits > 18) return fmt::format("expected {}, found {}", expected, text);
        const long long v = std::stoll(text);
        if (v < lo || v > hi) return fmt::format("expected {}, found {}", expected, text);
        return {};
      },
      hi == INT_MAX ? fmt::format("INT>={}", lo) : fmt::format("INT in [{}, {}]", lo, hi));
}

// The simulation's near field, thin or finite.
void addNearField(CLI::App* command, std::string& nearField, const std::string& help) {
  command->add_option("--near-field", nearField, help)->check(CLI::IsMember({"thin", "finite"}));
}

const char* const kNearFieldHelp =
    "the simulation's near field, thin or finite; default: the tube file's simulation.nearField, else finite";

// A pass limit replacing the tube file's maxIterations; the option tells whether it was given.
CLI::Option* addMaxPasses(CLI::App* command, int& maxPasses) {
  return command->add_option("--max-passes", maxPasses, "at most this many simulation passes (replaces maxIterations)")
      ->check(wholeNumber(1, INT_MAX));
}

const char* const kForcePointsHelp = "run points whose estimated time or memory is over the limits";

}  // namespace

std::string kly_CommandLine::version() { return "klystron " KLY_VERSION; }

kly_CommandLine::Outcome kly_CommandLine::parse(int argc, const char* const* argv) {
  CLI::App app{"Runs a klystron design described in a JSON tube file.", "klystron"};
  app.set_version_flag("--version", version());
  app.require_subcommand(0, 1);
  CLI::App* run = app.add_subcommand("run", "run the analytic model and the disk simulation of a tube");
  // Words that name no command are collected, to be named in the message.
  app.allow_extras();

  kly_CommandOptions o;
  std::string tube;
  std::string output;
  int maxPasses = 0;
  run->add_option("TUBE", tube, "tube description (JSON)")->required();
  run->add_option("-o,--output", output, "folder for the results (default: TUBE's name with -results, here)");
  run->add_flag("--no-sim", o.noSim, "run the analytic model only");
  run->add_option("--threads", o.threads, "simulation threads (0: one per hardware thread)")
      ->check(wholeNumber(0, kMaxThreads));
  addNearField(run, o.nearField,
               "space charge between disks near each other: thin (disks of no thickness) or finite (disks as "
               "thick as the charge they stand for); default: the tube file's simulation.nearField, else finite");
  run->add_flag("--check-resolution", o.checkResolution,
                "repeat the simulation with one ring more and with two disks more and report how the results move");
  CLI::Option* passes = addMaxPasses(run, maxPasses);
  run->add_flag("--force", o.force, "run even when the estimated time or memory is over the limits");

  CLI::App* sweep = app.add_subcommand(
      "sweep", "run a tube at every value of one parameter, or every pair of values of two (a grid)");
  kly_SweepCommandOptions so;
  std::string sweepTube, sweepOutput;
  int sweepMaxPasses = 0;
  sweep->add_option("TUBE", sweepTube, "tube description (JSON)")->required();
  sweep
      ->add_option("--vary", so.request.vary,
                   "KEY=RANGE: a key path of the tube file (beam.inputPower, cavities[1].frequency, "
                   "simulation.rings, ...) and start:stop:count, start:stop:count:log or v1,v2,...; twice for a grid")
      ->required()
      ->allow_extra_args(false);
  sweep->add_option("-o,--output", sweepOutput, "folder for the files (default: TUBE's name with -sweep, here)");
  sweep->add_option("--jobs", so.jobs, "points at once, each simulation on one thread (0: one per hardware thread)")
      ->check(wholeNumber(0, kMaxThreads));
  sweep->add_flag("--no-sim", so.request.noSim, "run the analytic model only");
  sweep->add_flag("--resume", so.resume,
                  "keep the points of an earlier sweep in the folder whose tubes are unchanged, run the rest");
  addNearField(sweep, so.request.nearField, kNearFieldHelp);
  CLI::Option* sweepPasses = addMaxPasses(sweep, sweepMaxPasses);
  sweep->add_flag("--force", so.request.force, kForcePointsHelp);

  CLI::App* optimize = app.add_subcommand(
      "optimize", "search the values of some of a tube's numbers for the best results, under constraints");
  kly_OptimizeCommandOptions op;
  std::string optimizeTube, optimizeOutput;
  int optimizeMaxPasses = 0;
  optimize->add_option("TUBE", optimizeTube, "the starting tube description (JSON)")->required();
  optimize
      ->add_option("--vary", op.vary,
                   "KEY=LOW:HIGH: a key path of the tube file (as klystron sweep takes them) and its bounds; once per "
                   "parameter")
      ->required()
      ->allow_extra_args(false);
  optimize
      ->add_option("--objective", op.objectives,
                   "max:RESULT or min:RESULT: a scalar of results.json, analyticBandwidth1dB, analyticBandwidth3dB, or "
                   "a saturation figure; once per objective")
      ->required()
      ->allow_extra_args(false);
  optimize
      ->add_option("--constraint", op.constraints,
                   "RESULT>=VALUE, RESULT<=VALUE or diskReflected==false / fieldOverlapping==false; once per condition")
      ->allow_extra_args(false);
  optimize->add_option("--algorithm", op.algorithm,
                       "nsga2, nspso or maco for several objectives (default nsga2); pso_gen or gaco for one (default "
                       "pso_gen)");
  optimize->add_option("--population", op.population, "individuals (default: 24 for several objectives, else 20)")
      ->check(wholeNumber(2, 100000));
  optimize->add_option("--generations", op.generations, "generations (default 20)")->check(wholeNumber(1, 1000000));
  optimize->add_option("--seed", op.seed, "seed of the random choices (default 1)")->check(wholeNumber(0, UINT_MAX));
  optimize
      ->add_option("--refine", op.refine,
                   "a compass search of about N evaluations from the best point after "
                   "the last generation (one objective)")
      ->check(wholeNumber(0, 1000000));
  optimize->add_option(
      "--saturation-drives", op.saturationDrives,
      "drives [W] of a drive sweep of every point, as START:STOP:COUNT[:log] or v1,v2,...: gives "
      "simulatedSaturatedOutputPower, simulatedSaturatedElectronicEfficiency and simulatedSaturatedDrive");
  optimize
      ->add_option("--band-samples", op.bandSamples,
                   "frequencies over +-3 % of the drive frequency that the analytic bandwidths are read from (default "
                   "241)")
      ->check(wholeNumber(3, 100000));
  optimize->add_option("-o,--output", optimizeOutput,
                       "folder for the files (default: TUBE's name with -optimize, here)");
  optimize
      ->add_option("--jobs", op.jobs, "evaluations at once, each simulation on one thread (0: one per hardware thread)")
      ->check(wholeNumber(0, kMaxThreads));
  optimize->add_flag("--resume", op.resume, "go on from the checkpoint in the folder");
  optimize->add_flag("--no-sim", op.noSim, "run the analytic model only");
  addNearField(optimize, op.nearField, kNearFieldHelp);
  CLI::Option* optimizePasses = addMaxPasses(optimize, optimizeMaxPasses);
  optimize->add_flag("--force", op.force, kForcePointsHelp);

  Outcome outcome;
  std::ostringstream out, err;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    outcome.exitCode = app.exit(e, out, err);
    outcome.out = out.str();
    outcome.err = err.str();
    return outcome;
  }
  if (sweep->parsed()) {
    so.request.tube = sweepTube;
    so.output = sweepOutput;
    if (*sweepPasses) so.request.maxPasses = sweepMaxPasses;
    outcome.sweep = so;
    return outcome;
  }
  if (optimize->parsed()) {
    op.tube = optimizeTube;
    op.output = optimizeOutput;
    if (*optimizePasses) op.maxPasses = optimizeMaxPasses;
    outcome.optimize = op;
    return outcome;
  }
  if (run->parsed()) {
    o.tube = tube;
    o.output = output;
    if (*passes) o.maxPasses = maxPasses;
    outcome.options = o;
    return outcome;
  }
  outcome.exitCode = static_cast<int>(CLI::ExitCodes::RequiredError);
  const std::vector<std::string> extras = app.remaining();
  if (extras.empty()) {
    outcome.err =
        "klystron: a command is required, for example: klystron run TUBE.json or klystron sweep TUBE.json --vary "
        "beam.inputPower=1:100:9:log (see klystron --help)\n";
  } else {
    const std::string closest = kly_closest(extras.front(), {"run", "sweep", "optimize"}, 3);
    outcome.err = fmt::format(
        "klystron: unknown command \"{}\"{}; the commands are: klystron run TUBE.json, klystron "
        "sweep TUBE.json --vary KEY=RANGE, klystron optimize TUBE.json --vary KEY=LOW:HIGH "
        "--objective max:RESULT\n",
        extras.front(), closest.empty() ? "" : fmt::format(" (did you mean \"{}\"?)", closest));
  }
  return outcome;
}
