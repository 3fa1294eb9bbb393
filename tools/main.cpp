// klystron run TUBE.json [-o DIR] [--no-sim] [--threads N] [--near-field thin|finite] [--check-resolution]
//              [--max-passes N] [--force]
//
// Reads a tube description and checks it, estimates the simulation's cost and
// checks the output folder, all before anything is computed; runs the
// analytic model and (when the tube has a simulation section) the disk
// simulation, prints a summary and writes the results, tables and plots into
// DIR. Ctrl-C stops the simulation after its current pass and writes what was
// done (exit status 130); a second Ctrl-C ends the program at once.
#include <iostream>
#include <sstream>

#include <fmt/format.h>

#include "tools/kly_CommandLine.h"
#include "tools/kly_Interrupt.h"
#include "tools/kly_PhysicsChecks.h"
#include "tools/kly_ProgressLine.h"
#include "tools/kly_RunEstimate.h"
#include "tools/kly_RunFiles.h"
#include "tools/kly_Summary.h"
#include "tools/kly_TubeFile.h"
#include "tools/kly_TubeRun.h"

namespace {

int runTube(const kly_CommandOptions& o) {
  kly_TubeFileContents tube = kly_TubeFile::read(o.tube);
  std::optional<kly_SimulationSettings>& settings = tube.description.simulation;
  if (settings && o.maxPasses) settings->maxIterations = *o.maxPasses;
  kly_PhysicsChecks::checkBeam(tube);

  const bool simulate = !o.noSim && settings;
  std::optional<kly_RunEstimate> estimate;
  if (simulate) {
    kly_PhysicsChecks::checkImportedBeam(tube);
    estimate = kly_RunEstimate::of(tube.description, o.threads, o.checkResolution);
    if (auto refusal = estimate->refusal(kly_RunEstimate::Limits::ofThisMachine()); refusal && !o.force)
      throw kly_TubeFileError({fmt::format("{}: {}", o.tube.string(), *refusal)});
  }
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

}  // namespace

int main(int argc, char** argv) {
  const kly_CommandLine::Outcome command = kly_CommandLine::parse(argc, argv);
  std::cout << command.out;
  std::cerr << command.err;
  if (!command.options) return command.exitCode;

  const std::string tube = command.options->tube.string();
  try {
    return runTube(*command.options);
  } catch (const kly_TubeFileError& e) {
    std::cerr << e.what() << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "klystron: not enough memory for this run (lower the simulation's disks, rings or steps)\n";
  } catch (const std::exception& e) {
    std::cerr << "klystron: " << tube << ": " << e.what() << '\n';
  }
  return 1;
}
