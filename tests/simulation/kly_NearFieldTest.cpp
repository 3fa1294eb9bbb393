// The smoothing kernels of the finite near field and the convolution of a
// tabulated field column with them, against brute-force integrals.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "simulation/kly_NearField.h"

namespace {

using kly_nearField::Kernel;

// Composite Simpson rule with n (even) intervals.
template <class F>
double simpson(F f, double a, double b, int n) {
  const double h = (b - a) / n;
  double s = f(a) + f(b);
  for (int i = 1; i < n; ++i) s += (i % 2 ? 4 : 2) * f(a + i * h);
  return s * h / 3;
}

// A column like a ring's own field: a jump at the disk and two decays, on a
// grid of n points; and its value at any separation, odd and linear between
// grid points, 0 from the last point on.
std::vector<double> sampleColumn(int n, double h) {
  std::vector<double> t(static_cast<std::size_t>(n));
  for (int k = 1; k < n; ++k) t[k] = 3 * std::exp(-k * h / 0.004) + std::exp(-k * h / 0.0008);
  return t;
}

double columnAt(const std::vector<double>& t, double h, double x) {
  const double a = std::abs(x) / h;
  if (a >= static_cast<double>(t.size() - 1)) return 0.0;
  const auto b = static_cast<std::size_t>(a);
  const double v = t[b] + (a - static_cast<double>(b)) * (t[b + 1] - t[b]);
  return x < 0 ? -v : v;
}

TEST(NearFieldKernel, SpreadsEachDiskOverItsNeighboursWithoutGainOrLoss) {
  const double D = 0.0022;
  for (Kernel kind : {Kernel::cubic, Kernel::slab}) {
    const double reach = kind == Kernel::cubic ? 2 * D : D;
    const auto w = [&](double s) { return kly_nearField::kernel(kind, s, D); };
    // Translates by the disk spacing add up to one disk everywhere: an undisturbed
    // lattice of disks acts as the continuous beam.
    for (double offset : {0.0, 0.1, 0.25, 0.5, 0.73, 0.999}) {
      double sum = 0;
      for (int n = -3; n <= 3; ++n) sum += D * w((offset + n) * D);
      EXPECT_NEAR(sum, 1.0, 1e-14) << static_cast<int>(kind) << " at " << offset;
    }
    EXPECT_EQ(w(reach), 0.0);
    EXPECT_EQ(w(-1.01 * reach), 0.0);
    EXPECT_EQ(w(0.3 * D), w(-0.3 * D));
    // Unit area; the second moment (piecewise polynomials: Simpson on each span is exact).
    double area = 0, second = 0;
    for (double a = -reach; a < reach - 1e-12; a += D) {
      area += simpson(w, a, a + D, 2);
      second += simpson([&](double s) { return s * s * w(s); }, a, a + D, 4);
    }
    EXPECT_NEAR(area, 1.0, 1e-13);
    // The cubic kernel reproduces quadratics; two slabs add D^2 / 6 to the spread.
    EXPECT_NEAR(second / (D * D), kind == Kernel::cubic ? 0.0 : 1.0 / 6, 1e-13);
  }
}

TEST(NearFieldKernel, ConvolutionIsExactForTheTabulatedField) {
  const int n = 1000;
  const double h = 0.0316 / 999;
  const std::vector<double> t = sampleColumn(n, h);
  // Disk thicknesses between grid points, below one interval and many intervals.
  for (double D : {70.3 * h, 0.6 * h, 7.0 * h, 300.5 * h}) {
    for (Kernel kind : {Kernel::cubic, Kernel::slab}) {
      const std::vector<double> f = kly_nearField::regularise(t, h, D, kind);
      ASSERT_EQ(f.size(), t.size());
      EXPECT_EQ(f[0], 0.0);
      const double reach = kind == Kernel::cubic ? 2 * D : D;
      for (int k : {1, 2, 5, 40, 69, 70, 71, 140, 141, 500, 900}) {
        const double x = k * h;
        const auto integrand = [&](double s) { return kly_nearField::kernel(kind, s, D) * columnAt(t, h, x - s); };
        // Fine Simpson between the knots of the kernel: the kinks of the column
        // every h are resolved by many points each.
        double expected = 0;
        const double spans[] = {-reach, -D, 0.0, D, reach};
        for (int q = 0; q + 1 < 5; ++q)
          if (spans[q] < spans[q + 1]) expected += simpson(integrand, spans[q], spans[q + 1], 20000);
        EXPECT_NEAR(f[k], expected, 2e-7 * t[1])
            << "thickness " << D / h << " h, kind " << static_cast<int>(kind) << ", k " << k;
      }
    }
  }
}

TEST(NearFieldKernel, LinearFieldIsKeptAndTheJumpIsSmoothedAcrossTheDisk) {
  const int n = 1000;
  const double h = 1e-5, D = 40.5 * h;
  // A field rising linearly through the disk is its own convolution (unit area,
  // no first moment) wherever the kernel stays inside the table.
  std::vector<double> linear(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) linear[k] = 2.5 * k * h;
  const std::vector<double> kept = kly_nearField::regularise(linear, h, D);
  for (int k = 1; k < n - 82; ++k) ASSERT_NEAR(kept[k], linear[k], 1e-12 * linear[n - 1]) << k;

  // A jump of 1 at the disk becomes a rise across it, 0 at zero separation,
  // to the full value from two thicknesses on.
  std::vector<double> step(static_cast<std::size_t>(n), 1.0);
  step[0] = 0;
  const std::vector<double> smooth = kly_nearField::regularise(step, h, D);
  EXPECT_NEAR(smooth[1], 2 * h / D, 0.05 * 2 * h / D);                    // slope 2 w(0) at the disk
  for (int k = 1; k < 40; ++k) EXPECT_GT(smooth[k + 1], smooth[k]) << k;  // rising over the first thickness
  for (int k = 82; k < n - 82; ++k) ASSERT_NEAR(smooth[k], 1.0, 1e-12) << k;
}

}  // namespace

