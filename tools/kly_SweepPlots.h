#pragma once

#include <string>
#include <utility>
#include <vector>

class kly_SweepReport;

// The plots of a sweep, by its kind:
// - a drive sweep: the transfer curve (output power against drive, both on
//   log axes, the saturation and 1 dB compression points marked), and gain
//   and electronic efficiency against drive;
// - a frequency sweep: gain and output power against frequency, the analytic
//   small-signal response with the simulated one, the -1 dB and -3 dB bands
//   marked;
// - any other single parameter: each scalar result that varies, one plot per
//   family (gains, powers, efficiencies, bunching);
// - two parameters: heat maps of the electronic efficiency and of the gain
//   over the grid, the best point marked.
class kly_SweepPlots {
public:
  // (file name, SVG document) of every plot of the report's kind.
  static std::vector<std::pair<std::string, std::string>> all(const kly_SweepReport& report);
  // Every file name a sweep's plots may have.
  static const std::vector<std::string>& allNames();
};
