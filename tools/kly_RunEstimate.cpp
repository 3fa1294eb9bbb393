#include "tools/kly_RunEstimate.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "klystron/core/kly_Constants.h"
#include "klystron/model/kly_BuiltTube.h"
#include "tools/kly_TubePlots.h"
#include "tools/kly_Text.h"

namespace {

constexpr int kLanes = 4;  // disks the space-charge sums take at once: the threads share groups of them

}  // namespace

kly_RunEstimate::Limits kly_RunEstimate::Limits::ofThisMachine() {
  Limits l;
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long size = ::sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && size > 0) l.bytes = static_cast<double>(pages) * static_cast<double>(size);
  return l;
}

kly_RunEstimate kly_RunEstimate::of(const kly_TubeDescription& tube, int threads, bool resolutionCheck) {
  const kly_SimulationSettings& s = tube.simulation.value();
  kly_RunEstimate e;
  e.disks_ = s.disks;
  e.rings_ = s.rings;
  e.steps_ = s.steps;
  e.passes_ = s.maxIterations;
  e.sheet_ = !tube.beam.round;
  e.resolutionCheck_ = resolutionCheck;
  e.cavities_ = static_cast<int>(tube.cavities.size());
  const int hardware = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  e.threads_ = std::min(threads > 0 ? threads : hardware, (s.disks + kLanes - 1) / kLanes);
  // A pass runs from 3 electronic wavelengths upstream of the first gap's
  // field to 3 downstream of the last one's, plus 6 periods, as the
  // simulation lays it out.
  const auto built = kly_BuiltTube::build(tube);
  const double lambda = built->beam().getRfWavelength();
  const double zStart = built->cavity(0).getFieldZMin() - 3 * lambda;
  const double zEnd = built->cavity(built->cavityCount() - 1).getFieldZMax() + 3 * lambda;
  e.periods_ = std::trunc((zEnd - zStart) / lambda) + 6;
  return e;
}

double kly_RunEstimate::timeStepsPerPass() const { return periods_ * steps_; }

double kly_RunEstimate::lookups() const {
  // Each disk ring sums the rings of the disks one period behind it, of its
  // own period but itself, and one period ahead; the first pass has no space
  // charge, and no pass in its last period.
  const double nd = disks_, nr = rings_, diskRings = nd * nr;
  const double perStep = nr * nr * nd * (nd + 1) + diskRings * (diskRings - 1);
  return std::max(0.0, passes_ - 1.0) * (timeStepsPerPass() - steps_) * perStep;
}

double kly_RunEstimate::runSeconds(int disks, int rings) const {
  const double diskRings = static_cast<double>(disks) * rings;
  const double stepsOfRun = static_cast<double>(passes_) * timeStepsPerPass();
  const double oneThread =
      withCount(0, disks).withCount(1, rings).lookups() * kSecondsPerLookup +
      stepsOfRun * (diskRings * (cavities_ * kSecondsPerGapField + kSecondsPerPush) + kSecondsPerStep) +
      static_cast<double>(rings) * rings * 1000 * (sheet_ ? 39 * 39 : 70) * kSecondsPerTableTerm;
  // Threads measured 1.7 to 1.8 times as fast as one on two idle cores, and no
  // faster on cores shared with other work: count half of them.
  const int threads = std::min(threads_, (disks + kLanes - 1) / kLanes);
  return oneThread / std::max(1.0, threads / 2.0);
}

std::vector<std::pair<int, int>> kly_RunEstimate::repeats() const {
  std::vector<std::pair<int, int>> r;
  if (!resolutionCheck_) return r;
  if (rings_ < kly::kMaxRings) r.emplace_back(disks_, rings_ + 1);
  r.emplace_back(disks_ + 2, rings_);
  return r;
}

double kly_RunEstimate::seconds() const {
  double s = runSeconds(disks_, rings_);
  for (const auto& [d, r] : repeats()) s += runSeconds(d, r);
  return s;
}

double kly_RunEstimate::bytes() const {
  // A repeat runs while the run's own results are kept.
  double repeat = 0;
  for (const auto& [d, r] : repeats()) repeat = std::max(repeat, runBytes(d, r) - kBaseBytes);
  return runBytes(disks_, rings_) + repeat;
}

