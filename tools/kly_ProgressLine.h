#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "klystron/simulation/kly_DiskSimulation.h"

// The simulation's progress on standard error: pass, convergence measure and
// output-cavity voltage after each pass, and, within a pass that has run for
// more than a few seconds, the time steps done. On a terminal the line is
// rewritten in place (\r); into a pipe or a file every pass gets a line of
// its own, and a long pass a line every half minute.
class kly_ProgressLine {
public:
  // A pass is reported step by step once it has run this long [s].
  static constexpr double kQuietSeconds = 3;

  // `clock` gives the time in seconds (default: the steady clock).
  kly_ProgressLine(std::ostream& out, bool inPlace, int maxIterations, std::function<double()> clock = {});
  ~kly_ProgressLine();
  kly_ProgressLine(const kly_ProgressLine&) = delete;
  kly_ProgressLine& operator=(const kly_ProgressLine&) = delete;

  void update(const kly_PassReport& report);
  void step(const kly_StepReport& report);
  // Ends a line rewritten in place; further calls do nothing.
  void finish();

  // Whether the standard error stream is a terminal.
  static bool stderrIsTerminal();

private:
  void show(const std::string& line);

  std::ostream& out_;
  bool inPlace_;
  int maxIterations_;
  std::function<double()> clock_;
  double passStart_;
  double lastShown_ = -1e300;
  std::size_t lastLength_ = 0;
  bool open_ = false;
};
