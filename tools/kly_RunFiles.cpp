#include "tools/kly_RunFiles.h"

#include "tools/kly_CsvWriter.h"
#include "tools/kly_ResultsWriter.h"
#include "tools/kly_TubePlots.h"
#include "tools/kly_TubeRun.h"

kly_OutputFolder kly_RunFiles::collect(const kly_TubeRun& run, const std::filesystem::path& folder,
                                       const std::string& summary) {
  kly_OutputFolder out(folder);
  out.add("results.json", kly_ResultsWriter::render(run));
  out.add("summary.txt", summary);
  out.add("analytic-i1i0.csv", kly_CsvWriter::analyticI1I0(run));
  out.add("cavities.csv", kly_CsvWriter::cavities(run));
  out.add("bunching.svg", kly_TubePlots::bunching(run).render());
  out.add("cavity-voltages.svg", kly_TubePlots::cavityVoltages(run).render());
  if (run.simulation()) {
    out.add("simulated-bunching.csv", kly_CsvWriter::simulatedBunching(run));
    out.add("simulated-currents.csv", kly_CsvWriter::simulatedCurrents(run));
    out.add("disk-velocities.csv", kly_CsvWriter::diskVelocities(run));
    out.add("trajectories.csv", kly_CsvWriter::trajectories(run));
    out.add("passes.csv", kly_CsvWriter::passes(run));
    out.add("applegate.svg", kly_TubePlots::applegate(run).render());
    out.add("phase-space.svg", kly_TubePlots::phaseSpace(run).render());
    out.add("power-balance.svg", kly_TubePlots::powerBalance(run).render());
    out.add("exit-velocities.svg", kly_TubePlots::exitVelocities(run).render());
  }
  return out;
}

const std::vector<std::string>& kly_RunFiles::allNames() {
  static const std::vector<std::string> names = {"results.json",
                                                 "summary.txt",
                                                 "analytic-i1i0.csv",
                                                 "cavities.csv",
                                                 "bunching.svg",
                                                 "cavity-voltages.svg",
                                                 "simulated-bunching.csv",
                                                 "simulated-currents.csv",
                                                 "disk-velocities.csv",
                                                 "trajectories.csv",
                                                 "passes.csv",
                                                 "applegate.svg",
                                                 "phase-space.svg",
                                                 "power-balance.svg",
                                                 "exit-velocities.svg"};
  return names;
}
