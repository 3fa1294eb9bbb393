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
// Ctrl-C lets its running points finish.
#include <iostream>
#include <sstream>

#include <fmt/format.h>

#include "tools/kly_CommandLine.h"
#include "tools/kly_Interrupt.h"
#include "tools/kly_RunChecks.h"
#include "tools/kly_ProgressLine.h"
#include "tools/kly_RunEstimate.h"
#include "tools/kly_RunFiles.h"
#include "tools/kly_Summary.h"
#include "tools/kly_SweepCommand.h"
#include "tools/kly_SweepJournal.h"
#include "tools/kly_TubeFile.h"
#include "tools/kly_TubeRun.h"

namespace {

int runTube(const kly_CommandOptions& o) {
  kly_TubeFileContents tube = kly_TubeFile::read(o.tube);
  const std::optional<kly_RunEstimate> estimate = kly_RunChecks::check(
      tube, {.simulate = !o.noSim, .threads = o.threads, .checkResolution = o.checkResolution,
             .maxPasses = o.maxPasses, .force = o.force});
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
                  folder.holdsResults() ? fmt::format(" ('{}' holds the files of an earlier run)",
                                                      folder.folder().string())
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
  std::cout << summary.str() << fmt::format("\nWrote {} files to {}/\n", files.names().size(), folder.folder().string());
  return run.completed() ? 0 : kly_Interrupt::kExitStatus;
}

int sweepTubes(const kly_SweepCommandOptions& o) {
  const bool terminal = kly_ProgressLine::stderrIsTerminal();
  const std::filesystem::path folder = o.output.empty() ? kly_SweepCommand::defaultFolder(o.request.tube) : o.output;
  const kly_Interrupt interrupt(
      fmt::format("{}klystron: interrupted: no more points start; the running ones finish and everything done is "
                  "written (Ctrl-C again stops at once)\n",
                  terminal ? "\n" : ""),
      fmt::format("{}klystron: stopped at once; the points finished are kept in '{}': klystron sweep ... --resume "
                  "-o {} runs the rest\n",
                  terminal ? "\n" : "", (folder / kly_SweepJournal::kName).string(), folder.string()));
  return kly_SweepCommand::run(o, std::cout, std::cerr, terminal, [] { return kly_Interrupt::requested(); });
}

}  // namespace

int main(int argc, char** argv) {
  const kly_CommandLine::Outcome command = kly_CommandLine::parse(argc, argv);
  std::cout << command.out;
  std::cerr << command.err;
  if (!command.options && !command.sweep) return command.exitCode;

  const std::string tube = (command.options ? command.options->tube : command.sweep->request.tube).string();
  try {
    return command.options ? runTube(*command.options) : sweepTubes(*command.sweep);
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
