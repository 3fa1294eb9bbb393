#pragma once

#include <ostream>

class kly_SweepReport;

// The readable account of a sweep: what was varied, how the points ended
// and how long they took, the figures of the sweep's kind (saturation and
// 1 dB compression of a drive sweep, the -1 dB and -3 dB bands of a frequency
// sweep, the best points of a grid), a table of the points and the reasons
// of the failed ones.
class kly_SweepSummary {
public:
  // Rows of the points' table shown at most; the rest are in sweep.csv.
  static constexpr std::size_t kMaxRows = 60;

  static void print(std::ostream& out, const kly_SweepReport& report);
};
