// klystron run TUBE.json [-o DIR] [--no-sim] [--threads N] [--near-field thin|finite] [--check-resolution]
//
// Reads a tube description, runs the analytic model and (when the tube has a
// simulation section) the disk simulation, prints a summary and writes the
// results, tables and plots into DIR.
#include <iostream>
#include <sstream>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "tools/kly_ProgressLine.h"
#include "tools/kly_RunFiles.h"
#include "tools/kly_Summary.h"
#include "tools/kly_TubeFile.h"
#include "tools/kly_TubeRun.h"

namespace {

int runTube(const std::filesystem::path& tubeFile, std::filesystem::path folder, bool noSim, int threads,
            const std::string& nearField, bool checkResolution) {
  kly_TubeRun run(kly_TubeFile::read(tubeFile));
  if (folder.empty()) folder = tubeFile.stem().string() + "-results";

  const bool simulate = !noSim && run.tube().description.simulation;
  kly_ProgressLine progress(std::cerr, kly_ProgressLine::stderrIsTerminal(),
                            simulate ? run.tube().description.simulation->maxIterations : 0);
  kly_TubeRunOptions options;
  options.simulate = simulate;
  options.threads = threads;
  options.onPass = [&progress](const kly_PassReport& r) { progress.update(r); };
  if (!nearField.empty()) options.nearField = kly_nearFieldFromName(nearField);
  options.checkResolution = checkResolution;
  options.onRepeat = [&progress](const kly_ResolutionRepeat& r) {
    progress.finish();
    std::cerr << fmt::format("resolution check, {}: {} disks x {} rings\n", r.change, r.disks, r.rings);
  };
  run.run(options);
  progress.finish();

  std::ostringstream summary;
  kly_Summary::print(summary, run);
  const kly_OutputFolder files = kly_RunFiles::collect(run, folder, summary.str());
  files.write(kly_RunFiles::allNames());
  std::cout << summary.str() << fmt::format("\nWrote {} files to {}/\n", files.names().size(), folder.string());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Runs a klystron design described in a JSON tube file."};
  app.require_subcommand(1);
  CLI::App* run = app.add_subcommand("run", "run the analytic model and the disk simulation of a tube");
  std::string tube;
  std::string output;
  bool noSim = false;
  int threads = 0;
  std::string nearField;
  bool checkResolution = false;
  run->add_option("TUBE", tube, "tube description (JSON)")->required();
  run->add_option("-o,--output", output, "folder for the results (default: TUBE's name with -results, here)");
  run->add_flag("--no-sim", noSim, "run the analytic model only");
  run->add_option("--threads", threads, "simulation threads (0: one per hardware thread)")
      ->check(CLI::NonNegativeNumber);
  run->add_option("--near-field", nearField,
                  "space charge between disks near each other: thin (disks of no thickness) or finite (disks as "
                  "thick as the charge they stand for); default: the tube file's simulation.nearField, else thin")
      ->check(CLI::IsMember({"thin", "finite"}));
  run->add_flag("--check-resolution", checkResolution,
                "repeat the simulation with one ring more and with two disks more and report how the results move");
  CLI11_PARSE(app, argc, argv);

  try {
    return runTube(tube, output, noSim, threads, nearField, checkResolution);
  } catch (const kly_TubeFileError& e) {
    std::cerr << e.what() << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "klystron: not enough memory for this run (lower the simulation's disks, rings or steps)\n";
  } catch (const std::exception& e) {
    std::cerr << "klystron: " << tube << ": " << e.what() << '\n';
  }
  return 1;
}
