// A C++ program that uses the installed engine through find_package(klystron),
// as the README shows it: a tube described as a value, copied and changed,
// built and run through both models, the same tube through the setters, and
// a small sweep of the installed driver.
#include <cmath>
#include <cstdio>

#include "klystron/analytic/kly_Analytic.h"
#include "klystron/driver/kly_Sweep.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"

int main() {
  kly_TubeDescription tube;
  tube.beam = {.voltage = 110000, .current = 90, .frequency = 2.856e9, .inputPower = 60,
               .tubeRadius = 0.0095, .beamRadius = 0.0062};
  tube.cavities = {{.z = 0.00, .frequency = 2.856e9, .m = 0.82, .gapWidth = 0.010, .rq = 110, .qe = 300, .qo = 2500},
                   {.z = 0.48, .frequency = 2.856e9, .m = 0.80, .gapWidth = 0.012, .rq = 100, .qe = 25, .qo = 2500}};

  kly_TubeDescription tuned = tube;
  tuned.cavities[1].frequency = 2.860e9;

  auto built = kly_BuiltTube::build(tuned);
  kly_Analytic analytic;
  analytic.calculateAnalytics(*built);
  analytic.calculateAnalyticI1I0(*built);
  kly_DiskSimulation simulation;
  simulation.simulate(*built, {.disks = 32, .rings = 4, .steps = 40, .maxIterations = 20});
  if (!(analytic.getOutputPower() > 0 && std::isfinite(simulation.getSimulatedGain()))) {
    std::puts("no output from the models");
    return 1;
  }
  if (built->description().cavities[1].frequency != 2.860e9 || tube.cavities[1].frequency != 2.856e9) {
    std::puts("the copy is not independent");
    return 1;
  }

  kly_Klystron model;
  model.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
  model.addCavity(0.0, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  model.addCavity(0.48, 2.856e9, 0.80, 1, 0.012, 100, 2500, 25);
  if (!(model.getDescription() == tube)) {
    std::puts("the setters describe another tube");
    return 1;
  }
  analytic.calculateAnalytics(model);
  if (model.getCavityObjectCount() != 2) {
    std::puts("the model was not rebuilt");
    return 1;
  }
  // A drive sweep of the analytic model on two workers.
  const kly_SweepPlan plan = kly_Sweep::grid(
      tube, {{"beam.inputPower", {1, 10, 100}, [](kly_TubeDescription& t, double p) { t.beam.inputPower = p; }}},
      false);
  kly_ThreadExecutor workers(2);
  const auto results = kly_Sweep::run(plan, workers, {});
  for (const auto& r : results) {
    if (!r || r->status != kly_PointStatus::ok || !r->find("analyticGain")) {
      std::puts("the sweep did not run every point");
      return 1;
    }
  }
  std::puts("consumer OK");
  return 0;
}
