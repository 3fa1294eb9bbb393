#include "numeric/kly_SpecialFunctions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using kly::besselI0;
using kly::besselI1;
using kly::besselJ0Series;
using kly::besselJ1;
using kly::besselK0;
using kly::besselK1;

// Arguments on both sides of every breakpoint (3.75 for I, 2 for K, 8 for J1).
const std::vector<double> kArguments = {1e-3, 0.1,      0.5, 1.0,      1.9,  1.999999, 2.0,  2.000001,
                                        2.5,  3.0,      3.7, 3.749999, 3.75, 3.750001, 4.0,  5.0,
                                        7.5,  7.999999, 8.0, 8.000001, 10.0, 15.0,     25.0, 60.0};

TEST(Factorial, SmallValues) {
  EXPECT_EQ(kly::factorial(1), 1);
  EXPECT_EQ(kly::factorial(2), 2);
  EXPECT_EQ(kly::factorial(5), 120);
  EXPECT_EQ(kly::factorial(9), 362880);
  EXPECT_EQ(kly::factorial(12), 479001600);
}

TEST(BesselJ0Series, MatchesJ0WhereTheSeriesConverges) {
  EXPECT_EQ(besselJ0Series(0.0), 1.0);
  // J0 from std::cyl_bessel_j; the first omitted term, (x/2)^20/(10!)^2, bounds the error.
  for (double x : {0.1, 0.5, 1.0, 2.0, 2.4048, 3.0, 4.0}) {
    const double bound = std::pow(x / 2, 20) / std::pow(3628800.0, 2) + 1e-15;
    EXPECT_NEAR(besselJ0Series(x), std::cyl_bessel_j(0.0, x), bound) << x;
    EXPECT_EQ(besselJ0Series(-x), besselJ0Series(x));
  }
  // The k = 9 term is formed in doubles: with 9! squared in 32 bits it would be wrong by orders of magnitude.
  const double x = 6.0;
  double expected = 1.0;
  double f = 1.0;
  for (int k = 1; k <= 9; ++k) {
    f *= k;
    expected += std::pow(-1.0, k) * std::pow(x / 2, 2 * k) / (f * f);
  }
  EXPECT_NEAR(besselJ0Series(x), expected, 1e-12);
}

TEST(BesselJ1, MatchesReferenceWithinPublishedBound) {
  EXPECT_EQ(besselJ1(0.0), 0.0);
  for (double x : kArguments) {
    // The rational and asymptotic forms are good to about 1e-8 absolute.
    EXPECT_NEAR(besselJ1(x), std::cyl_bessel_j(1.0, x), 2e-8) << x;
    EXPECT_EQ(besselJ1(-x), -besselJ1(x)) << x;
  }
  // Tabulated values (Abramowitz & Stegun table 9.1).
  EXPECT_NEAR(besselJ1(1.0), 0.4400505857, 1e-8);
  EXPECT_NEAR(besselJ1(5.0), -0.3275791376, 1e-8);
  EXPECT_NEAR(besselJ1(10.0), 0.0434727462, 1e-8);
}

TEST(BesselJ1, EightTakesTheAsymptoticForm) {
  const double ax = 8.0;
  const double z = 1.0, y = 1.0;
  const double p1 = 1.0 + y * (0.183105e-2 + y * (-0.3516396496e-4 + y * (0.2457520174e-5 + y * (-0.240337019e-6))));
  const double q1 =
      0.04687499995 + y * (-0.2002690873e-3 + y * (0.8449199096e-5 + y * (-0.88228987e-6 + y * 0.105787412e-6)));
  const double phase = ax - 2.356194491;
  EXPECT_EQ(besselJ1(8.0), std::sqrt(0.636619772 / ax) * (std::cos(phase) * p1 - z * std::sin(phase) * q1));
}

TEST(BesselI, MatchesReferenceWithinPublishedBound) {
  for (double x : kArguments) {
    // A&S 9.8.1-9.8.4: below 3.75 the error is 1.6e-7 on I0 (>= 1) and 8e-9 on I1/x; above, 1.9e-7
    // and 2.2e-7 on sqrt(x) exp(-x) I(x), which is about 0.4, so 5.5e-7 relative. The shortened t^3
    // coefficient adds less than 3e-8.
    const double bound = x < 3.75 ? 2e-7 : 6e-7;
    EXPECT_NEAR(besselI0(x) / std::cyl_bessel_i(0.0, x), 1.0, bound) << x;
    EXPECT_NEAR(besselI1(x) / std::cyl_bessel_i(1.0, x), 1.0, bound) << x;
    EXPECT_EQ(besselI0(-x), besselI0(x)) << x;
    EXPECT_EQ(besselI1(-x), -besselI1(x)) << x;
  }
  EXPECT_EQ(besselI0(0.0), 1.0);
  EXPECT_EQ(besselI1(0.0), 0.0);
  EXPECT_NEAR(besselI0(1.0), 1.266065878, 3e-7);  // A&S table 9.8
  EXPECT_NEAR(besselI1(1.0), 0.565159104, 3e-7);
}

