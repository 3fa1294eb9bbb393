#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "klystron/model/kly_TubeDescription.h"

// An upper estimate of what a disk simulation costs, from its counts, before
// anything runs: the memory of its tables and of the files written from them,
// and its time from the space-charge lookups its passes make (nearly all of
// a run's time) at a rate measured on the development machine and rounded
// up. The figures are bounds rather than forecasts: a run that converges
// early, or whose disks lie beyond each other's range, takes less. The rates
// and how they were measured are in the README (Performance).
class kly_RunEstimate {
public:
  // Time of one space-charge lookup on one thread [s]: measured up to 1.2 ns
  // with every source in range, on AVX2.
  static constexpr double kSecondsPerLookup = 1.5e-9;
  // Gap fields and push of one disk ring in one time step [s], per cavity and once.
  static constexpr double kSecondsPerGapField = 30e-9;
  static constexpr double kSecondsPerPush = 30e-9;
  // Exchange of one time step's data between the threads [s].
  static constexpr double kSecondsPerStep = 5e-6;
  // One term of the space-charge table's series [s].
  static constexpr double kSecondsPerTableTerm = 2e-9;
  // The program, the analytic model and the fixed tables [bytes].
  static constexpr double kBaseBytes = 16.0 * 1024 * 1024;

  // What a run may take before it is refused.
  struct Limits {
    double seconds = 3600;  // an hour
    double bytes = 0;       // the machine's physical memory (0: no limit)
    static Limits ofThisMachine();
  };

  // The estimate for the simulation section of `tube` (which must have one)
  // on `threads` threads (0: one per hardware thread), with the two repeats
  // of the resolution check (one ring more, two disks more) when
  // `resolutionCheck`. Reads the field files, whose extents fix the length
  // of a pass.
  static kly_RunEstimate of(const kly_TubeDescription& tube, int threads, bool resolutionCheck = false);

  int disks() const { return disks_; }
  int rings() const { return rings_; }
  int steps() const { return steps_; }
  int passes() const { return passes_; }          // the pass limit
  int threads() const { return threads_; }        // threads the run will use
  double timeStepsPerPass() const;                // of every pass
  double lookups() const;                         // space-charge lookups of all passes, at most
  double seconds() const;                         // wall time, at most [s]
  double bytes() const;                           // peak memory, at most [bytes]

  // "at most 3 s and 21 MiB (50 passes of 840 time steps, 1.3e9 space-charge lookups, 2 threads)".
  std::string describe() const;

  // Empty when the run fits the limits; otherwise why not, and the counts
  // that, each lowered alone, would make it fit (with their key paths).
  std::optional<std::string> refusal(const Limits& limits) const;

private:
  kly_RunEstimate() = default;
  kly_RunEstimate withCount(int which, int value) const;
  bool fits(const Limits& limits) const;
  // Of this run alone, and of its repeats with the given counts.
  double runSeconds(int disks, int rings) const;
  double runBytes(int disks, int rings) const;
  std::vector<std::pair<int, int>> repeats() const;  // (disks, rings) of each

  double periods_ = 0;  // RF periods of one pass
  int cavities_ = 0;
  bool sheet_ = false;
  int disks_ = 0, rings_ = 0, steps_ = 0, passes_ = 0;
  int threads_ = 1;
  bool resolutionCheck_ = false;
};
