#pragma once

// The lane kernel of kly_SpaceChargeSum::sum, compiled once per vector width:
// kly_SpaceChargeSum.cpp makes the one for two doubles,
// kly_SpaceChargeSumAvx2.cpp those for four with AVX2, with divisions and
// with FMA in their place. Everything here has internal linkage, so that no
// function compiled for one instruction set stands in for the same function
// of another. The AVX2 unit defines KLY_LANES_AVX2 and KLY_LANES_FMA (a
// target pragma does not define __AVX2__ or __FMA__).

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "simulation/kly_SpaceChargeSum.h"

namespace {

constexpr int kLanes = kly_SpaceChargeSum::kLanes;
constexpr int kEntries = kly_SpaceChargeSum::kEntries;
using View = kly_SpaceChargeSum::View;
// The last position of the space-charge table, in table intervals (999).
constexpr double kLast = kly_SpaceCharge::kIntervals;

// A block is passed over when its nearest source, scaled by kLast / (contraction zmax), lies beyond this.
// The lookup forms the same quotient with three roundings and the test with three, so a margin of 2^-30
// (far above six roundings of 2^-53) makes sure that the lookup of every source of the block has
// a >= kLast, which gives 0.
constexpr double kSkipFrom = kLast + kLast * 0x1p-30;

// The lookups of a sum go in chunks of kChunk: the table positions of a
// chunk (two quotients each, a long chain of operations) are independent of
// each other and overlap in the processor; the interpolations follow.
constexpr int kChunk = 32;

// W doubles, masks of W 64-bit lanes (all ones where true) and W ints; the
// compiler maps them onto the vector registers of the target.
template <int W>
struct Lanes;
template <>
struct Lanes<2> {
  using V = double __attribute__((vector_size(16)));
  using M = std::int64_t __attribute__((vector_size(16)));
  using I = std::int32_t __attribute__((vector_size(8)));
};
template <>
struct Lanes<4> {
  using V = double __attribute__((vector_size(32)));
  using M = std::int64_t __attribute__((vector_size(32)));
  using I = std::int32_t __attribute__((vector_size(16)));
};

template <class T>
[[gnu::always_inline]] inline T load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
[[gnu::always_inline]] inline void store(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::V splat(double x) {
  typename Lanes<W>::V v = {};
  return v + x;
}

// The four table values of W lookups, one entry of 4 doubles per lane:
// lowJ[l] = entry[l][0], stepJ[l] = entry[l][1], lowJ1[l] = entry[l][2], stepJ1[l] = entry[l][3].
template <int W>
[[gnu::always_inline]] inline void gather(const double* const (&entry)[W], typename Lanes<W>::V& lowJ,
                                          typename Lanes<W>::V& stepJ, typename Lanes<W>::V& lowJ1,
                                          typename Lanes<W>::V& stepJ1) {
  using V = typename Lanes<W>::V;
  if constexpr (W == 2) {
    const V a0 = load<V>(entry[0]), b0 = load<V>(entry[0] + 2);
    const V a1 = load<V>(entry[1]), b1 = load<V>(entry[1] + 2);
    lowJ = __builtin_shufflevector(a0, a1, 0, 2);
    stepJ = __builtin_shufflevector(a0, a1, 1, 3);
    lowJ1 = __builtin_shufflevector(b0, b1, 0, 2);
    stepJ1 = __builtin_shufflevector(b0, b1, 1, 3);
  } else if constexpr (W == 4) {
    const V e0 = load<V>(entry[0]), e1 = load<V>(entry[1]), e2 = load<V>(entry[2]), e3 = load<V>(entry[3]);
    const V t0 = __builtin_shufflevector(e0, e1, 0, 4, 2, 6);  // L0 of 0 and 1, L1 of 0 and 1
    const V t1 = __builtin_shufflevector(e0, e1, 1, 5, 3, 7);  // the steps
    const V t2 = __builtin_shufflevector(e2, e3, 0, 4, 2, 6);
    const V t3 = __builtin_shufflevector(e2, e3, 1, 5, 3, 7);
    lowJ = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    lowJ1 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    stepJ = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    stepJ1 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
  }
}

// The lesser of a and kLast, and kLast for a NaN.
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::V clamp(typename Lanes<W>::V a) {
  const typename Lanes<W>::V limit = splat<W>(kLast);
#if defined(KLY_LANES_AVX2)
  if constexpr (W == 4) return _mm256_min_pd(a, limit);
#endif
#if defined(__SSE2__)
  if constexpr (W == 2) return _mm_min_pd(a, limit);
#endif
  return a < limit ? a : limit;
}

// Whether every lane of m is set.
template <int W>
[[gnu::always_inline]] inline bool allSet(typename Lanes<W>::M m) {
#if defined(KLY_LANES_AVX2)
  if constexpr (W == 4) return _mm256_movemask_pd(reinterpret_cast<__m256d>(m)) == 0xf;
#endif
#if defined(__SSE2__)
  if constexpr (W == 2) return _mm_movemask_pd(reinterpret_cast<__m128d>(m)) == 0x3;
#endif
  bool all = true;
  for (int l = 0; l < W; ++l) all = all && m[l] != 0;
  return all;
}

#if defined(KLY_LANES_FMA)
// The quotient RN(n / d) of four lanes without a division, from the two parts
// of the divisor's reciprocal: yh = RN(1 / d) and yl = RN((1 - d yh) / d).
// q = RN(n yh + RN(n yl)) is a faithful quotient, its remainder r = n - d q
// is exact, and RN(q + r yh) is the correctly rounded quotient (Markstein's
// correction). Exact while no step underflows or overflows; the conditions
// under which that holds for the lookups, and the proof, are in
// docs/division-free-lookup.md. Each FMA rounds once; nothing here depends
// on the compiler contracting.
[[gnu::always_inline]] inline __m256d quotient(__m256d n, __m256d d, __m256d yh, __m256d yl) {
  const __m256d q = _mm256_fmadd_pd(n, yh, _mm256_mul_pd(n, yl));
  const __m256d r = _mm256_fnmadd_pd(q, d, n);
  return _mm256_fmadd_pd(r, yh, q);
}

// The two parts of the reciprocal of d for quotient: yh = RN(1 / d), and
// yl = RN(rho / d) with the remainder rho = 1 - d yh, which an FMA forms
// exactly.
[[gnu::always_inline]] inline void reciprocal(__m256d d, __m256d& yh, __m256d& yl) {
  const __m256d one = _mm256_set1_pd(1.0);
  yh = _mm256_div_pd(one, d);
  yl = _mm256_div_pd(_mm256_fnmadd_pd(yh, d, one), d);
}
#endif

// Whether the quotients of a sum may be formed without a division
// (docs/division-free-lookup.md): every lane asked for has a contraction
// factor from 2^-100 to 1 and a position at least 2^-600 m from 0 (or not a
// number), and the table's range lies from 2^-100 to 2^100 m
// (View::reciprocal). Then every separation is 0, NaN or at least 2^-653 m in
// magnitude, and no step of a quotient leaves the normal range where its
// result could still lie in the table.
inline bool reciprocalHolds(const View& s, const double* z, const double* contraction, unsigned lanes) {
  if (!s.reciprocal) return false;
  for (int l = 0; l < kLanes; ++l) {
    if (!((lanes >> l) & 1u)) continue;
    const double c = contraction[l];
    if (!(c >= 0x1p-100 && c <= 1.0)) return false;
    if (std::fabs(z[l]) < 0x1p-600) return false;
  }
  return true;
}

// Splits 0 <= a <= kLast into b = a truncated and the fraction a - b, which it
// returns; the offsets b * stride + base of the table entries go to
// offset[0 .. W-1] (all of them below 2^31).
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::V split(typename Lanes<W>::V a, std::int32_t stride, std::int32_t base,
                                                         std::int32_t* offset) {
  using V = typename Lanes<W>::V;
#if defined(KLY_LANES_AVX2)
  if constexpr (W == 4) {
    const __m128i b = _mm256_cvttpd_epi32(a);
    const __m128i o = _mm_add_epi32(_mm_mullo_epi32(b, _mm_set1_epi32(stride)), _mm_set1_epi32(base));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(offset), o);
    return a - _mm256_cvtepi32_pd(b);
  }
#endif
#if defined(__SSE2__)
  if constexpr (W == 2) {
    // No 32-bit multiply in SSE2: the offsets are whole numbers far below
    // 2^53, exact as doubles.
    const __m128d b = _mm_cvtepi32_pd(_mm_cvttpd_epi32(a));
    const __m128d o = b * splat<W>(stride) + splat<W>(base);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(offset), _mm_cvttpd_epi32(o));
    return a - b;
  }
#endif
  using I = typename Lanes<W>::I;
  const I b = __builtin_convertvector(a, I);
  store(offset, b * stride + base);
  return a - __builtin_convertvector(b, V);
}

