#include "tools/kly_ProgressLine.h"

#include <string>

#include <fmt/format.h>
#include <unistd.h>

kly_ProgressLine::kly_ProgressLine(std::ostream& out, bool inPlace, int maxIterations)
    : out_(out), inPlace_(inPlace), maxIterations_(maxIterations) {}

kly_ProgressLine::~kly_ProgressLine() { finish(); }

void kly_ProgressLine::update(const kly_PassReport& report) {
  const std::string line = fmt::format("simulation pass {}/{}: convergence {:.3e}, output voltage {:.4g} kV",
                                       report.pass + 1, maxIterations_, report.convergence, report.outputVoltage / 1e3);
  if (inPlace_) {
    // Pad with blanks so that a shorter line hides the end of the longer one before.
    out_ << '\r' << line;
    if (line.size() < lastLength_) out_ << std::string(lastLength_ - line.size(), ' ');
    lastLength_ = line.size();
    open_ = true;
  } else {
    out_ << line << '\n';
  }
  out_.flush();
}

void kly_ProgressLine::finish() {
  if (open_) {
    out_ << '\n';
    out_.flush();
    open_ = false;
  }
}

bool kly_ProgressLine::stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
