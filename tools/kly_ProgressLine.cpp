#include "tools/kly_ProgressLine.h"

#include <chrono>
#include <string>

#include <fmt/format.h>
#include <unistd.h>

#include "tools/kly_Text.h"

namespace {

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

kly_ProgressLine::kly_ProgressLine(std::ostream& out, bool inPlace, int maxIterations, std::function<double()> clock)
    : out_(out),
      inPlace_(inPlace),
      maxIterations_(maxIterations),
      clock_(clock ? std::move(clock) : steadySeconds),
      passStart_(clock_()) {}

kly_ProgressLine::~kly_ProgressLine() { finish(); }

void kly_ProgressLine::show(const std::string& line) {
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

void kly_ProgressLine::update(const kly_PassReport& report) {
  show(fmt::format("simulation pass {}/{}: convergence {:.3e}, output voltage {} kV", report.pass + 1, maxIterations_,
                   report.convergence, kly_text::general(report.outputVoltage / 1e3, 4)));
  passStart_ = clock_();
  lastShown_ = -1e300;
}

void kly_ProgressLine::step(const kly_StepReport& report) {
  const double now = clock_();
  const double into = now - passStart_;
  if (into < kQuietSeconds || now - lastShown_ < (inPlace_ ? 0.5 : 30)) return;
  lastShown_ = now;
  const double done = static_cast<double>(report.step) / report.steps;
  // The rest of the pass at the pace so far.
  show(fmt::format("simulation pass {}/{}: time step {} of {} ({} %), {} into the pass, about {} to go",
                   report.pass + 1, maxIterations_, report.step, report.steps, kly_text::fixed(100 * done, 0),
                   kly_text::duration(into), kly_text::duration(into / done - into)));
}

void kly_ProgressLine::finish() {
  if (open_) {
    out_ << '\n';
    out_.flush();
    open_ = false;
  }
}

bool kly_ProgressLine::stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
