#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

// A sweep's progress on standard error: points done of all, failures so far,
// time taken and the time left, estimated from the rate at which this run
// finishes points. On a terminal the line is rewritten in place at most
// kTerminalSeconds apart; into a pipe or a file a line is written at most
// kLogSeconds apart, and once at the end.
class kly_SweepProgress {
public:
  static constexpr double kTerminalSeconds = 0.1;
  static constexpr double kLogSeconds = 10;

  // `done` points (of `total`) are done before this run starts, `failed` of
  // them failed. `clock` gives the time in seconds (default: the steady clock).
  kly_SweepProgress(std::ostream& out, bool inPlace, std::size_t total, std::size_t done, std::size_t failed,
                    std::function<double()> clock = {});
  ~kly_SweepProgress();
  kly_SweepProgress(const kly_SweepProgress&) = delete;
  kly_SweepProgress& operator=(const kly_SweepProgress&) = delete;

  // One more point finished.
  void pointDone(bool failed);
  // Shows the line as it stands and ends it; further calls do nothing.
  void finish();

  // "sweep: 5/16 points, 1 failed, 3.2 s, about 7.5 s left"; the time left
  // is left out while nothing has finished in this run.
  static std::string line(std::size_t done, std::size_t total, std::size_t failed, double seconds,
                          std::size_t doneHere);

private:
  void show();

  std::ostream& out_;
  bool inPlace_;
  std::size_t total_, done_, failed_, doneHere_ = 0;
  std::function<double()> clock_;
  double start_;
  double lastShown_ = -1e300;
  std::size_t lastLength_ = 0;
  bool finished_ = false;
};
