#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include "tools/kly_TubeFile.h"

// Counts of a disk simulation run.
struct kly_BenchCounts {
  int disks = 0;
  int rings = 0;
  int steps = 0;
  int maxIterations = 0;
  std::string label() const;  // "64x10x60"
};

// An example tube of examples/ as the benchmarks run it, at its own counts or
// at others: field files are tabulated for the run's rings, and a run with
// more disks than the imported beam file has rows gets a beam file with as
// many rows, interpolated along the bunch of the example's (written to a
// temporary folder that the object removes).
class kly_BenchTube {
public:
  explicit kly_BenchTube(const std::string& name);
  ~kly_BenchTube();
  kly_BenchTube(const kly_BenchTube&) = delete;
  kly_BenchTube& operator=(const kly_BenchTube&) = delete;

  const std::string& name() const { return name_; }
  kly_BenchCounts exampleCounts() const;

  // The tube's description for a run with `rings` rings.
  kly_TubeDescription description(int rings) const;
  // Builds the tube for the counts and runs it: a whole simulation, from the
  // build to the results.
  void simulate(kly_DiskSimulation& simulation, const kly_BenchCounts& counts,
                const kly_SimulationOptions& options) const;

private:
  std::string beamFileFor(int disks) const;

  std::string name_;
  kly_TubeDescription tube_;
  mutable std::filesystem::path scratch_;  // folder of written beam files, empty if none
};

// The example tubes by name.
const std::vector<std::string>& kly_benchTubeNames();