double kly_RunEstimate::runBytes(int disks, int rings) const {
  const double nd = disks, nr = rings, diskRings = nd * nr, nt = timeStepsPerPass();
  constexpr double d = sizeof(double), p = sizeof(void*);
  // Kept by the simulation: trajectories [disk][ring][step], crossing
  // velocities, and their row pointers.
  const double results = 2 * d * diskRings * nt + 3 * d * diskRings + p * (5 * nd + 2 * diskRings);
  // The run's own: six arrays per disk ring, the induced currents, the
  // space-charge table and its pair tables and sources.
  const double run = 6 * d * diskRings + d * kly::kMaxCavities * steps_ + d * cavities_ * diskRings +
                     4 * d * kly::kSpaceChargeTablePoints * nr * nr + d * (nr + 2) * (3 * nd + 3) + p * 6 * nd;
  // The files, formed in memory: ring-0 trajectories as numbers and text
  // (which may briefly take twice its length as it grows), the crossing
  // velocities, the Applegate diagram's points.
  const double files = nt * (nd + 2) * (d + 2 * 22) + diskRings * 5 * (d + 2 * 22) +
                       nd * kly_TubePlots::kMaxTrajectoryPoints * 2 * (d + 2 * 12);
  return kBaseBytes + results + std::max(run, files);
}

std::string kly_RunEstimate::describe() const {
  return fmt::format("at most {} and {} ({} passes of {} time steps, {} space-charge lookups, {} thread{}{})",
                     kly_text::duration(seconds()), kly_text::bytes(bytes()), passes_,
                     kly_text::fixed(timeStepsPerPass(), 0), kly_text::general(lookups(), 2), threads_,
                     threads_ == 1 ? "" : "s",
                     resolutionCheck_ ? fmt::format("; with the {} repeats of the resolution check", repeats().size())
                                      : "");
}

kly_RunEstimate kly_RunEstimate::withCount(int which, int value) const {
  kly_RunEstimate e = *this;
  int* counts[] = {&e.disks_, &e.rings_, &e.steps_, &e.passes_};
  *counts[which] = value;
  if (which == 0) e.threads_ = std::min(e.threads_, (value + kLanes - 1) / kLanes);
  return e;
}

bool kly_RunEstimate::fits(const Limits& limits) const {
  return seconds() <= limits.seconds && (limits.bytes <= 0 || bytes() <= limits.bytes);
}

std::optional<std::string> kly_RunEstimate::refusal(const Limits& limits) const {
  if (fits(limits)) return std::nullopt;
  std::vector<std::string> over;
  if (seconds() > limits.seconds) over.push_back(kly_text::duration(limits.seconds));
  if (limits.bytes > 0 && bytes() > limits.bytes)
    over.push_back(fmt::format("the machine's {} of memory", kly_text::bytes(limits.bytes)));

  // Each count alone, lowered as little as needed; a pass limit of at least 2,
  // so that some pass has space charge.
  static constexpr const char* kKeys[] = {"simulation.disks", "simulation.rings", "simulation.steps",
                                          "simulation.maxIterations"};
  const int current[] = {disks_, rings_, steps_, passes_};
  std::vector<std::string> lower;
  for (int which = 0; which < 4; ++which) {
    int lo = which == 3 ? 2 : 1;
    int hi = current[which] - 1;
    if (hi < lo || !withCount(which, lo).fits(limits)) continue;
    while (lo < hi) {  // the largest value that fits: estimates grow with every count
      const int mid = lo + (hi - lo + 1) / 2;
      if (withCount(which, mid).fits(limits))
        lo = mid;
      else
        hi = mid - 1;
    }
    lower.push_back(fmt::format("{} ({}) to {} or less{}", kKeys[which], current[which], lo,
                                which == 3 ? fmt::format(" (--max-passes {})", lo) : ""));
  }
  return fmt::format("the simulation would take {}, over the limit{} of {}: {}; or give --force to run it all the same",
                     describe(), over.size() > 1 ? "s" : "", fmt::join(over, " and "),
                     lower.empty() ? std::string("lower the disks, rings and steps together")
                                   : fmt::format("lower {}", fmt::join(lower, ", or ")));
}
