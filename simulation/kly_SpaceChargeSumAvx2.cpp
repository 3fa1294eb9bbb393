// The lane kernel of the space-charge sum with vectors of four doubles, for
// processors with AVX2, whatever the build targets. Only the kernel is
// compiled for AVX2: the pragma follows every header with functions of
// external linkage, so no such function is made here for AVX2 alone. No FMA:
// the results must be those of the portable kernel to the last bit.

#include "simulation/kly_SpaceChargeSum.h"

#if defined(KLY_SPACE_CHARGE_AVX2)

#include <immintrin.h>
#include <cstdint>
#include <cstring>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif
#define KLY_LANES_AVX2 1
#include "simulation/kly_SpaceChargeLanes.h"

long kly_spaceChargeSumAvx2(const kly_SpaceChargeSum::View& view, int first, int ring, const double* z,
                            const double* contraction, unsigned lanes, double* field) {
  return sumWith<4>(view, first, ring, z, contraction, lanes, field);
}

#if defined(__clang__)
#pragma clang attribute pop
#endif

#endif
