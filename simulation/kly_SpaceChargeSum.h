#pragma once

#include <cstddef>
#include <vector>

#include "simulation/kly_SpaceCharge.h"

// The recorded trajectories of a pass as the space-charge sums read them:
// position[disk][ring][step] [m] and velocity[disk][ring][step] [m/s].
struct kly_PassTrajectories {
  double* const* const* position;
  double* const* const* velocity;
  int disks;
  int rings;
  int periodSteps;  // time steps per RF period
};

// The axial space-charge field on a disk ring of the disk simulation: the
// sum of the fields of the disk rings one RF period behind it, of the same
// period and one period ahead of it, looked up in the table of a
// kly_SpaceCharge. A periodic beam repeats itself every period, so the disks
// behind disk d are disks d .. N_d-1 one period (N_s steps) earlier, and the
// disks ahead of it disks 0 .. d one period later, which only the previous
// pass has reached. Sources that have stopped or turned back carry no field.
//
// The order of the sum is part of the result: trailing period, same period
// (all but the ring itself), leading period; disks outside, rings inside.
// `plainField` forms it term by term with kly_SpaceCharge::getSpaceChargeField.
// An object of this class gives the same sums, to the last bit, several
// times faster:
//  - each (field ring, source ring) pair has its own table in which one read
//    of 32 bytes brings the four values a lookup interpolates between (the
//    differences precomputed: the same subtraction the lookup makes), and
//    one entry of zeros for separations beyond the table;
//  - with FMA, the two quotients of a lookup are formed from the reciprocals
//    of their divisors (fixed over a sum), which gives the quotients' bits
//    (docs/division-free-lookup.md), and by division where that is not shown;
//  - the fields on kLanes consecutive disks of one ring are summed at once,
//    one lane per disk, each lane adding its own terms in the order above
//    (disk d's sources are blocks d .. d + 2 N_d of the trailing, same and
//    leading periods laid end to end, so that the lanes read neighbouring
//    blocks);
//  - a block of sources (the rings of one disk in one period) that lies
//    beyond the table's range from every lane is passed over: the lookup
//    would give exactly 0 for each of them, and adding 0 changes no sum;
//  - a source that carries no field is stored as NaN, which every lookup
//    maps to 0.
// Adding 0 leaves a sum unchanged because a sum that starts at +0 is never
// -0.
//
// Sources are set for one step at a time with setSources and read by sum;
// sums for distinct lanes may run on several threads at once, but not while
// sources are being set.
class kly_SpaceChargeSum {
public:
  static constexpr int kLanes = 4;  // disks summed at once
  enum Period { kTrailing = 0, kSame = 1, kLeading = 2 };

  // The vector instructions the sums use; all give the same bits.
  enum class Vectors {
    automatic,  // the widest the processor has
    portable,   // two doubles, what every target has (SSE2 on x86-64)
    avx2,       // four doubles (x86-64)
    avx2Fma,    // four doubles, the quotients from reciprocals with FMA (x86-64)
  };
  static bool isSupported(Vectors vectors);  // by this build and processor

  // The field on ring r of disk d at step s, summed plainly: the reference
  // the fast sums are held to. z and v are the current position [m] and
  // velocity [m/s] of the disk ring. Steps
  // s - N_s (if s >= N_s), s and s + N_s of the trajectories are read.
  static double plainField(const kly_SpaceCharge& table, const kly_PassTrajectories& t, int d, int r, int s, double z,
                           double v);

  // Takes the table of a built kly_SpaceCharge, for `disks` disks of its ring
  // count. Throws kly_StateError if the table is not built,
  // std::invalid_argument for fewer than 1 disk or vectors this build or
  // processor lacks.
  void prepare(const kly_SpaceCharge& table, int disks, Vectors vectors = Vectors::automatic);

  // The sources of disk `disk` in one period: its rings at `step` of the
  // trajectories. clearSources: the disk has none in that period.
  void setSources(Period period, int disk, const kly_PassTrajectories& t, int step);
  void clearSources(Period period, int disk);

  // Space-charge fields [V/m] at the current step on ring `ring` of disks
  // first .. first + kLanes - 1: field[l] for lane l, disk first + l, at
  // position z[l] [m] and with the contraction factor sqrt(1 - (v/c)^2) of
  // its velocity in contraction[l]. Only the lanes whose bit is set in
  // `lanes` are summed (they must be disks of the count); field[l] of the
  // other lanes has no meaning. first is a multiple of kLanes. Returns the
  // number of lookups made (lanes times source rings evaluated, whether in
  // the table's range or not). Only after prepare.
  long sum(int first, int ring, const double (&z)[kLanes], const double (&contraction)[kLanes], unsigned lanes,
           double (&field)[kLanes]) const {
    return kernel_(view_, first, ring, z, contraction, lanes, field);
  }

  int getRingCount() const { return view_.rings; }
  int getDiskCount() const { return view_.disks; }
  Vectors getVectors() const { return vectors_; }  // as chosen by prepare

  // What a kernel reads; public for the kernels only.
  struct View {
    const double* pairs = nullptr;    // pairs_
    const double* sourceZ = nullptr;  // sourceZ_
    const double* low = nullptr;      // low_
    const double* high = nullptr;     // high_
    std::size_t blocks = 0;           // 3 N_d blocks and kLanes - 1 empty ones
    int rings = 0;
    int disks = 0;
    double zmax = 0;          // [m]
    bool reciprocal = false;  // whether zmax admits the quotients from its reciprocal
  };
  using Kernel = long (*)(const View&, int, int, const double*, const double*, unsigned, double*);

  // Entries of the table of one (field ring, source ring) pair:
  // kly_SpaceCharge::kIntervals intervals and one of zeros for a separation beyond the table.
  static constexpr int kEntries = kly_SpaceCharge::kTablePoints;

private:
  Kernel kernel_ = nullptr;
  Vectors vectors_ = Vectors::portable;
  View view_;
  // For field ring J, interval b and source ring i, at ((J * kEntries + b) * N + i) * 4:
  // T[b][J][i], T[b+1][J][i] - T[b][J][i], T[b][J+1][i], T[b+1][J+1][i] - T[b][J+1][i];
  // entries of interval kIntervals are zeros. The rings of one disk lie close
  // together, so that the lookups of one lane for them read neighbouring entries.
  std::vector<double> pairs_;
  std::vector<double> sourceZ_;  // [ring][block]: position [m], NaN for no field
  std::vector<double> low_;      // [block]: least position of a source of the block, +inf for none
  std::vector<double> high_;     // [block]: greatest, -inf for none
};

#if defined(__x86_64__) && defined(__GNUC__)
#define KLY_SPACE_CHARGE_AVX2 1
// The kernel of kly_SpaceChargeSum::sum with AVX2 (kly_SpaceChargeSumAvx2.cpp),
// for processors that have it.
long kly_spaceChargeSumAvx2(const kly_SpaceChargeSum::View& view, int first, int ring, const double* z,
                            const double* contraction, unsigned lanes, double* field);
// The same with the quotients formed from reciprocals with FMA, for
// processors with AVX2 and FMA.
long kly_spaceChargeSumAvx2Fma(const kly_SpaceChargeSum::View& view, int first, int ring, const double* z,
                               const double* contraction, unsigned lanes, double* field);
// The quotients n[k] / d[k] of that kernel, k = 0 .. count - 1, as it forms
// them (only where its conditions hold: the tests hold them to the divisions).
void kly_spaceChargeQuotientsFma(const double* n, const double* d, double* q, std::size_t count);
#endif
