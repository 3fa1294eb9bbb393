// The time-stepping pass arranged for speed. It makes the same operations as
// the plain pass on the same values, and forms every sum in the same order,
// so that its results are the plain pass's to the last bit:
//  - each gap's field shape at a disk ring is evaluated once per step, for the
//    induced current and for the gap field alike, and each gap's cosine once
//    per step for all disk rings;
//  - the space-charge sums go through kly_SpaceChargeSum;
//  - the work of a step is shared out over the run's threads: first the fields
//    of groups of disk rings, then the push of groups of disks, and one
//    cavity's induced current per unit, each of these formed by one thread.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>

#include "klystron/simulation/kly_DiskSimulation.h"
#include "simulation/kly_DiskSimulationRun.h"

using kly::kSpeedOfLight;

namespace {

constexpr int kLanes = kly_SpaceChargeSum::kLanes;

}  // namespace

// The sources of steps s - N_s (this pass, if s >= N_s), s and s + N_s (the
// previous pass) for disks firstDisk .. endDisk - 1.
void kly_DiskSimulation::Run::fastSources(int firstDisk, int endDisk, int s) {
  const kly_PassTrajectories t = trajectories();
  for (int d = firstDisk; d < endDisk; ++d) {
    if (s >= Ns_)
      sum_.setSources(kly_SpaceChargeSum::kTrailing, d, t, s - Ns_);
    else
      sum_.clearSources(kly_SpaceChargeSum::kTrailing, d);
    sum_.setSources(kly_SpaceChargeSum::kSame, d, t, s);
    sum_.setSources(kly_SpaceChargeSum::kLeading, d, t, s + Ns_);
  }
}

// Groups of kLanes disks: the lanes of one space-charge sum.
int kly_DiskSimulation::Run::groups() const { return (Nd_ + kLanes - 1) / kLanes; }

// Thread t's groups are groupHome_[t] .. groupHome_[t + 1] - 1. Its units of
// the fields of a step are those groups on each ring, ring by ring (so that
// consecutive units share the tables of their ring's sums), and of the push
// the same groups, after one unit per cavity for the induced current on the
// calling thread.
void kly_DiskSimulation::Run::shareOut(int threads) {
  const int G = groups();
  groupHome_.resize(static_cast<std::size_t>(threads) + 1);
  fieldHome_.resize(groupHome_.size());
  pushHome_.resize(groupHome_.size());
  for (int t = 0; t <= threads; ++t) {
    const auto q = static_cast<std::size_t>(t);
    groupHome_[q] = G * t / threads;
    fieldHome_[q] = groupHome_[q] * Nr_;
    pushHome_[q] = t == 0 ? 0 : nc_ + groupHome_[q];
  }
}