TEST(BesselI, BreakpointTakesTheLargeArgumentForm) {
  const double y = 1.0;  // 3.75 / 3.75
  const double poly0 =
      0.39894228 +
      y * (0.1328592e-1 +
           y * (0.225319e-2 +
                y * (-0.157565e-2 +
                     y * (0.916281e-2 +
                          y * (-0.2057706e-1 + y * (0.2635537e-1 + y * (-0.1647633e-1 + y * 0.392377e-2)))))));
  EXPECT_EQ(besselI0(3.75), std::exp(3.75) / std::sqrt(3.75) * poly0);
  // The small-argument form uses 1.206749 for the t^3 coefficient.
  const double t = 0.25;
  const double x = 3.75 * std::sqrt(t);
  const double small =
      1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.206749 + t * (0.2659732 + t * (0.360768e-1 + t * 0.45813e-2)))));
  EXPECT_EQ(besselI0(x), small);
  EXPECT_EQ(besselI1(-5.0), -besselI1(5.0));
}

TEST(BesselK, MatchesReferenceWithinPublishedBound) {
  for (double x : kArguments) {
    // A&S 9.8.5-9.8.8: 1e-8 absolute below 2 (K1 as x K1) plus |ln(x/2)| times the error of the
    // I0 or I1 form they call; above 2, 1.9e-7 and 2.2e-7 on sqrt(x) exp(x) K(x), which is above 1.2.
    if (x < 2.0) {
      const double inherited = std::fabs(std::log(x / 2)) * 1.6e-7;
      EXPECT_NEAR(besselK0(x), std::cyl_bessel_k(0.0, x), 1e-8 + inherited) << x;
      EXPECT_NEAR(x * besselK1(x), x * std::cyl_bessel_k(1.0, x), 1e-8 + x * inherited) << x;
    } else {
      EXPECT_NEAR(besselK0(x) / std::cyl_bessel_k(0.0, x), 1.0, 2e-7) << x;
      EXPECT_NEAR(besselK1(x) / std::cyl_bessel_k(1.0, x), 1.0, 2e-7) << x;
    }
  }
  EXPECT_NEAR(besselK0(1.0), 0.4210244382, 2e-8);  // A&S table 9.8
  EXPECT_NEAR(besselK1(1.0), 0.6019072302, 2e-8);
}

TEST(BesselK, TwoTakesTheLargeArgumentForm) {
  const double y = 1.0;
  const double p0 =
      1.25331414 +
      y * (-0.7832358e-1 +
           y * (0.2189568e-1 + y * (-0.1062446e-1 + y * (0.587872e-2 + y * (-0.251540e-2 + y * 0.53208e-3)))));
  const double p1 =
      1.25331414 +
      y * (0.23498619 +
           y * (-0.3655620e-1 + y * (0.1504268e-1 + y * (-0.780353e-2 + y * (0.325614e-2 + y * (-0.68245e-3))))));
  EXPECT_EQ(besselK0(2.0), std::exp(-2.0) / std::sqrt(2.0) * p0);
  EXPECT_EQ(besselK1(2.0), std::exp(-2.0) / std::sqrt(2.0) * p1);
}

TEST(BesselK, NonPositiveArgumentsGiveIeeeResults) {
  EXPECT_TRUE(std::isinf(besselK0(0.0)));
  EXPECT_TRUE(std::isnan(besselK0(-1.0)));
  EXPECT_FALSE(std::isfinite(besselK1(0.0)));
}

TEST(BesselJ0Zeros, TableEntries) {
  EXPECT_EQ(kly::besselJ0Zeros.size(), 100u);
  EXPECT_EQ(kly::besselJ0Zeros[0], 2.404825558);
  EXPECT_EQ(kly::besselJ0Zeros[44], 140.5870644);
  EXPECT_EQ(kly::besselJ0Zeros[99], 313.3742226);
  for (std::size_t i = 0; i < kly::besselJ0Zeros.size(); ++i) {
    // The first 44 entries are zeros of J0 to their ten digits; from entry 44 on the table's values
    // lie up to about 1e-4 from the true zeros and are kept as they are. Spacing tends to pi.
    const double z = kly::besselJ0Zeros[i];
    EXPECT_NEAR(std::cyl_bessel_j(0.0, z), 0.0, i < 44 ? 1e-8 : 1e-5) << i;
    if (i > 0) {
      EXPECT_GT(z - kly::besselJ0Zeros[i - 1], 3.11) << i;
      EXPECT_LT(z - kly::besselJ0Zeros[i - 1], 3.143) << i;
    }
  }
}

}  // namespace
