#pragma once

// The tube files the tests of the command's classes run, as JSON, and one way
// to run them.

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/kly_TubeFile.h"
#include "tools/kly_TubeRun.h"

namespace kly_test {

// Three cavities, the third the output; a simulation small enough for every test run.
inline nlohmann::json smallTube() {
  return nlohmann::json::parse(R"({
    "name": "small test tube",
    "beam": {"voltage": 110000, "current": 90, "frequency": 2.856e9, "inputPower": 60,
             "tubeRadius": 0.0095, "beamRadius": 0.0062},
    "cavities": [
      {"z": 0.00, "frequency": 2.856e9, "qo": 2500, "qe": 300,    "rq": 110, "m": 0.82, "gapWidth": 0.010, "harmonic": 1},
      {"z": 0.12, "frequency": 2.870e9, "qo": 2500, "qe": 100000, "rq": 110, "m": 0.82, "gapWidth": 0.010, "harmonic": 1},
      {"z": 0.30, "frequency": 2.856e9, "qo": 2500, "qe": 40,     "rq": 100, "m": 0.80, "gapWidth": 0.012, "harmonic": 1}
    ],
    "simulation": {"disks": 8, "rings": 1, "steps": 16, "maxIterations": 3, "nearField": "thin"}
  })");
}

// A tube file of examples/, as JSON (none of them names a file of its own
// folder but the imported-beam example).
inline nlohmann::json exampleTube(const std::string& name) {
  std::ifstream in(std::string(KLY_SOURCE_DIR) + "/examples/" + name + ".json");
  return nlohmann::json::parse(in);
}

// The tube file's contents, as read from a file test.json.
inline kly_TubeFileContents contentsOf(const nlohmann::json& tube) { return kly_TubeFile::parse(tube.dump(), "test.json"); }

// A run of `tube` on one thread with `options` (simulate and threads are set
// here), recording its passes into `passes` when given.
inline std::unique_ptr<kly_TubeRun> runOf(const nlohmann::json& tube, bool simulate,
                                          std::vector<kly_PassReport>* passes = nullptr,
                                          kly_TubeRunOptions options = {}) {
  auto run = std::make_unique<kly_TubeRun>(contentsOf(tube));
  options.simulate = simulate;
  options.threads = 1;
  if (passes) options.onPass = [passes](const kly_PassReport& r) { passes->push_back(r); };
  run->run(options);
  return run;
}

}  // namespace kly_test
