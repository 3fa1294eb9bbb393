// The lane kernels of the space-charge sum with vectors of four doubles, for
// processors with AVX2 (and FMA), whatever the build targets. Only the
// kernels are compiled for AVX2 and FMA: the pragma follows every header
// with functions of external linkage, so no such function is made here for
// them alone. The engine is compiled with -ffp-contract=off, so no multiply
// and add are fused but the FMAs the quotients ask for explicitly: the
// results are those of the portable kernel to the last bit.

#include "simulation/kly_SpaceChargeSum.h"

#if defined(KLY_SPACE_CHARGE_AVX2)

#include <immintrin.h>
#include <cstdint>
#include <cstring>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC target("avx2,fma")
#endif
#define KLY_LANES_AVX2 1
#define KLY_LANES_FMA 1
#include "simulation/kly_SpaceChargeLanes.h"

long kly_spaceChargeSumAvx2(const kly_SpaceChargeSum::View& view, int first, int ring, const double* z,
                            const double* contraction, unsigned lanes, double* field) {
  return sumWith<4>(view, first, ring, z, contraction, lanes, field);
}

long kly_spaceChargeSumAvx2Fma(const kly_SpaceChargeSum::View& view, int first, int ring, const double* z,
                               const double* contraction, unsigned lanes, double* field) {
  return sumWith<4, true>(view, first, ring, z, contraction, lanes, field);
}

void kly_spaceChargeQuotientsFma(const double* n, const double* d, double* q, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    __m256d yh, yl;
    const __m256d dk = _mm256_set1_pd(d[k]);
    reciprocal(dk, yh, yl);
    q[k] = _mm256_cvtsd_f64(quotient(_mm256_set1_pd(n[k]), dk, yh, yl));
  }
}

#if defined(__clang__)
#pragma clang attribute pop
#endif

#endif
