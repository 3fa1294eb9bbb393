#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "model/kly_Errors.h"
#include "numeric/kly_SpecialFunctions.h"
#include "simulation/kly_SpaceCharge.h"

namespace {

constexpr double kC0 = 299792458.0;
constexpr double kEpsilon0 = 8.854187817e-12;
constexpr double kPi = 3.141592653589793;

// A 2.856 GHz tube: 6.2 mm beam in a 9.5 mm tube, or a 20 x 4 mm sheet beam in
// a 30 x 8 mm tube; 1e-10 C per disk at 0.55 c.
constexpr double kCharge = 1e-10;
constexpr double kVelocity = 0.55 * kC0;
constexpr double kBeamRadius = 0.0062;
constexpr double kTubeRadius = 0.0095;
constexpr double kBeamWidth = 0.020, kBeamHeight = 0.004, kTubeWidth = 0.030, kTubeHeight = 0.008;

double sigma(double u) { return 1 / std::sqrt(1 - (u / kC0) * (u / kC0)); }

double zOf(int k, double zmax) { return k / 999.0 * zmax; }

// Field of ring J alone averaged over ring i at table distance k.
double ringField(const kly_SpaceCharge& sc, int k, int J, int i) {
  return sc.tableValue(k, J + 1, i) - sc.tableValue(k, J, i);
}

// The field of one ring is the difference of two entries, each the rounded
// sum of up to 1521 terms: its rounding is a few 1e-16 of the entries times
// the number of terms.
double symmetryTolerance(const kly_SpaceCharge& sc, int k, int J, int i) {
  return 1e-13 * (std::abs(sc.tableValue(k, J + 1, i)) + std::abs(sc.tableValue(k, J, i)) +
                  std::abs(sc.tableValue(k, i + 1, J)) + std::abs(sc.tableValue(k, i, J)));
}

double simpson(int intervals, double a, double b, auto f) {
  const double h = (b - a) / intervals;
  double s = f(a) + f(b);
  for (int n = 1; n < intervals; ++n) s += (n % 2 ? 4 : 2) * f(a + n * h);
  return s * h / 3;
}

// Independent round-beam reference: the charge of a uniformly charged disk of
// radius rho in a grounded tube of radius b is expanded in J0(p_n r / b); by
// Gauss's law each term's axial field just off the disk is half its surface
// charge over epsilon0 and decays as exp(-p_n |z| / b). The projections and
// the average over the ring are done by Simpson quadrature, the zeros of J0
// by Newton's method on std::cyl_bessel_j.
class RoundReference {
 public:
  RoundReference(double q, double ab, double b, int rings, int j, int i, int terms) : b_(b) {
    const double rho = ab * std::sqrt(static_cast<double>(j) / rings);
    const double h = ab * std::sqrt(static_cast<double>(i) / rings);
    const double m = ab * std::sqrt(static_cast<double>(i + 1) / rings);
    const double surfaceCharge = q / (kPi * ab * ab);  // the same on every central disk
    for (int n = 1; n <= terms; ++n) {
      double p = (n - 0.25) * kPi + 1 / (8 * (n - 0.25) * kPi);
      for (int it = 0; it < 8; ++it) p += std::cyl_bessel_j(0.0, p) / std::cyl_bessel_j(1.0, p);
      const double j1 = std::cyl_bessel_j(1.0, p);
      const auto mode = [&](double r) { return std::cyl_bessel_j(0.0, p * r / b) * r; };
      const double projection = surfaceCharge * simpson(2000, 0.0, rho, mode) * 2 / (b * b * j1 * j1);
      const double ringAverage = simpson(400, h, m, mode) * 2 / (m * m - h * h);
      zeros_.push_back(p);
      weights_.push_back(projection / (2 * kEpsilon0) * ringAverage);
    }
  }
  double operator()(double z) const {
    double s = 0;
    for (std::size_t n = 0; n < zeros_.size(); ++n) s += weights_[n] * std::exp(-zeros_[n] * z / b_);
    return s;
  }

