#include "model/kly_CavityAverageParameterValues.h"

#include <gtest/gtest.h>

#include <cmath>

// Reference values: tests/model/reference_values.py (mpmath, exact Bessel
// functions). The round form uses the J1 approximation (absolute error about
// 1e-8) and the I0, I1 polynomials (relative error below 1e-7); the
// equivalent radius is the last of 20 bisection midpoints, within b / 2^20 of
// the root.
namespace {

constexpr double kVdRound = 104434.35741092835;  // depressed voltage of the 110 kV, 90 A round beam [V]
constexpr double kVdSheet = 58970.539548186479;  // of the 60 kV, 30 A sheet beam [V]

}  // namespace

TEST(CavityAverageParameterValues, RoundBeamAverages) {
  kly_CavityAverageParameterValues avg;
  avg.averageRound(0.8, 100, kVdRound, 2.856e9, 0.0095, 0.0062);
  EXPECT_NEAR(avg.getFieldFactor(), 0.98288267553911775, 2e-8);
  EXPECT_NEAR(avg.getAveragedRQ(), 100 * 0.98288267553911775 * 0.98288267553911775, 4e-6);
  EXPECT_NEAR(avg.getAveragedCoupling(), 0.84563266098702072, 1e-7);
  EXPECT_NEAR(avg.getEquivalentRadius(), 0.0043809070574075558, 0.0062 / (1 << 20) + 1e-9);
}

TEST(CavityAverageParameterValues, SheetBeamAverages) {
  kly_CavityAverageParameterValues avg;
  avg.averageSheet(0.8, 100, kVdSheet, 9.4e9, 0.004, 0.0015);
  EXPECT_NEAR(avg.getFieldFactor(), 0.9963652778049112, 1e-15);
  EXPECT_NEAR(avg.getAveragedCoupling(), 0.81501088238480244, 1e-15);
  EXPECT_NEAR(avg.getEquivalentRadius(), 0.00043290761274448746, 1e-15);
  // cos(k0 * r_eq) = F in closed form.
  const double k0 = 9.4e9 * 6.283185307179586 / 299792458.0;
  EXPECT_NEAR(std::cos(k0 * avg.getEquivalentRadius()), avg.getFieldFactor(), 1e-15);
}

TEST(CavityAverageParameterValues, CouplingRatioIsIndependentOfMAndTubeSize) {
  kly_CavityAverageParameterValues a;
  kly_CavityAverageParameterValues b;
  a.averageRound(0.8, 100, kVdRound, 2.856e9, 0.0095, 0.0062);
  b.averageRound(0.4, 50, kVdRound, 2.856e9, 0.05, 0.0062);
  EXPECT_NEAR(a.getAveragedCoupling() / 0.8, b.getAveragedCoupling() / 0.4, 1e-15);
  EXPECT_EQ(a.getEquivalentRadius(), b.getEquivalentRadius());
  EXPECT_EQ(a.getFieldFactor(), b.getFieldFactor());
  a.averageSheet(0.8, 100, kVdSheet, 9.4e9, 0.004, 0.0015);
  b.averageSheet(0.4, 100, kVdSheet, 9.4e9, 0.4, 0.0015);
  EXPECT_NEAR(a.getAveragedCoupling() / 0.8, b.getAveragedCoupling() / 0.4, 1e-15);
  EXPECT_EQ(a.getEquivalentRadius(), b.getEquivalentRadius());
}

TEST(CavityAverageParameterValues, ThinBeamSeesTheAxisValues) {
  // k0 b = 6e-5: the averages differ from the axis values by (k0 b)^2 / 8.
  kly_CavityAverageParameterValues avg;
  avg.averageRound(0.8, 100, kVdRound, 2.856e9, 0.0095, 1e-6);
  EXPECT_NEAR(avg.getFieldFactor(), 1.0, 1e-8);
  EXPECT_NEAR(avg.getAveragedRQ(), 100.0, 1e-6);
}