// The sum of kly_SpaceChargeSum::sum with vectors of W doubles: lane l sums
// the field on ring J of disk first + l. The sources of target disk d are
// blocks d .. d + 2 N_d, so that lane l reads block first + l + k at step k of
// the sum. With Fma (four lanes only) the two quotients of a lookup are formed
// from the reciprocals of their divisors where that gives the quotient's bits,
// and by division where it is not shown to.
template <int W, bool Fma = false>
[[gnu::always_inline]] inline long sumWith(const View& s, int first, int J, const double* z, const double* contraction,
                                           unsigned lanes, double* field) {
#if defined(KLY_LANES_FMA)
  if constexpr (Fma) {
    if (!reciprocalHolds(s, z, contraction, lanes)) return sumWith<W, false>(s, first, J, z, contraction, lanes, field);
  }
#else
  static_assert(!Fma, "the quotients without division need FMA");
#endif
  using V = typename Lanes<W>::V;
  using M = typename Lanes<W>::M;
  constexpr int H = kLanes / W;  // vectors of one lookup
  const int N = s.rings;
  const V zero = {};
  const V zmax = splat<W>(s.zmax);
  const M sign = M{} + static_cast<std::int64_t>(0x8000000000000000u);  // the sign bit alone
  const std::int32_t stride = 4 * N;  // doubles from one interval of a pair table to the next

  V zt[H], c[H], scale[H], e[H];
  M idle[H];
  [[maybe_unused]] V cHigh[H] = {}, cLow[H] = {}, zHigh = {}, zLow = {};  // the reciprocals of the quotients (Fma)
  for (int h = 0; h < H; ++h) {
    zt[h] = load<V>(z + h * W);
    c[h] = load<V>(contraction + h * W);
    scale[h] = kLast / (c[h] * zmax);  // for the skip test only
#if defined(KLY_LANES_FMA)
    if constexpr (Fma) {
      reciprocal(c[h], cHigh[h], cLow[h]);
      reciprocal(zmax, zHigh, zLow);
    }
#endif
    for (int l = 0; l < W; ++l) idle[h][l] = (lanes >> (h * W + l)) & 1u ? 0 : -1;
    e[h] = zero;
  }
  // The pair tables of field ring J, interleaved by source ring.
  const double* pairs = s.pairs + static_cast<std::size_t>(J) * kEntries * stride;

  // The lookups go in chunks: first the sources of up to kChunk lookups (one
  // source ring of one block for all lanes each) are listed, then their
  // table positions found, one lookup after another with nothing carried
  // from one to the next, then their interpolations added to the sums in
  // order, the one chain of the sum.
  const double* source[kChunk];
  std::int32_t base[kChunk];
  alignas(64) V fraction[kChunk][H];
  alignas(64) M flip[kChunk][H];
  alignas(64) std::int32_t offset[kChunk][kLanes];  // of the lanes' entries in the pair tables [doubles]
  int listed = 0;
  long lookups = 0;

  const auto run = [&] {
    // The separations in rest-frame units, x = (z - z') / contraction, and the signs of the terms;
    // then the table positions a = |x| / zmax * kLast, in two loops: each a short chain.
    for (int k = 0; k < listed; ++k) {
      for (int h = 0; h < H; ++h) {
        const V n = zt[h] - load<V>(source[k] + h * W);
        V x;
#if defined(KLY_LANES_FMA)
        if constexpr (Fma)
          x = quotient(n, c[h], cHigh[h], cLow[h]);
        else
#endif
          x = n / c[h];
        // The field is -r for x >= 0: flip the sign of r where x < 0 does not hold.
        flip[k][h] = ~(x < zero) & sign;
        fraction[k][h] = reinterpret_cast<V>(reinterpret_cast<M>(x) & ~sign);  // |x| for now
      }
    }
    for (int k = 0; k < listed; ++k) {
      for (int h = 0; h < H; ++h) {
        const V ax = fraction[k][h];
        V a;
#if defined(KLY_LANES_FMA)
        if constexpr (Fma)
          a = quotient(ax, zmax, zHigh, zLow) * kLast;
        else
#endif
          a = ax / zmax * kLast;
        // a is at least 0 or NaN. Beyond the table (a >= kLast or NaN) take entry kLast, whose
        // zeros give a term of 0, as the lookup does.
        fraction[k][h] = split<W>(clamp<W>(a), stride, base[k], &offset[k][h * W]);
      }
    }
    for (int k = 0; k < listed; ++k) {
      for (int h = 0; h < H; ++h) {
        const double* entry[W];
        for (int l = 0; l < W; ++l) entry[l] = pairs + offset[k][h * W + l];
        V lowJ, stepJ, lowJ1, stepJ1;
        gather<W>(entry, lowJ, stepJ, lowJ1, stepJ1);
        const V f = fraction[k][h];
        const V vJ = lowJ + f * stepJ;
        const V vJ1 = lowJ1 + f * stepJ1;
        const V r = vJ1 - vJ;
        e[h] += reinterpret_cast<V>(reinterpret_cast<M>(r) ^ flip[k][h]);
      }
    }
    listed = 0;
  };
  const auto list = [&](const double* zs, int i) {
    source[listed] = zs;
    base[listed] = 4 * i;
    if (++listed == kChunk) run();
  };

  const int last = 2 * s.disks;
  for (int k = 0; k <= last; ++k) {
    const std::size_t block = static_cast<std::size_t>(first) + k;
    M pass = ~M{};
    for (int h = 0; h < H; ++h) {
      const V low = load<V>(s.low + block + h * W);
      const V high = load<V>(s.high + block + h * W);
      // The distance to the nearer end of the block, not positive inside it
      // (and NaN for a target that is not a number, which is never passed over).
      const V ahead = zt[h] - high, behind = low - zt[h];
      const V gap = ahead > behind ? ahead : behind;
      pass &= (gap * scale[h] > kSkipFrom) | idle[h];
    }
    if (allSet<W>(pass)) continue;

    const double* zs = s.sourceZ + block;
    if (k == s.disks) {  // the lanes' own disks: leave out the ring itself
      for (int i = 0; i < N; ++i, zs += s.blocks)
        if (i != J) list(zs, i);
    } else {
      for (int i = 0; i < N; ++i, zs += s.blocks) list(zs, i);
    }
    lookups += static_cast<long>(kLanes) * N;
  }
  run();
  for (int h = 0; h < H; ++h)
    for (int l = 0; l < W; ++l) field[h * W + l] = e[h][l];
  return lookups;
}

}  // namespace