 private:
  double b_;
  std::vector<double> zeros_, weights_;
};

// Independent sheet-beam reference: the same construction with the modes
// sin(k pi x / W) sin(l pi y / H) of the rectangular tube, for the central slab
// of height j Hb / N over the beam width, averaged over both slabs of strip i.
double sheetReference(double q, double Wb, double Hb, double W, double H, int strips, int j, int i, double z,
                      int modes) {
  const auto sinIntegral = [](double a, double b, double wave) {
    return (std::cos(wave * a) - std::cos(wave * b)) / wave;
  };
  const double x1 = (W - Wb) / 2, x2 = (W + Wb) / 2;
  const double v = j * Hb / strips, S0 = (H - v) / 2, S1 = (H + v) / 2;
  const double slab = Hb / (2 * strips);
  const double U0 = H / 2 + i * slab, U1 = U0 + slab, L0 = H / 2 - i * slab, L1 = L0 - slab;
  const double density = (q * j / strips) / (Wb * v);
  double s = 0;
  for (int k = 1; k <= modes; ++k) {
    const double kx = k * kPi / W;
    const double ix = sinIntegral(x1, x2, kx);
    for (int l = 1; l <= modes; ++l) {
      const double ly = l * kPi / H;
      const double chargeMode = 4 / (W * H) * density * ix * sinIntegral(S0, S1, ly);
      const double overStrip = ix * (sinIntegral(U0, U1, ly) + sinIntegral(L1, L0, ly)) / (Wb * 2 * slab);
      s += chargeMode / (2 * kEpsilon0) * std::exp(-z * std::sqrt(kx * kx + ly * ly)) * overStrip;
    }
  }
  return s;
}

TEST(SpaceChargeRound, TableIsTheFieldOfAChargedDiskInTheTube) {
  const int N = 10;
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kCharge, kVelocity, kBeamRadius, kTubeRadius, N);
  EXPECT_NEAR(sc.getZMax(), 4 * kTubeRadius / sigma(kVelocity), 1e-18);
  for (auto [j, i] : {std::pair{1, 0}, std::pair{10, 9}, std::pair{4, 7}}) {
    const RoundReference reference(kCharge, kBeamRadius, kTubeRadius, N, j, i, 150);
    for (int k : {5, 10, 30, 100, 300, 600, 999}) {
      const double z = zOf(k, sc.getZMax());
      // J1 to about 1e-8 absolute and zeros of J0 to ten digits make each term
      // good to about 1e-7. The table stops after 70 terms: those left out are
      // spaced pi apart in p from p_70 = 219.1 on, each weighs under 1% of the
      // field, and they decay as exp(-p |z| / b).
      const double expected = reference(z);
      const double tail = 0.01 * std::exp(-219.1 * z / kTubeRadius) / (1 - std::exp(-kPi * z / kTubeRadius));
      EXPECT_NEAR(sc.tableValue(k, j, i), expected, (1e-6 + tail) * std::abs(expected))
          << "k " << k << " j " << j << " i " << i;
    }
  }
}

TEST(SpaceChargeRound, FarFieldDecaysWithTheFirstZeroOfJ0) {
  const int N = 4;
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kCharge, kVelocity, kBeamRadius, kTubeRadius, N);
  // Beyond about one tube radius only the lowest mode is left: the next one
  // falls faster by exp(-(5.520 - 2.405) z / b), below 1e-4 of it at z = 3 b.
  const double z1 = zOf(900, sc.getZMax());
  const double z2 = zOf(999, sc.getZMax());
  for (int j = 1; j <= N; ++j)
    for (int i = 0; i < N; ++i) {
      const double slope = std::log(sc.tableValue(999, j, i) / sc.tableValue(900, j, i)) / (z2 - z1);
      EXPECT_NEAR(slope * kTubeRadius, -2.404825558, 1e-3) << j << " " << i;
    }
}

TEST(SpaceChargeRound, FieldOfRingJOnRingIIsTheFieldOfRingIOnRingJ) {
  const int N = 7;
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kCharge, kVelocity, kBeamRadius, kTubeRadius, N);
  for (int k : {1, 2, 50, 500, 999})
    for (int J = 0; J < N; ++J)
      for (int i = 0; i < J; ++i) {
        EXPECT_NEAR(ringField(sc, k, J, i), ringField(sc, k, i, J), symmetryTolerance(sc, k, J, i))
            << k << " " << J << " " << i;
      }
}

TEST(SpaceChargeSheet, TableConvergesToTheFieldOfAChargedSlabInTheTube) {
  const int N = 10;
  kly_SpaceCharge sc;
  sc.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, N);
  const double zmax = sc.getZMax();
  EXPECT_NEAR(zmax, 3 / (sigma(kVelocity) * std::sqrt(1 / (0.03 * 0.03) + 1 / (0.008 * 0.008))), 1e-18);
  for (auto [j, i] : {std::pair{1, 0}, std::pair{10, 9}, std::pair{5, 2}}) {
    for (int k : {1, 5, 20, 50, 100, 200, 500, 999}) {
      const double z = zOf(k, zmax);
      // Many more modes than the table's 39 x 39; next to the disk even 1500
      // leave about 1e-3.
      const double expected =
          sheetReference(kCharge, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, N, j, i, z, k < 50 ? 1500 : 300);
      // The averaged partial sums over the width lack modes from 21 on (a centred
      // beam has odd modes only), which decay as exp(-21 pi z / W) and weigh
      // less than a tenth of the field.
      const double tolerance = (0.1 * std::exp(-20 * kPi * z / kTubeWidth) + 1e-12) * std::abs(expected);
      EXPECT_NEAR(sc.tableValue(k, j, i), expected, tolerance) << "k " << k << " j " << j << " i " << i;
    }
  }
}

