#include "tools/kly_TubePlots.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"
#include "tools/kly_TubeRun.h"

namespace {

using kly::kProfilePoints;

const kly_DiskSimulation& simulation(const kly_TubeRun& run) {
  if (!run.simulation()) throw kly_StateError("the simulation did not run");
  return *run.simulation();
}

}  // namespace

kly_SvgPlot kly_TubePlots::bunching(const kly_TubeRun& run) {
  kly_SvgPlot plot("Bunching along the tube", "z [m] (dashed lines: cavity gap centres)", "I/I0");
  plot.setSubtitle(run.tube().name);
  std::vector<double> z, v;
  for (int i = 0; i < kProfilePoints; ++i) {
    z.push_back(run.analytic().getI1I0Z(i));
    v.push_back(run.analytic().getI1I0Sample(i));
  }
  plot.addSeries("analytic I1/I0", z, v);
  if (const kly_DiskSimulation* s = run.simulation()) {
    std::vector<double> zs, i1, i2;
    for (int i = 0; i < kProfilePoints; ++i) {
      zs.push_back(s->getBunchingGridZ(i));
      i1.push_back(s->getSimulatedI1I0Sample(i));
      i2.push_back(s->getSimulatedI2I0Sample(i));
    }
    plot.addSeries("simulated I1/I0", zs, i1);
    plot.addSeries("simulated I2/I0", zs, i2, {kly_SvgPlot::Style::Dashed, true, -1});
  }
  for (int i = 0; i < run.cavityCount(); ++i) plot.addMarker(run.cavity(i).z, fmt::format("{}", i));
  return plot;
}

kly_SvgPlot kly_TubePlots::cavityVoltages(const kly_TubeRun& run) {
  const kly_DiskSimulation* s = run.simulation();
  kly_SvgPlot plot("Cavity gap voltages", "cavity (harmonic, gap centre)", "gap voltage [kV]");
  plot.setSubtitle(run.tube().name);
  std::vector<double> xa, va, xs, vs;
  std::vector<kly_SvgPlot::Tick> ticks;
  const double width = s ? 0.38 : 0.6;
  for (int i = 0; i < run.cavityCount(); ++i) {
    xa.push_back(s ? i - 0.2 : i);
    va.push_back(run.analytic().getCavityVoltage(i) / 1e3);
    if (s) {
      xs.push_back(i + 0.2);
      vs.push_back(s->getSimulatedCavityVoltage(i) / 1e3);
    }
    ticks.push_back(
        {static_cast<double>(i), fmt::format("{} (h{}, {:.3g} m)", i, run.cavity(i).harmonic, run.cavity(i).z)});
  }
  plot.addBars("analytic", xa, va, width);
  if (s) plot.addBars("simulated", xs, vs, width);
  plot.setXTicks(std::move(ticks));
  return plot;
}

kly_SvgPlot kly_TubePlots::applegate(const kly_TubeRun& run) {
  const kly_DiskSimulation& s = simulation(run);
  kly_SvgPlot plot("Applegate diagram: ring 0 of every disk over the last pass", "time [RF periods]", "z [m]");
  plot.setSubtitle(run.tube().name);
  plot.setYRange(s.getZStart(), s.getZEnd());
  const int steps = s.getSimulatedMaxTimeStep();
  const int stride = std::max(1, (steps + kMaxTrajectoryPoints - 1) / kMaxTrajectoryPoints);
  for (int d = 0; d < s.getDisks(); ++d) {
    std::vector<double> t, z;
    // Up to the first point past the end of the simulated region, where the disks only drift.
    int last = steps - 1;
    for (int i = 0; i < steps; ++i) {
      if (s.getSimulatedDiskPosition(d, 0, i) > s.getZEnd()) {
        last = i;
        break;
      }
    }
    for (int i = 0; i <= last; i += stride) {
      t.push_back(static_cast<double>(i) / s.getSteps());
      z.push_back(s.getSimulatedDiskPosition(d, 0, i));
    }
    if (last % stride != 0) {
      t.push_back(static_cast<double>(last) / s.getSteps());
      z.push_back(s.getSimulatedDiskPosition(d, 0, last));
    }
    plot.addSeries(fmt::format("disk {}", d), std::move(t), std::move(z), {kly_SvgPlot::Style::Line, false, 0});
  }
  for (int i = 0; i < run.cavityCount(); ++i) {
    const double half = run.cavity(i).gapWidth / 2;
    plot.addBand(kly_SvgPlot::Axis::Y, run.cavity(i).z - half, run.cavity(i).z + half, fmt::format("cavity {}", i));
  }
  return plot;
}

kly_SvgPlot kly_TubePlots::exitVelocities(const kly_TubeRun& run) {
  const kly_DiskSimulation& s = simulation(run);
  const double u0 = run.built().beam().getBeamVelocity();
  std::vector<double> v;
  for (int d = 0; d < s.getDisks(); ++d) {
    for (int r = 0; r < s.getRings(); ++r) {
      // A disk ring that never left the output gap has no exit velocity (0).
      const double e = s.getSimulatedExitVelocity(d, r);
      if (e != 0 && std::isfinite(e)) v.push_back(e / u0);
    }
  }
  const int missing = s.getDisks() * s.getRings() - static_cast<int>(v.size());
  kly_SvgPlot plot("Velocities leaving the output cavity", "exit velocity / beam velocity u0", "disk rings");
  plot.setSubtitle(missing > 0
                       ? fmt::format("{} ({} disk rings did not leave the output gap)", run.tube().name, missing)
                       : run.tube().name);
  std::vector<double> centres, counts;
  double width = 0.01;
  if (!v.empty()) {
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    // All velocities alike: one bar centred on them.
    const int bins = *hi > *lo ? std::clamp(static_cast<int>(std::sqrt(static_cast<double>(v.size()))) + 1, 5, 40) : 1;
    if (*hi > *lo) width = (*hi - *lo) / bins;
    const double start = *hi > *lo ? *lo : *lo - width / 2;
    centres.resize(bins);
    counts.assign(bins, 0);
    for (int b = 0; b < bins; ++b) centres[b] = start + (b + 0.5) * width;
    for (double x : v) counts[std::min(bins - 1, static_cast<int>((x - start) / width))] += 1;
  }
  plot.addBars("disk rings per bin", centres, counts, width);
  plot.addMarker(1.0, "u0");
  return plot;
}
