#include "tools/kly_TubePlots.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <fmt/format.h>

#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"
#include "tools/kly_BeamPhases.h"
#include "tools/kly_PowerBalance.h"
#include "tools/kly_TubeRun.h"

namespace {

using kly::kProfilePoints;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const kly_DiskSimulation& simulation(const kly_TubeRun& run) {
  if (!run.simulation()) throw kly_StateError("the simulation did not run");
  return *run.simulation();
}

// A power in W, kW or MW, four significant digits.
std::string power(double watts) {
  const double a = std::abs(watts);
  if (a >= 1e6) return fmt::format("{:.4g} MW", watts / 1e6);
  if (a >= 1e3) return fmt::format("{:.4g} kW", watts / 1e3);
  return fmt::format("{:.4g} W", watts);
}

// The first plane between zFrom and zTo (on a grid of 400) at which a disk's
// ring 0 arrives no earlier than the disk launched behind it: where disks
// begin to overtake. Before the first overtaking the disks keep their order,
// so the first pair to meet are neighbours (disk 0 and the last disk of the
// period before count as neighbours too).
std::optional<double> firstOvertaking(const kly_DiskSimulation& s, const kly_BeamPhases& phases, double zFrom,
                                      double zTo) {
  constexpr int kPlanes = 400;
  const int disks = s.getDisks();
  if (disks < 2) return std::nullopt;
  std::vector<double> planes;
  for (int j = 1; j <= kPlanes; ++j) planes.push_back(zFrom + (zTo - zFrom) * j / kPlanes);
  std::vector<std::vector<double>> psi;  // [disk][plane]
  for (int d = 0; d < disks; ++d) psi.push_back(phases.atPlanes(d, 0, planes));
  for (std::size_t j = 0; j < planes.size(); ++j) {
    // Disk d + 1 starts ahead of disk d and arrives earlier; disk 0 of the
    // next period arrives one turn later than disk 0. (A comparison with a
    // disk that never reached the plane, NaN, is false.)
    for (std::size_t d = 0; d < psi.size(); ++d) {
      const double ahead = d + 1 < psi.size() ? psi[d + 1][j] : psi[0][j] - kly::kTwoPi;
      if (ahead >= psi[d][j]) return planes[j];
    }
  }
  return std::nullopt;
}

}  // namespace