TEST(SpaceChargeSheet, FieldOfStripJOnStripIIsTheFieldOfStripIOnStripJ) {
  const int N = 6;
  kly_SpaceCharge sc;
  sc.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, N);
  for (int k : {1, 2, 50, 500, 999})
    for (int J = 0; J < N; ++J)
      for (int i = 0; i < J; ++i) {
        EXPECT_NEAR(ringField(sc, k, J, i), ringField(sc, k, i, J), symmetryTolerance(sc, k, J, i))
            << k << " " << J << " " << i;
      }
}

TEST(SpaceCharge, EntriesFollowTheSeriesInItsOwnOrder) {
  // The build evaluates each exponential once per distance and reuses it for
  // every ring pair; that must not change a bit against summing each entry
  // term by term.
  const int N = 3;
  kly_SpaceCharge round;
  round.buildRoundBeamTable(kCharge, kVelocity, kBeamRadius, kTubeRadius, N);
  {
    const int k = 417, j = 2, i = 1;
    const double ab = kBeamRadius, b = kTubeRadius;
    const double h = ab * std::sqrt(1.0 / 3), m = ab * std::sqrt(2.0 / 3), rho = ab * std::sqrt(2.0 / 3);
    const double z = std::abs(417.0 / 999 * round.getZMax());
    double s = 0;
    for (int n = 0; n < 70; ++n) {
      const double p = kly::besselJ0Zeros[n];
      const double c = kly::besselJ1(p * rho / b) * (m * kly::besselJ1(p * m / b) - h * kly::besselJ1(p * h / b)) /
                       ((kly::besselJ1(p) * p) * (kly::besselJ1(p) * p));
      s += c * std::exp(-p * z / b);
    }
    EXPECT_EQ(round.tableValue(k, j, i), 2 * kCharge * rho * s / (kPi * kEpsilon0 * (ab * ab) * (m * m - h * h)));
  }
  kly_SpaceCharge sheet;
  sheet.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, N);
  {
    const int kz = 3, j = 3, i = 2;
    const double Wb = kBeamWidth, Hb = kBeamHeight, W = kTubeWidth, H = kTubeHeight;
    const double U0 = (H + 2 * Hb / 3) / 2, U1 = (H + 3 * Hb / 3) / 2, L1 = (H - 3 * Hb / 3) / 2,
                 L0 = (H - 2 * Hb / 3) / 2, S0 = (H - 3 * Hb / 3) / 2, S1 = (H + 3 * Hb / 3) / 2;
    const double x1 = (W - Wb) / 2, x2 = (W + Wb) / 2;
    const double z = std::abs(3.0 / 999 * sheet.getZMax());
    double S = 0, sumS = 0;
    for (int k = 1; k <= 39; ++k) {
      for (int l = 1; l <= 39; ++l) {
        const double w = std::cos(k * kPi * x2 / W) - std::cos(k * kPi * x1 / W);
        const double c = H * W * (std::cos(l * kPi * S1 / H) - std::cos(l * kPi * S0 / H)) *
                         ((std::cos(l * kPi * U1 / H) - std::cos(l * kPi * U0 / H)) +
                          (std::cos(l * kPi * L0 / H) - std::cos(l * kPi * L1 / H))) *
                         (w * w) / (static_cast<double>(k * k) * (l * l) * (kPi * kPi));
        S += c * std::exp(-kPi * z * std::sqrt((k / W) * (k / W) + (l / H) * (l / H)));
      }
      if (k >= 20) sumS += S;
    }
    const double G = 1.0 / 20 * sumS;
    EXPECT_EQ(sheet.tableValue(kz, j, i), kCharge * G / (Hb * (Wb * Wb) * 8.738733104673498e-11 * (U1 - U0)));
  }
}

