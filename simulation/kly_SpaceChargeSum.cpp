#include "simulation/kly_SpaceChargeSum.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "klystron/core/kly_Errors.h"
#include "simulation/kly_SpaceChargeLanes.h"

namespace {

using kly::kSpeedOfLight;
using View = kly_SpaceChargeSum::View;

long sumPortable(const View& s, int first, int ring, const double* z, const double* contraction, unsigned lanes,
                 double* field) {
  return sumWith<2>(s, first, ring, z, contraction, lanes, field);
}

}  // namespace

bool kly_SpaceChargeSum::isSupported(Vectors vectors) {
  switch (vectors) {
    case Vectors::automatic:
    case Vectors::portable:
      return true;
    case Vectors::avx2:
#if defined(KLY_SPACE_CHARGE_AVX2)
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
    case Vectors::avx2Fma:
      // A hardware FMA, not the library's std::fma, which may be emulated.
#if defined(KLY_SPACE_CHARGE_AVX2)
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
      return false;
#endif
  }
  return false;
}

double kly_SpaceChargeSum::plainField(const kly_SpaceCharge& table, const kly_PassTrajectories& t, int d, int r, int s,
                                      double z, double v) {
  double* const* const* position = t.position;
  double* const* const* velocity = t.velocity;
  const int Nd = t.disks;
  const int Nr = t.rings;
  const int Ns = t.periodSteps;
  const double beta = v / kSpeedOfLight;
  const double contraction = std::sqrt(1 - beta * beta);
  double e = 0;
  if (s >= Ns) {
    const int st = s - Ns;  // recorded earlier in this pass
    for (int dp = d; dp < Nd; ++dp) {
      for (int rp = 0; rp < Nr; ++rp) {
        if (velocity[dp][rp][st] > 0) e += table.getSpaceChargeField((z - position[dp][rp][st]) / contraction, r, rp);
      }
    }
  }
  for (int dp = 0; dp < Nd; ++dp) {  // step s as the previous pass recorded it
    for (int rp = 0; rp < Nr; ++rp) {
      if (dp == d && rp == r) continue;
      if (velocity[dp][rp][s] > 0) e += table.getSpaceChargeField((z - position[dp][rp][s]) / contraction, r, rp);
    }
  }
  const int sl = s + Ns;  // as the previous pass recorded it
  for (int dp = 0; dp <= d; ++dp) {
    for (int rp = 0; rp < Nr; ++rp) {
      if (velocity[dp][rp][sl] > 0) e += table.getSpaceChargeField((z - position[dp][rp][sl]) / contraction, r, rp);
    }
  }
  return e;
}

void kly_SpaceChargeSum::prepare(const kly_SpaceCharge& table, int disks, Vectors vectors) {
  if (!table.isBuilt()) throw kly_StateError("space-charge sum: the space-charge table has not been built");
  if (disks < 1) throw std::invalid_argument("space-charge sum: disk count " + std::to_string(disks) + " is below 1");
  if (!isSupported(vectors))
    throw std::invalid_argument("space-charge sum: this build or processor has not the vector instructions asked for");
  // The kernels take a = |x| / zmax * kIntervals to be at least 0 or NaN.
  if (!(table.getZMax() > 0))
    throw std::invalid_argument("space-charge sum: the table's range " + std::to_string(table.getZMax()) +
                                " m is not positive");
  const int n = table.getRingCount();
  const auto N = static_cast<std::size_t>(n);
  // Entries of 32 bytes from a 64-byte boundary on, so that no read of one
  // spans two cache lines.
  constexpr std::size_t kAlign = 64 / sizeof(double);
  std::vector<double> pairs(N * N * kEntries * 4 + kAlign, 0.0);
  const std::size_t start =
      (kAlign - reinterpret_cast<std::uintptr_t>(pairs.data()) / sizeof(double) % kAlign) % kAlign;
  for (int J = 0; J < n; ++J) {
    for (int b = 0; b + 1 < kEntries; ++b) {
      double* entry = &pairs[start + (static_cast<std::size_t>(J) * kEntries + b) * N * 4];
      for (int i = 0; i < n; ++i, entry += 4) {
        entry[0] = table.tableValue(b, J, i);
        entry[1] = table.tableValue(b + 1, J, i) - table.tableValue(b, J, i);
        entry[2] = table.tableValue(b, J + 1, i);
        entry[3] = table.tableValue(b + 1, J + 1, i) - table.tableValue(b, J + 1, i);
      }
    }
  }
  const std::size_t blocks = 3 * static_cast<std::size_t>(disks) + kLanes - 1;
  std::vector<double> sourceZ(N * blocks, std::numeric_limits<double>::quiet_NaN());
  std::vector<double> low(blocks, std::numeric_limits<double>::infinity());
  std::vector<double> high(blocks, -std::numeric_limits<double>::infinity());

  if (vectors == Vectors::automatic) {
    vectors = Vectors::portable;
    if (isSupported(Vectors::avx2)) vectors = Vectors::avx2;
    if (isSupported(Vectors::avx2Fma)) vectors = Vectors::avx2Fma;
  }
  Kernel kernel = sumPortable;
#if defined(KLY_SPACE_CHARGE_AVX2)
  if (vectors == Vectors::avx2) kernel = kly_spaceChargeSumAvx2;
  if (vectors == Vectors::avx2Fma) kernel = kly_spaceChargeSumAvx2Fma;
#endif
  // The quotients by zmax from its reciprocal are shown exact for a range of
  // 2^-100 to 2^100 m (docs/division-free-lookup.md); tables of any other
  // are looked up with divisions.
  const double zmax = table.getZMax();
  const bool reciprocal = zmax >= 0x1p-100 && zmax <= 0x1p100;

  pairs_ = std::move(pairs);
  sourceZ_ = std::move(sourceZ);
  low_ = std::move(low);
  high_ = std::move(high);
  view_ = View{pairs_.data() + start, sourceZ_.data(), low_.data(), high_.data(), blocks, n, disks, zmax, reciprocal};
  kernel_ = kernel;
  vectors_ = vectors;
}

void kly_SpaceChargeSum::setSources(Period period, int disk, const kly_PassTrajectories& t, int step) {
  const std::size_t block = static_cast<std::size_t>(period) * view_.disks + disk;
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  for (int r = 0; r < view_.rings; ++r) {
    const double z = t.position[disk][r][step];
    const bool carries = t.velocity[disk][r][step] > 0;
    sourceZ_[r * view_.blocks + block] = carries ? z : std::numeric_limits<double>::quiet_NaN();
    if (carries && z < low) low = z;
    if (carries && z > high) high = z;
  }
  low_[block] = low;
  high_[block] = high;
}

void kly_SpaceChargeSum::clearSources(Period period, int disk) {
  const std::size_t block = static_cast<std::size_t>(period) * view_.disks + disk;
  for (int r = 0; r < view_.rings; ++r) sourceZ_[r * view_.blocks + block] = std::numeric_limits<double>::quiet_NaN();
  low_[block] = std::numeric_limits<double>::infinity();
  high_[block] = -std::numeric_limits<double>::infinity();
}
