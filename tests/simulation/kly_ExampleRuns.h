#pragma once

// Runs of the example tubes for the tests that compare the fast and the
// plain pass and thread counts.

#include <string>
#include <vector>

#include "kly_Bits.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include "tools/kly_TubeFile.h"

namespace kly_test {

// An example tube file (examples/NAME.json) with the counts of its simulation
// section; `rings` above the file's also asks its field files for that many.
struct ExampleTube {
  kly_TubeDescription tube;
  kly_SimulationSettings counts;

  explicit ExampleTube(const std::string& name)
      : tube(kly_TubeFile::read(std::string(KLY_EXAMPLES_DIR) + "/" + name + ".json").description),
        counts(*tube.simulation) {}

  // Runs the tube with counts `c` and options `o` on `s`.
  void run(kly_DiskSimulation& s, const kly_SimulationSettings& c, const kly_SimulationOptions& o) const {
    kly_TubeDescription t = tube;
    for (kly_CavityDescription& cavity : t.cavities)
      if (cavity.fieldRings < c.rings) cavity.fieldRings = c.rings;
    s.simulate(*kly_BuiltTube::build(t), c, o);
  }

  Fingerprint fingerprint(const kly_SimulationSettings& c, const kly_SimulationOptions& o) const {
    kly_DiskSimulation s;
    run(s, c, o);
    return kly_test::fingerprint(s);
  }
};

inline const std::vector<std::string> kExampleTubes = {"sband-round", "xband-sheet", "sband-prebunched"};

}  // namespace kly_test