TEST(SpaceCharge, TableStartsAtZeroAndHoldsNothingForNoSource) {
  kly_SpaceCharge sc;
  sc.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, 3);
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < kly_SpaceCharge::kTablePoints; ++k) EXPECT_EQ(sc.tableValue(k, 0, i), 0.0);
    for (int j = 0; j <= 3; ++j) EXPECT_EQ(sc.tableValue(0, j, i), 0.0);
  }
  EXPECT_GT(sc.tableValue(1, 3, 0), 0.0);
}

TEST(SpaceChargeLookup, EndsOfTheTable) {
  const int N = 4;
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kCharge, kVelocity, kBeamRadius, kTubeRadius, N);
  const double zmax = sc.getZMax();
  sc.setFieldRing(2);
  EXPECT_EQ(sc.getSpaceChargeField(0.0, 1), 0.0);
  EXPECT_EQ(sc.getSpaceChargeField(-0.0, 1), 0.0);
  // Just inside the range: between the last two table points, nearly the last.
  const double below = std::nextafter(zmax, 0.0);
  const double last = ringField(sc, 999, 2, 1);
  const double inside = sc.getSpaceChargeField(below, 1);
  EXPECT_NE(inside, 0.0);
  EXPECT_NEAR(-inside, last, 1e-9 * std::abs(last));
  EXPECT_NEAR(sc.getSpaceChargeField(-below, 1), last, 1e-9 * std::abs(last));
  // At the end of the range and beyond, and for no distance at all: nothing.
  for (double x : {zmax, -zmax, 1.5 * zmax, 1e300, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()})
    EXPECT_EQ(sc.getSpaceChargeField(x, 1), 0.0) << x;
  // Half-way between two table points: the mean of the two.
  const double mid = (zOf(500, zmax) + zOf(501, zmax)) / 2;
  const double mean = (ringField(sc, 500, 2, 1) + ringField(sc, 501, 2, 1)) / 2;
  EXPECT_NEAR(-sc.getSpaceChargeField(mid, 1), mean, 1e-9 * std::abs(mean));
}

TEST(SpaceChargeLookup, FieldChangesSignAcrossTheDisk) {
  kly_SpaceCharge sc;
  sc.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, 5);
  for (int J = 0; J < 5; ++J) {
    sc.setFieldRing(J);
    for (int i = 0; i < 5; ++i)
      for (double d : {1e-6, 3.3e-4, 0.004, 0.9 * sc.getZMax()}) {
        const double ahead = sc.getSpaceChargeField(d, i);
        // A ring ahead of the disk's (positive-counted) charge feels a negative
        // field, which pushes an electron forward; one behind it the opposite.
        EXPECT_LT(ahead, 0.0) << J << " " << i << " " << d;
        EXPECT_EQ(sc.getSpaceChargeField(-d, i), -ahead) << J << " " << i << " " << d;
      }
  }
}

TEST(SpaceChargeLookup, OneRingGivesTheFieldOfTheWholeDisk) {
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kCharge, kVelocity, kBeamRadius, kTubeRadius, 1);
  sc.setFieldRing(0);
  const double x = -zOf(250, sc.getZMax());
  const RoundReference reference(kCharge, kBeamRadius, kTubeRadius, 1, 1, 0, 150);
  EXPECT_NEAR(sc.getSpaceChargeField(x, 0), reference(-x), 1e-6 * reference(-x));
}

TEST(SpaceCharge, BuildsOnTwoThreadsAtOnceGiveTheTablesEachGetsAlone) {
  const int N = 10;
  const auto buildA = [](kly_SpaceCharge& sc) {
    sc.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, N);
  };
  const auto buildB = [](kly_SpaceCharge& sc) {
    sc.buildSheetBeamTable(2 * kCharge, 0.4 * kC0, 0.012, 0.003, 0.020, 0.006, N);
  };
  kly_SpaceCharge aloneA, aloneB, togetherA, togetherB;
  buildA(aloneA);
  buildB(aloneB);
  std::thread a([&] { buildA(togetherA); });
  std::thread b([&] { buildB(togetherB); });
  a.join();
  b.join();
  EXPECT_EQ(togetherA.getZMax(), aloneA.getZMax());
  EXPECT_EQ(togetherB.getZMax(), aloneB.getZMax());
  int differences = 0;
  for (int k = 0; k < kly_SpaceCharge::kTablePoints; ++k)
    for (int j = 0; j <= N; ++j)
      for (int i = 0; i < N; ++i) {
        differences += togetherA.tableValue(k, j, i) != aloneA.tableValue(k, j, i);
        differences += togetherB.tableValue(k, j, i) != aloneB.tableValue(k, j, i);
      }
  EXPECT_EQ(differences, 0);
  EXPECT_NE(aloneA.tableValue(500, N, 0), aloneB.tableValue(500, N, 0));
}

