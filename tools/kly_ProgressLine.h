#pragma once

#include <cstddef>
#include <ostream>

#include "klystron/simulation/kly_DiskSimulation.h"

// The simulation's progress on standard error: pass, convergence measure and
// output-cavity voltage. On a terminal the line is rewritten in place (\r);
// into a pipe or a file every pass gets a line of its own.
class kly_ProgressLine {
public:
  kly_ProgressLine(std::ostream& out, bool inPlace, int maxIterations);
  ~kly_ProgressLine();
  kly_ProgressLine(const kly_ProgressLine&) = delete;
  kly_ProgressLine& operator=(const kly_ProgressLine&) = delete;

  void update(const kly_PassReport& report);
  // Ends a line rewritten in place; further calls do nothing.
  void finish();

  // Whether the standard error stream is a terminal.
  static bool stderrIsTerminal();

private:
  std::ostream& out_;
  bool inPlace_;
  int maxIterations_;
  std::size_t lastLength_ = 0;
  bool open_ = false;
};
