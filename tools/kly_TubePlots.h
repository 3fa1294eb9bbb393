#pragma once

#include "tools/kly_SvgPlot.h"

class kly_TubeRun;

// The plots of a run.
class kly_TubePlots {
public:
  // I1/I0 along the tube: the analytic sweep and, when the simulation ran,
  // the simulated I1/I0 and I2/I0; the cavity positions marked.
  static kly_SvgPlot bunching(const kly_TubeRun& run);
  // Gap voltage magnitude of every cavity, analytic and simulated side by side.
  static kly_SvgPlot cavityVoltages(const kly_TubeRun& run);
  // The simulation's plots; call only when it ran.
  // Applegate diagram: ring-0 position of every disk against time over the
  // last pass, the cavity gaps shaded.
  static kly_SvgPlot applegate(const kly_TubeRun& run);
  // Histogram of the velocity with which the disk rings leave the output
  // cavity's field, relative to the beam velocity.
  static kly_SvgPlot exitVelocities(const kly_TubeRun& run);

  // Most points drawn of one disk's trajectory; longer ones are thinned out
  // evenly (the last point is always kept).
  static constexpr int kMaxTrajectoryPoints = 600;
};