TEST(SpaceCharge, RebuildWithFewerRingsReplacesTheTable) {
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kCharge, kVelocity, kBeamRadius, kTubeRadius, 8);
  sc.setFieldRing(7);
  sc.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, 2);
  EXPECT_EQ(sc.getRingCount(), 2);
  EXPECT_EQ(sc.getFieldRing(), 0);
  EXPECT_THROW(sc.tableValue(0, 3, 0), std::out_of_range);
  kly_SpaceCharge fresh;
  fresh.buildSheetBeamTable(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, 2);
  EXPECT_EQ(sc.tableValue(10, 2, 1), fresh.tableValue(10, 2, 1));
  EXPECT_EQ(sc.getZMax(), fresh.getZMax());
}

TEST(SpaceCharge, RejectsUnusableInputAndKeepsItsTable) {
  kly_SpaceCharge sc;
  EXPECT_FALSE(sc.isBuilt());
  EXPECT_THROW(sc.setFieldRing(0), kly_StateError);
  EXPECT_THROW(sc.getSpaceChargeField(1e-3, 0), kly_StateError);
  EXPECT_THROW(sc.tableValue(0, 0, 0), kly_StateError);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto round = [&](double q, double u, double ab, double b, int n) { sc.buildRoundBeamTable(q, u, ab, b, n); };
  const auto sheet = [&](double q, double u, double wb, double hb, double w, double h, int n) {
    sc.buildSheetBeamTable(q, u, wb, hb, w, h, n);
  };
  for (int n : {0, -1, 21}) {
    EXPECT_THROW(round(kCharge, kVelocity, kBeamRadius, kTubeRadius, n), std::invalid_argument) << n;
    EXPECT_THROW(sheet(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, kTubeHeight, n), std::invalid_argument)
        << n;
  }
  for (double u : {0.0, -1e8, kC0, 1.2 * kC0, nan})
    EXPECT_THROW(round(kCharge, u, kBeamRadius, kTubeRadius, 4), std::invalid_argument) << u;
  EXPECT_THROW(round(nan, kVelocity, kBeamRadius, kTubeRadius, 4), std::invalid_argument);
  EXPECT_THROW(round(kCharge, kVelocity, 0.0, kTubeRadius, 4), std::invalid_argument);
  EXPECT_THROW(round(kCharge, kVelocity, kBeamRadius, -kTubeRadius, 4), std::invalid_argument);
  EXPECT_THROW(round(kCharge, kVelocity, 0.01, 0.0095, 4), std::invalid_argument);
  EXPECT_THROW(sheet(kCharge, kVelocity, 0.031, kBeamHeight, kTubeWidth, kTubeHeight, 4), std::invalid_argument);
  EXPECT_THROW(sheet(kCharge, kVelocity, kBeamWidth, 0.009, kTubeWidth, kTubeHeight, 4), std::invalid_argument);
  EXPECT_THROW(sheet(kCharge, kVelocity, kBeamWidth, kBeamHeight, kTubeWidth, nan, 4), std::invalid_argument);
  EXPECT_FALSE(sc.isBuilt());
  try {
    round(kCharge, kVelocity, 0.0125, kTubeRadius, 4);
    ADD_FAILURE() << "a beam wider than the tube was accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("beam radius 0.0125 m exceeds tube radius 0.0095 m"), std::string::npos)
        << e.what();
  }

  // A build that fails leaves the last good table in place.
  round(kCharge, kVelocity, kBeamRadius, kTubeRadius, 4);
  const double kept = sc.tableValue(20, 4, 3);
  EXPECT_THROW(round(kCharge, kVelocity, kBeamRadius, kTubeRadius, 21), std::invalid_argument);
  EXPECT_EQ(sc.getRingCount(), 4);
  EXPECT_EQ(sc.tableValue(20, 4, 3), kept);

  EXPECT_THROW(sc.setFieldRing(4), std::out_of_range);
  EXPECT_THROW(sc.setFieldRing(-1), std::out_of_range);
  EXPECT_THROW(sc.getSpaceChargeField(1e-3, 4), std::out_of_range);
  EXPECT_THROW(sc.getSpaceChargeField(1e-3, -1), std::out_of_range);
  EXPECT_THROW(sc.tableValue(1000, 0, 0), std::out_of_range);
  EXPECT_THROW(sc.tableValue(0, 5, 0), std::out_of_range);
  EXPECT_THROW(sc.tableValue(0, 0, 4), std::out_of_range);
  EXPECT_THROW(sc.tableValue(-1, 0, 0), std::out_of_range);
}

}  // namespace
