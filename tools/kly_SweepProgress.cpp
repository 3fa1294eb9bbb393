#include "tools/kly_SweepProgress.h"

#include <chrono>

#include <fmt/format.h>

#include "tools/kly_Text.h"

namespace {

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

kly_SweepProgress::kly_SweepProgress(std::ostream& out, bool inPlace, std::size_t total, std::size_t done,
                                     std::size_t failed, std::function<double()> clock)
    : out_(out),
      inPlace_(inPlace),
      total_(total),
      done_(done),
      failed_(failed),
      clock_(clock ? std::move(clock) : steadySeconds),
      start_(clock_()) {
  if (inPlace_) show();
}

kly_SweepProgress::~kly_SweepProgress() { finish(); }

std::string kly_SweepProgress::line(std::size_t done, std::size_t total, std::size_t failed, double seconds,
                                    std::size_t doneHere) {
  std::string text = fmt::format("sweep: {}/{} points", done, total);
  if (failed > 0) text += fmt::format(", {} failed", failed);
  text += fmt::format(", {}", kly_text::duration(seconds));
  if (doneHere > 0 && done < total)
    text += fmt::format(", about {} left", kly_text::duration(seconds / static_cast<double>(doneHere) *
                                                              static_cast<double>(total - done)));
  return text;
}

void kly_SweepProgress::pointDone(bool failed) {
  if (finished_) return;
  ++done_;
  ++doneHere_;
  if (failed) ++failed_;
  const double now = clock_();
  if (now - lastShown_ >= (inPlace_ ? kTerminalSeconds : kLogSeconds)) show();
}

void kly_SweepProgress::show() {
  const double now = clock_();
  lastShown_ = now;
  const std::string text = line(done_, total_, failed_, now - start_, doneHere_);
  if (inPlace_) {
    out_ << '\r' << text;
    if (text.size() < lastLength_) out_ << std::string(lastLength_ - text.size(), ' ');
    lastLength_ = text.size();
  } else {
    out_ << text << '\n';
  }
  out_.flush();
}

void kly_SweepProgress::finish() {
  if (finished_) return;
  show();
  if (inPlace_) out_ << '\n';
  out_.flush();
  finished_ = true;
}
