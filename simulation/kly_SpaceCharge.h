#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "klystron/core/kly_Constants.h"
#include "simulation/kly_NearField.h"

// Axial space-charge field between the rings (round beam) or strips (sheet
// beam) of the charge disks of the disk simulation, inside a conducting tube.
//
// A build tabulates, once per run, the average axial field T[k][j][i] [V/m]
// on ring i (0 .. N-1) due to the central part of one disk made of its rings
// 0 .. j-1 (j = 0 .. N), at the axial distance z_k = (k/K)*zmax
// (k = 0 .. K, K = kIntervals = 999). Entries with k = 0 or j = 0 are 0. The
// table belongs to this object, so simulations on distinct objects may build
// and look up at the same time; an object that never built holds no table.
//
// Rings are of equal area and strips of equal height, so the field of ring J
// averaged over ring i equals the field of ring i averaged over ring J.
class kly_SpaceCharge {
public:
  static constexpr int kTablePoints = kly::kSpaceChargeTablePoints;  // axial distances in the table
  static constexpr int kIntervals = kTablePoints - 1;                // between them
  static constexpr int kMaxRings = kly::kMaxRings;                   // most rings or strips a table can hold

  kly_SpaceCharge() = default;
  virtual ~kly_SpaceCharge() = default;
  kly_SpaceCharge(const kly_SpaceCharge&) = delete;
  kly_SpaceCharge& operator=(const kly_SpaceCharge&) = delete;

  // Round beam of radius beamRadius [m] centred in a circular tube of radius
  // tubeRadius [m]; charge: the charge of one disk, all rings together [C];
  // velocity: the beam velocity [m/s]; rings: N, 1 to 20.
  // Throws std::invalid_argument for a ring count outside 1 to 20, a velocity
  // not between 0 and the speed of light, a radius that is not positive, a
  // beam wider than the tube or a charge that is not finite; the object then
  // keeps what it held.
  void buildRoundBeamTable(double charge, double velocity, double beamRadius, double tubeRadius, int rings);

  // Sheet beam of width beamWidth and height beamHeight [m] centred in a
  // rectangular tube of width tubeWidth and height tubeHeight [m]; the strips
  // are slab pairs of equal height on both sides of the mid-plane. Other
  // arguments and errors as for the round beam.
  void buildSheetBeamTable(double charge, double velocity, double beamWidth, double beamHeight, double tubeWidth,
                           double tubeHeight, int strips);

  // Average axial field [V/m] on ring `fieldRing` (J) due to ring `source` of
  // a disk at the axial separation x [m] (position of the acted-on ring minus
  // position of the source, scaled by the acted-on ring's relativistic
  // factor): interpolated in the table, negative for x >= 0 (an electron ahead
  // of the disk is pushed forward, one behind it back), 0 for |x| >= zmax and
  // for x not a number. Throws std::out_of_range for a field ring or a source
  // outside 0 .. N-1 and kly_StateError before a build.
  double getSpaceChargeField(double x, int fieldRing, int source) const {
    if (static_cast<unsigned>(fieldRing) >= static_cast<unsigned>(rings_)) badRing("field", fieldRing);
    if (static_cast<unsigned>(source) >= static_cast<unsigned>(rings_)) badRing("source", source);
    const double a = std::abs(x) / zmax_ * kIntervals;
    // Equivalent to "b = a truncated towards zero; nothing unless 0 <= b < kIntervals", without converting a
    // value outside int's range (or NaN) to int.
    if (!(a > -1.0 && a < kIntervals)) return 0.0;
    const int b = static_cast<int>(a);
    const double* lower = &table_[index(b, fieldRing, source)];
    const double* upper = &table_[index(b + 1, fieldRing, source)];
    const double vJ = lower[0] + (a - b) * (upper[0] - lower[0]);
    const double vJ1 = lower[rings_] + (a - b) * (upper[rings_] - lower[rings_]);
    const double r = vJ1 - vJ;
    return x < 0 ? r : -r;
  }

  // Makes the near field of the table finite (kly_NearField.h): every
  // column T[.][j][i] becomes the thin field convolved with the kernel of
  // disks of axial thickness `thickness` [m, in the lookup's contracted
  // units], on the same grid; lookups are unchanged. Beyond the kernel's reach
  // (2 thicknesses for the cubic kernel) the field stays that of the thin
  // disks to within the kernel's fourth-order smoothing. Throws kly_StateError
  // before a build or when the near field is already finite, and
  // std::invalid_argument for a thickness that is not positive and finite; the
  // table is then unchanged. A build makes it thin again.
  void regulariseNearField(double thickness, kly_nearField::Kernel kernel = kly_nearField::Kernel::cubic);
  // The disk thickness of the finite near field [m], 0 for the thin one.
  double getNearFieldThickness() const { return thickness_; }

  bool isBuilt() const { return rings_ > 0; }
  int getRingCount() const { return rings_; }  // N of the last build, 0 before any
  double getZMax() const { return zmax_; }     // axial range of the table [m], 0 before any build

  // T[k][j][i] [V/m], k = 0 .. kIntervals, j = 0 .. N, i = 0 .. N-1, exactly as tabulated.
  // Throws std::out_of_range outside these ranges (kly_StateError before a build).
  double tableValue(int k, int j, int i) const;

private:
  std::size_t index(int k, int j, int i) const { return (static_cast<std::size_t>(k) * (rings_ + 1) + j) * rings_ + i; }
  [[noreturn]] void badRing(const char* which, int ring) const;
  void install(std::vector<double>&& table, double zmax, int rings);

  std::vector<double> table_;  // T[k][j][i] at index(k, j, i)
  double zmax_ = 0.0;          // [m]
  double thickness_ = 0.0;     // [m] of the finite near field, 0 for the thin one
  int rings_ = 0;
};