// Unit `unit` of the fields of a step: gap and space-charge fields of its
// disk rings, and their terms of the induced current.
void kly_DiskSimulation::Run::fastFields(int unit, bool spaceCharge, bool lastPeriod, const double* cosine) {
  std::size_t t = 0;
  while (unit >= fieldHome_[t + 1]) ++t;
  const int groupsOfThread = groupHome_[t + 1] - groupHome_[t];
  const int local = unit - fieldHome_[t];
  const int first = (groupHome_[t] + local % groupsOfThread) * kLanes;
  const int r = local / groupsOfThread;
  const double regionEnd = results.zEnd - 2 * lambda_;
  const double ringCharge = -(Q_ / Nr_);

  double z[kLanes];
  double contraction[kLanes];
  double field[kLanes];
  unsigned lanes = 0;
  for (int l = 0; l < kLanes; ++l) {
    const int d = first + l;
    z[l] = std::numeric_limits<double>::quiet_NaN();
    contraction[l] = 1;
    if (d >= Nd_) continue;
    const double zc = zCur_[d][r];
    const double vc = vCur_[d][r];
    // Upstream of the injection plane, near the end of the tube and during
    // the last RF period of the pass the disks drift.
    const bool active = !(zc < zInj_ || zc > regionEnd || lastPeriod);
    double eCav = 0;
    const bool finiteVelocity = std::isfinite(vc);
    for (int k = 0; k < nc_; ++k) {
      const auto q = static_cast<std::size_t>(k);
      const double g = cavity_[q]->getField(zc, r);
      double& term = inducedTerms_[(q * Nd_ + d) * Nr_ + r];
      // Most gaps have no field on a given disk ring: with finite factors both
      // of its terms are zeros then, which leave their sums unchanged (a sum
      // that starts at +0 is never -0), and need not be formed.
      if (g == 0 && finiteVelocity && finiteTerms_[q * Nr_ + r] && (!active || finiteGap_[q])) {
        term = 0;
        continue;
      }
      term = ringCharge * g * vc / integral_[q * Nr_ + r];
      if (active) eCav += g * results.cavityVoltage[q] * cosine[k];
    }
    eCav_[d][r] = eCav;
    eSc_[d][r] = 0;
    if (active && spaceCharge) {
      lanes |= 1u << l;
      z[l] = zc;
      const double beta = vc / kSpeedOfLight;
      contraction[l] = std::sqrt(1 - beta * beta);
    }
  }
  if (lanes == 0) return;
  sum_.sum(first, r, z, contraction, lanes, field);
  for (int l = 0; l < kLanes; ++l)
    if (lanes & (1u << l)) eSc_[first + l][r] = field[l];
}

void kly_DiskSimulation::Run::fastPass(int i) {
  results.diskReflected = false;
  launch();

  kly_WorkerPool& pool = *pool_;
  const bool spaceCharge = i > 0;
  const int G = groups();
  const int diskRings = Nd_ * Nr_;
  const double minimumLocation = results.minVOverCLocation;  // found by the previous pass
  std::array<double, kMaxCavities> cosine{};
  std::atomic<bool> reflected{false};

  // The sources of a step are set by the units that push the previous step,
  // each for its own disks, after pushing them (with one step per period the
  // trailing period of step s + 1 is step s).
  const auto needsSources = [&](int s) { return spaceCharge && s < Nt_ - Ns_; };
  if (needsSources(0))
    pool.forEach(
        G, [&](int g) { fastSources(g * kLanes, std::min(Nd_, (g + 1) * kLanes), 0); }, groupHome_.data());

  for (int s = 0; s < Nt_; ++s) {
    const double t = s * dt_;
    const int p = s % Ns_;
    const bool lastPeriod = s >= Nt_ - Ns_;
    if (!lastPeriod) {
      for (int k = 0; k < nc_; ++k) {
        const auto q = static_cast<std::size_t>(k);
        cosine[q] = std::cos(omega_ * harmonic_[q] * t + results.cavityVoltagePhase[q]);
        finiteGap_[q] = std::isfinite(results.cavityVoltage[q]) && std::isfinite(cosine[q]);
      }
    }

    pool.forEach(
        G * Nr_, [&](int u) { fastFields(u, spaceCharge, lastPeriod, cosine.data()); }, fieldHome_.data());

    const bool nextSources = needsSources(s + 1);
    pool.forEach(
        nc_ + G,
        [&](int u) {
          if (u < nc_) {
            // Current induced in gap u, folded onto one RF period, in the order of the disk rings.
            double& induced = induced_[u][p];
            const double* term = &inducedTerms_[static_cast<std::size_t>(u) * diskRings];
            for (int n = 0; n < diskRings; ++n) induced += term[n];
            return;
          }
          const int first = (u - nc_) * kLanes;
          const int end = std::min(Nd_, first + kLanes);
          bool stopped = false;
          for (int d = first; d < end; ++d)
            for (int r = 0; r < Nr_; ++r) stopped = push(d, r, s, minimumLocation) || stopped;
          if (stopped) reflected.store(true, std::memory_order_relaxed);
          if (nextSources) fastSources(first, end, s + 1);
        },
        pushHome_.data());
    reportStep(i, s);
  }
  results.diskReflected = reflected.load();
  findMinimumVOverC();
}