kly_SvgPlot kly_TubePlots::bunching(const kly_TubeRun& run) {
  kly_SvgPlot plot("Bunching along the tube",
                   "z [m] (dashed lines: cavity gap centres; the plot ends where the last cavity's field ends)",
                   "I/I0");
  plot.setSubtitle(run.tube().name);
  const int last = run.cavityCount() - 1;
  const double zEnd = run.built().cavity(last).getFieldZMax();
  double zStart = run.analytic().getI1I0Z(0);
  std::vector<double> z, v;
  for (int i = 0; i < kProfilePoints; ++i) {
    z.push_back(run.analytic().getI1I0Z(i));
    v.push_back(run.analytic().getI1I0Sample(i));
  }
  plot.addSeries("analytic I1/I0", z, v);
  if (const kly_DiskSimulation* s = run.simulation()) {
    // Up to the end of the last cavity's field, the last point interpolated there.
    std::vector<double> zs, i1, i2;
    for (int i = 0; i < kProfilePoints && s->getBunchingGridZ(i) < zEnd; ++i) {
      zs.push_back(s->getBunchingGridZ(i));
      i1.push_back(s->getSimulatedI1I0Sample(i));
      i2.push_back(s->getSimulatedI2I0Sample(i));
    }
    if (s->getBunchingGridEnd() >= zEnd) {
      zs.push_back(zEnd);
      i1.push_back(s->getSimulatedI1I0(zEnd));
      i2.push_back(s->getSimulatedI2I0(zEnd));
    }
    zStart = std::min(zStart, s->getBunchingGridStart());
    plot.addSeries("simulated I1/I0", zs, i1);
    plot.addSeries("simulated I2/I0", zs, i2, {kly_SvgPlot::Style::Dashed, true, -1});
  }
  plot.setXRange(zStart, zEnd);
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
  const double lambda = run.built().beam().getRfWavelength();
  const kly_BeamPhases phases(s, lambda);
  const int out = run.cavityCount() - 1;
  const double centre = phases.bunchCentre(run.cavity(out).z);
  // From where the last disk starts (every disk passes every plane beyond
  // it) to where the fields end.
  double zFrom = s.getSimulatedDiskPosition(0, 0, 0);
  for (int d = 1; d < s.getDisks(); ++d) zFrom = std::max(zFrom, s.getSimulatedDiskPosition(d, 0, 0));
  const double zTo = s.getZEnd() - 2 * lambda;

  kly_SvgPlot plot("Applegate diagram: arrival phase of every disk along the tube",
                   "z [m] (shaded: cavity gaps, dashed: their centres); phase 0: the bunch centre at the output gap",
                   "arrival phase [deg] (later: up)");
  const std::optional<double> overtaking = firstOvertaking(s, phases, zFrom, zTo);
  int turnedBack = 0;
  for (int d = 0; d < s.getDisks(); ++d)
    turnedBack += s.getSimulatedDiskPosition(d, 0, phases.lastStep(d, 0, zTo)) <= zTo;
  plot.setSubtitle(fmt::format("{}: ring 0 of {} disks; {}{}", run.tube().name, s.getDisks(),
                               overtaking ? fmt::format("disks overtake from z = {:.3f} m", *overtaking)
                                          : std::string("no disk overtakes another"),
                               turnedBack > 0 ? fmt::format("; {} turned back (its line ends)", turnedBack) : ""));
  plot.setXRange(zFrom, zTo);
  plot.setYRange(-180, 180);
  plot.setYTicks({{-180, "-180"}, {-90, "-90"}, {0, "0"}, {90, "90"}, {180, "180"}});
  for (int i = 0; i <= out; ++i) {
    if (run.cavity(i).z < zFrom || run.cavity(i).z > zTo) continue;  // upstream of an imported beam
    const double half = run.cavity(i).gapWidth / 2;
    plot.addBand(kly_SvgPlot::Axis::X, run.cavity(i).z - half, run.cavity(i).z + half, "");
    plot.addMarker(run.cavity(i).z, fmt::format("{}", i));
  }
  const int steps = s.getSimulatedMaxTimeStep();
  const int stride = std::max(1, (steps + kMaxTrajectoryPoints - 1) / kMaxTrajectoryPoints);
  constexpr double kDegrees = 180 / kly::kPi;
  for (int d = 0; d < s.getDisks(); ++d) {
    const int last = phases.lastStep(d, 0, zTo);
    std::vector<double> z, phase;
    for (int i = 0;; i = std::min(i + stride, last)) {
      z.push_back(s.getSimulatedDiskPosition(d, 0, i));
      phase.push_back((phases.atStep(d, 0, i) - centre) * kDegrees);
      if (i == last) break;
    }
    // On the circle of phase: the line once more for every turn it reaches
    // into the window, each copy cut to the window (with the points next to
    // it, so that it reaches the edges) and set apart from the next by a gap.
    const auto [lo, hi] = std::minmax_element(phase.begin(), phase.end());
    std::vector<double> x, y;
    for (int k = static_cast<int>(std::floor((-180 - *hi) / 360)); k <= static_cast<int>(std::ceil((180 - *lo) / 360));
         ++k) {
      const auto inside = [&](std::size_t i) { return std::abs(phase[i] + 360.0 * k) <= 180; };
      for (std::size_t i = 0; i < phase.size(); ++i) {
        const bool near = inside(i) || (i > 0 && inside(i - 1)) || (i + 1 < phase.size() && inside(i + 1));
        x.push_back(z[i]);
        y.push_back(near ? phase[i] + 360.0 * k : kNaN);
      }
      x.push_back(kNaN);
      y.push_back(kNaN);
    }
    plot.addSeries(fmt::format("disk {}", d), std::move(x), std::move(y),
                   {kly_SvgPlot::Style::Line, false, 0, false, 1.0});
  }
  return plot;
}

