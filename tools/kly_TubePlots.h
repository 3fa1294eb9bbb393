#pragma once

#include "tools/kly_SvgPlot.h"

class kly_TubeRun;

// The plots of a run.
class kly_TubePlots {
public:
  // I1/I0 along the tube: the analytic sweep and, when the simulation ran,
  // the simulated I1/I0 and I2/I0; the cavity positions marked. The plot
  // ends where the last cavity's field ends: beyond it the simulated beam
  // only drifts out of the simulated region.
  static kly_SvgPlot bunching(const kly_TubeRun& run);
  // Gap voltage magnitude of every cavity, analytic and simulated side by side.
  static kly_SvgPlot cavityVoltages(const kly_TubeRun& run);
  // The simulation's plots; call only when it ran.
  // Applegate diagram: the arrival phase of every disk's ring 0 (the
  // innermost ring; the strip at the mid-plane of a sheet beam) against z
  // over the last pass (kly_BeamPhases), from where the last disk starts to
  // where the fields end, 0 at the bunch centre in the output gap, each line
  // drawn on the circle of phase (as it leaves one edge it enters at the
  // other); the gaps shaded and their centres marked.
  static kly_SvgPlot applegate(const kly_TubeRun& run);
  // Phase space at the output gap's centre: the velocity of every disk ring
  // as it crosses it, over u0, against its arrival phase (as in applegate),
  // one series per ring.
  static kly_SvgPlot phaseSpace(const kly_TubeRun& run);
  // The power balance of the run (kly_PowerBalance) as one bar of the
  // launched beam's power, cut into the output power, the output cavity's
  // wall loss, the other cavities and the spent beam; under it, the spent
  // beam measured from the exit velocities, against the same end.
  static kly_SvgPlot powerBalance(const kly_TubeRun& run);
  // Histogram of the velocity with which the disk rings leave the output
  // cavity's field, relative to the beam velocity.
  static kly_SvgPlot exitVelocities(const kly_TubeRun& run);

  // Most points drawn of one disk's trajectory; longer ones are thinned out
  // evenly (the last point is always kept).
  static constexpr int kMaxTrajectoryPoints = 600;
};
