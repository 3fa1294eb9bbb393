#include "numeric/kly_Arrays.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

TEST(Arrays, TwoDimensionalRowsAreDistinctAndZeroed) {
  double** a = kly::allocate2D(3, 4);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(a[i][j], 0.0);
      a[i][j] = 10 * i + j;
    }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(a[i][j], 10 * i + j);
  kly::free2D(a, 3);
}

TEST(Arrays, ThreeDimensionalIndexing) {
  double*** a = kly::allocate3D(2, 3, 5);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 5; ++k) a[i][j][k] = 100 * i + 10 * j + k;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 5; ++k) EXPECT_EQ(a[i][j][k], 100 * i + 10 * j + k);
  kly::free3D(a, 2, 3);
}

TEST(Arrays, NullAndEmptyArraysAreReleasedSafely) {
  kly::free1D(nullptr);
  kly::free2D(nullptr, 5);
  kly::free3D(nullptr, 5, 5);
  kly::free2D(kly::allocate2D(0, 7), 0);
  kly::free2D(kly::allocate2D(4, 0), 4);
  kly::free3D(kly::allocate3D(0, 2, 2), 0, 2);
  kly::free3D(kly::allocate3D(2, 0, 2), 2, 0);
  kly::free3D(kly::allocate3D(2, 2, 0), 2, 2);
  double* b = kly::allocate1D(8);
  b[7] = 1.0;
  kly::free1D(b);
}

TEST(Arrays, ImpossibleRequestsFailAtOnce) {
  EXPECT_THROW(kly::allocate2D(-1, 3), std::invalid_argument);
  EXPECT_THROW(kly::allocate3D(2, -3, 4), std::invalid_argument);
  EXPECT_THROW(kly::allocate1D(-8), std::invalid_argument);
  // 2^31 x 2^31 x 2^31 doubles: far beyond any address space.
  EXPECT_THROW(kly::allocate3D(2147483647, 2147483647, 2147483647), std::bad_alloc);
}

}  // namespace