kly_SvgPlot kly_TubePlots::phaseSpace(const kly_TubeRun& run) {
  const kly_DiskSimulation& s = simulation(run);
  const kly_BeamPhases phases(s, run.built().beam().getRfWavelength());
  const int out = run.cavityCount() - 1;
  const double zOut = run.cavity(out).z;
  const double centre = phases.bunchCentre(zOut);
  const double u0 = run.built().beam().getBeamVelocity();
  constexpr double kDegrees = 180 / kly::kPi;
  kly_SvgPlot plot(fmt::format("Phase space at the output gap (cavity {}, z = {:.4g} m)", out, zOut),
                   "arrival phase [deg], later to the right; 0: bunch centre", "velocity / beam velocity u0");
  int missing = 0;
  for (int r = 0; r < s.getRings(); ++r) {
    std::vector<double> x, y;
    for (int d = 0; d < s.getDisks(); ++d) {
      if (const auto c = phases.crossing(d, r, zOut)) {
        x.push_back(kly_wrapPhase(c->phase - centre, 0) * kDegrees);
        y.push_back(c->velocity / u0);
      } else {
        ++missing;
      }
    }
    plot.addSeries(fmt::format("ring {}", r), std::move(x), std::move(y), {kly_SvgPlot::Style::Markers, true, -1});
  }
  plot.addSeries("u0", {-180, 180}, {1, 1}, {kly_SvgPlot::Style::Dashed, false, 5, false, 1.0});
  plot.setSubtitle(missing > 0 ? fmt::format("{} ({} disk rings did not reach the gap)", run.tube().name, missing)
                               : fmt::format("{}: one point per disk ring, {} disks x {} rings", run.tube().name,
                                             s.getDisks(), s.getRings()));
  plot.setXRange(-180, 180);
  plot.setXTicks({{-180, "-180"},
                  {-135, "-135"},
                  {-90, "-90"},
                  {-45, "-45"},
                  {0, "0"},
                  {45, "45"},
                  {90, "90"},
                  {135, "135"},
                  {180, "180"}});
  return plot;
}

kly_SvgPlot kly_TubePlots::powerBalance(const kly_TubeRun& run) {
  const kly_PowerBalance p = kly_PowerBalance::of(run);
  const double percent = 100 / p.launched;
  // An imported beam carries a power of its own; the efficiencies are still of I0 Vd.
  const double i0vd = run.description().beam.current * run.built().beam().getDepressedBeamVoltage();
  std::string title = fmt::format("Power balance: {} of beam power", power(p.launched));
  if (std::abs(p.launched - i0vd) > 1e-3 * i0vd) title += fmt::format(" (I0 Vd: {})", power(i0vd));
  kly_SvgPlot plot(title, "share of the launched beam's kinetic power [%]", "");
  plot.setSubtitle(run.tube().name);
  double at = 0;
  // Each part keeps its colour whichever others are drawn.
  const auto segment = [&](const std::string& name, double watts, int color) {
    if (!(watts > 0)) return;
    const double w = watts * percent;
    plot.addHorizontalBar(fmt::format("{} {} ({:.3g} %)", name, power(watts), w), 1, at, at + w, 0.6, color);
    at += w;
  };
  segment("output", p.output, 0);
  segment("output cavity walls", p.outputWalls, 1);
  segment("other cavities", p.otherCavities, 2);
  segment("spent beam", p.spent, 3);
  const double end = at;
  const double measured = p.spentMeasured * percent;
  plot.addHorizontalBar(
      fmt::format("spent beam leaving the output field {} ({:.3g} %)", power(p.spentMeasured), measured), 0,
      end - measured, end, 0.3, 4);
  plot.addNote(
      fmt::format("The balance and the spent beam measured from the exit velocities differ by {:.2g} % of "
                  "the beam power.",
                  (p.spent - p.spentMeasured) * percent));
  if (!run.converged()) {
    plot.addNote(
        "The simulation did not converge: its voltages and currents are of different passes and need not "
        "balance.");
  }
  if (p.cavity.back() < 0) plot.addNote(fmt::format("The output cavity gives the beam {}.", power(-p.cavity.back())));
  if (p.otherCavities < 0)
    plot.addNote(fmt::format("The other cavities give the beam {} net.", power(-p.otherCavities)));
  if (p.notLeft > 0)
    plot.addNote(fmt::format("{} disk rings turned back and did not leave the output field.", p.notLeft));
  plot.setXRange(0, std::max(100.0, end));
  plot.setYRange(-0.6, 1.6);
  plot.setYTicks({{1, "balance"}, {0, "measured"}});
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
