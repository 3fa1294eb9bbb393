#pragma once

#include <string>
#include <vector>

class kly_TubeRun;

// CSV tables of a run: a header line of column names, then one line per row,
// numbers in their shortest exact form (nan, inf and -inf where not finite).
class kly_CsvWriter {
public:
  // A text cell: as it is, or in double quotes (quotes doubled) where it
  // holds a comma, a quote or a line break.
  static std::string field(const std::string& text);

  static std::string table(const std::vector<std::string>& columns, const std::vector<std::vector<double>>& rows);

  // z [m], I1/I0 at the 200 positions of the analytic sweep.
  static std::string analyticI1I0(const kly_TubeRun& run);
  // Per cavity: parameters, beam loading, field extent, analytic (and
  // simulated) gap voltage and phase.
  static std::string cavities(const kly_TubeRun& run);

  // The simulation's tables; call only when it ran.
  // z [m], I1/I0, phase of I1 [rad], I2/I0 at the 200 grid positions.
  static std::string simulatedBunching(const kly_TubeRun& run);
  // Induced current of each cavity at harmonics 0 to 4: magnitude [A], phase [rad].
  static std::string simulatedCurrents(const kly_TubeRun& run);
  // Each disk ring's velocity entering and leaving the output cavity's field
  // and at the position of minimum v/c [m/s].
  static std::string diskVelocities(const kly_TubeRun& run);
  // Ring-0 position [m] of every disk at every time step [s] of the last pass.
  static std::string trajectories(const kly_TubeRun& run);
  // Convergence measure and output-cavity voltage [V] after every pass.
  static std::string passes(const kly_TubeRun& run);
};