namespace {

// The convolution formed point by point, each point's terms in the order of
// the hats, from the weights the convolution found: what
// kly_nearField::Convolution::apply must give to the last bit.
std::vector<double> pointByPoint(const kly_nearField::Convolution& c, const std::vector<double>& thin) {
  const int n = static_cast<int>(thin.size()), last = n - 1, J = c.reach();
  std::vector<double> out(thin.size(), 0.0);
  for (int k = 1; k < n; ++k) {
    double sum = 0;
    for (int j = -J; j <= J; ++j) {
      const int m = k - j;
      if (m < -last || m > last || m == 0) continue;
      if (m == last)
        sum += c.half(j) * thin[last];
      else if (m == -last)
        sum -= c.half(-j) * thin[last];
      else
        sum += c.weight(j) * (m < 0 ? -thin[-m] : thin[m]);
    }
    out[k] = sum;
  }
  return out;
}

TEST(NearFieldKernel, ConvolutionOfManyColumnsGivesTheBitsOfThePointByPointSums) {
  const double h = 0.0316 / 999;
  std::vector<std::vector<double>> columns = {
      sampleColumn(1000, h), sampleColumn(1000, h), {0.0, 5.0}, {0.0, -1.0, 2.5}};
  // Signs that cancel and a field that ends in a jump.
  for (std::size_t k = 1; k < 1000; ++k) columns[1][k] = (k % 3 == 0 ? -1.0 : 1.0) * columns[1][k] + 1e-3;
  // Thicknesses below an interval, across many, and wider than the whole column
  // (the hats then reach its mirror image's end).
  for (double D : {0.6 * h, 7.0 * h, 70.3 * h, 300.5 * h, 700.0 * h}) {
    for (Kernel kind : {Kernel::cubic, Kernel::slab}) {
      for (const std::vector<double>& t : columns) {
        const kly_nearField::Convolution c(t.size(), h, D, kind);
        const std::vector<double> f = c.apply(t), expected = pointByPoint(c, t);
        ASSERT_EQ(f.size(), t.size());
        for (std::size_t k = 0; k < t.size(); ++k)
          ASSERT_EQ(std::bit_cast<std::uint64_t>(f[k]), std::bit_cast<std::uint64_t>(expected[k]))
              << "thickness " << D / h << " h, kind " << static_cast<int>(kind) << ", " << t.size() << " points, k "
              << k;
        EXPECT_EQ(kly_nearField::regularise(t, h, D, kind), f);
      }
    }
  }
  const kly_nearField::Convolution c(1000, h, 7.0 * h);
  EXPECT_THROW(c.apply(columns[2]), std::invalid_argument);
}

}  // namespace
