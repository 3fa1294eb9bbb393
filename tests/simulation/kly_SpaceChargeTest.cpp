#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "klystron/core/kly_Errors.h"
#include "simulation/kly_SpaceCharge.h"

namespace {

constexpr double kC0 = 299792458.0;
constexpr double kEpsilon0 = 8.854187817e-12;
constexpr double kPi = 3.141592653589793;

// A 2.856 GHz tube: 6.2 mm beam in a 9.5 mm tube, or a 20 x 4 mm sheet beam in
// a 30 x 8 mm tube; 1e-10 C per disk at 0.55 c.
constexpr double kQ = 1e-10, kU = 0.55 * kC0;
constexpr double kAb = 0.0062, kB = 0.0095;
constexpr double kWb = 0.020, kHb = 0.004, kW = 0.030, kH = 0.008;

double zOf(int k, double zmax) { return k / 999.0 * zmax; }

// Field of ring J alone averaged over ring i at table distance k.
double ringField(const kly_SpaceCharge& sc, int k, int J, int i) {
  return sc.tableValue(k, J + 1, i) - sc.tableValue(k, J, i);
}

double simpson(int intervals, double a, double b, auto f) {
  const double h = (b - a) / intervals;
  double s = f(a) + f(b);
  for (int n = 1; n < intervals; ++n) s += (n % 2 ? 4 : 2) * f(a + n * h);
  return s * h / 3;
}

// Independent round-beam reference: the surface charge of the central disk
// of radius rho in a grounded tube of radius b is expanded in J0(p_n r / b);
// by Gauss's law each term's axial field just off the disk is half its
// surface charge over epsilon0, and it decays as exp(-p_n |z| / b). The
// projections and the ring average are Simpson integrals, the zeros of J0 come
// from Newton's method on std::cyl_bessel_j.
class RoundReference {
public:
  RoundReference(int rings, int j, int i, int terms) {
    const double rho = kAb * std::sqrt(double(j) / rings);
    const double h = kAb * std::sqrt(double(i) / rings), m = kAb * std::sqrt(double(i + 1) / rings);
    for (int n = 1; n <= terms; ++n) {
      double p = (n - 0.25) * kPi + 1 / (8 * (n - 0.25) * kPi);
      for (int it = 0; it < 8; ++it) p += std::cyl_bessel_j(0.0, p) / std::cyl_bessel_j(1.0, p);
      const double j1 = std::cyl_bessel_j(1.0, p);
      const auto mode = [&](double r) { return std::cyl_bessel_j(0.0, p * r / kB) * r; };
      const double charge = kQ / (kPi * kAb * kAb) * simpson(2000, 0.0, rho, mode) * 2 / (kB * kB * j1 * j1);
      zeros_.push_back(p);
      weights_.push_back(charge / (2 * kEpsilon0) * simpson(400, h, m, mode) * 2 / (m * m - h * h));
    }
  }
  double operator()(double z) const {
    double s = 0;
    for (std::size_t n = 0; n < zeros_.size(); ++n) s += weights_[n] * std::exp(-zeros_[n] * z / kB);
    return s;
  }

private:
  std::vector<double> zeros_, weights_;
};

// Independent sheet-beam reference, built the same way on the modes
// sin(k pi x / W) sin(l pi y / H) of the rectangular tube: the central slab of
// height j Hb / N over the beam width, averaged over both slabs of strip i.
double sheetReference(int strips, int j, int i, double z, int modes) {
  const auto sinIntegral = [](double a, double b, double w) { return (std::cos(w * a) - std::cos(w * b)) / w; };
  const double x1 = (kW - kWb) / 2, x2 = (kW + kWb) / 2;
  const double v = j * kHb / strips, S0 = (kH - v) / 2, S1 = (kH + v) / 2;
  const double slab = kHb / (2 * strips);
  const double U0 = kH / 2 + i * slab, U1 = U0 + slab, L0 = kH / 2 - i * slab, L1 = L0 - slab;
  const double density = (kQ * j / strips) / (kWb * v);
  double s = 0;
  for (int k = 1; k <= modes; ++k) {
    const double kx = k * kPi / kW, ix = sinIntegral(x1, x2, kx);
    for (int l = 1; l <= modes; ++l) {
      const double ly = l * kPi / kH;
      const double charge = 4 / (kW * kH) * density * ix * sinIntegral(S0, S1, ly);
      const double overStrip = ix * (sinIntegral(U0, U1, ly) + sinIntegral(L1, L0, ly)) / (kWb * 2 * slab);
      s += charge / (2 * kEpsilon0) * std::exp(-z * std::sqrt(kx * kx + ly * ly)) * overStrip;
    }
  }
  return s;
}

TEST(SpaceCharge, RoundTableIsTheFieldOfAChargedDiskInTheTube) {
  for (int N : {1, 10}) {
    kly_SpaceCharge sc;
    sc.buildRoundBeamTable(kQ, kU, kAb, kB, N);
    EXPECT_NEAR(sc.getZMax(), 4 * kB * std::sqrt(1 - 0.55 * 0.55), 1e-15 * kB);  // 4 b / sigma
    for (auto [j, i] : {std::pair{1, 0}, std::pair{10, 9}, std::pair{4, 7}}) {
      if (j > N || i >= N) continue;
      const RoundReference reference(N, j, i, 150);
      for (int k : {5, 10, 30, 100, 300, 999}) {
        const double z = zOf(k, sc.getZMax()), expected = reference(z);
        // J1 to about 1e-8 absolute and the zeros of J0 to ten digits make each
        // term good to about 1e-7. The table stops after 70 terms: those left out
        // are spaced pi apart in p from p_70 = 219.1 on, each weighs under 1% of
        // the field, and they decay as exp(-p |z| / b).
        const double tail = 0.01 * std::exp(-219.1 * z / kB) / (1 - std::exp(-kPi * z / kB));
        EXPECT_NEAR(sc.tableValue(k, j, i), expected, (1e-6 + tail) * expected) << N << " " << k << " " << j << i;
      }
    }
  }
}

TEST(SpaceCharge, RoundFarFieldDecaysWithTheFirstZeroOfJ0) {
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kQ, kU, kAb, kB, 4);
  // From about a tube radius on only the lowest mode is left: the next falls
  // faster by exp(-(5.520 - 2.405) z / b), below 1e-4 of it beyond z = 3 b.
  const double dz = zOf(999, sc.getZMax()) - zOf(900, sc.getZMax());
  for (int j = 1; j <= 4; ++j)
    for (int i = 0; i < 4; ++i)
      EXPECT_NEAR(std::log(sc.tableValue(999, j, i) / sc.tableValue(900, j, i)) / dz * kB, -2.404825558, 1e-3);
}

TEST(SpaceCharge, SheetTableConvergesToTheFieldOfAChargedSlabInTheTube) {
  const int N = 10;
  kly_SpaceCharge sc;
  sc.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, N);
  EXPECT_NEAR(sc.getZMax(), 3 * std::sqrt(1 - 0.55 * 0.55) / std::sqrt(1 / (kW * kW) + 1 / (kH * kH)), 1e-15 * kH);
  for (auto [j, i] : {std::pair{1, 0}, std::pair{10, 9}, std::pair{5, 2}})
    for (int k : {1, 5, 20, 50, 100, 200, 500, 999}) {
      const double z = zOf(k, sc.getZMax());
      // Far more modes than the table's 39 x 39 (next to the disk even 1500 leave about 1e-3).
      const double expected = sheetReference(N, j, i, z, k < 50 ? 1500 : 300);
      // The averaged partial sums over the width lack modes from 21 on (a centred
      // beam has odd ones only); they decay as exp(-21 pi z / W) and weigh less
      // than a tenth of the field.
      const double tolerance = (0.1 * std::exp(-20 * kPi * z / kW) + 1e-12) * expected;
      EXPECT_NEAR(sc.tableValue(k, j, i), expected, tolerance) << "k " << k << " j " << j << " i " << i;
    }
}

// The sheet-beam table as the model states it, each entry's double series
// summed term by term (width modes outside, height modes inside) and the
// decay of every mode evaluated where it is used: the build must give its
// bits, however it arranges the sums.
std::vector<double> sheetTableTermByTerm(double q, double u, double Wb, double Hb, double W, double H, int n) {
  constexpr int kModes = 39, kAveraged = 20, kModes2 = kModes * kModes;
  const double beta = u / kC0;
  const double zmax = 3 / (1 / std::sqrt(1 - beta * beta) * std::sqrt(1 / (W * W) + 1 / (H * H)));
  std::vector<double> coefficient(static_cast<std::size_t>(n) * n * kModes2);
  const double x1 = (W - Wb) / 2, x2 = (W + Wb) / 2;
  for (int i = 0; i < n; ++i) {
    const double U0 = (H + i * Hb / n) / 2, U1 = (H + (i + 1) * Hb / n) / 2;
    const double L1 = (H - (i + 1) * Hb / n) / 2, L0 = (H - i * Hb / n) / 2;
    for (int j = 1; j <= n; ++j) {
      const double v = j * Hb / n, S0 = (H - v) / 2, S1 = (H + v) / 2;
      double* c = &coefficient[(static_cast<std::size_t>(i) * n + (j - 1)) * kModes2];
      for (int k = 1; k <= kModes; ++k)
        for (int l = 1; l <= kModes; ++l) {
          const double source = std::cos(l * kPi * S1 / H) - std::cos(l * kPi * S0 / H);
          const double target = (std::cos(l * kPi * U1 / H) - std::cos(l * kPi * U0 / H)) +
                                (std::cos(l * kPi * L0 / H) - std::cos(l * kPi * L1 / H));
          const double width = std::cos(k * kPi * x2 / W) - std::cos(k * kPi * x1 / W);
          c[(k - 1) * kModes + (l - 1)] =
              H * W * source * target * (width * width) / (static_cast<double>(k * k) * (l * l) * (kPi * kPi));
        }
    }
  }
  std::vector<double> table(static_cast<std::size_t>(1000) * (n + 1) * n, 0.0);
  for (int kz = 1; kz < 1000; ++kz) {
    const double z = std::abs(zOf(kz, zmax));
    for (int i = 0; i < n; ++i) {
      const double U0 = (H + i * Hb / n) / 2, U1 = (H + (i + 1) * Hb / n) / 2;
      const double denominator = Hb * (Wb * Wb) * (kPi * kPi * kEpsilon0) * (U1 - U0);
      for (int j = 1; j <= n; ++j) {
        const double* c = &coefficient[(static_cast<std::size_t>(i) * n + (j - 1)) * kModes2];
        double partial = 0, partials = 0;
        for (int k = 1; k <= kModes; ++k) {
          for (int l = 1; l <= kModes; ++l) {
            const double kw = k / W, lh = l / H;
            partial += c[(k - 1) * kModes + (l - 1)] * std::exp(-kPi * z * std::sqrt(kw * kw + lh * lh));
          }
          if (k >= kModes - kAveraged + 1) partials += partial;
        }
        table[(static_cast<std::size_t>(kz) * (n + 1) + j) * n + i] = q * (1.0 / kAveraged * partials) / denominator;
      }
    }
  }
  return table;
}

TEST(SpaceCharge, SheetTableHasTheBitsOfItsSeriesSummedTermByTerm) {
  // This file's sheet beam, and the X-band example's 20 x 1.6 mm beam in a 24 x 3.2 mm tube at 0.4 c,
  // some of whose modes the beam does not excite at all (their two cosines come out equal).
  struct Case {
    double q, u, Wb, Hb, W, H;
  };
  for (const Case& t : {Case{kQ, kU, kWb, kHb, kW, kH}, Case{3e-12, 0.4 * kC0, 0.020, 0.0016, 0.024, 0.0032}}) {
    for (int n : {1, 3, 10}) {
      kly_SpaceCharge sc;
      sc.buildSheetBeamTable(t.q, t.u, t.Wb, t.Hb, t.W, t.H, n);
      const std::vector<double> expected = sheetTableTermByTerm(t.q, t.u, t.Wb, t.Hb, t.W, t.H, n);
      for (int k = 0; k < 1000; ++k)
        for (int j = 0; j <= n; ++j)
          for (int i = 0; i < n; ++i)
            ASSERT_EQ(std::bit_cast<std::uint64_t>(sc.tableValue(k, j, i)),
                      std::bit_cast<std::uint64_t>(expected[(static_cast<std::size_t>(k) * (n + 1) + j) * n + i]))
                << n << " strips, entry " << k << " " << j << " " << i;
    }
  }
}

TEST(SpaceCharge, FieldOfRingJOnRingIIsTheFieldOfRingIOnRingJ) {
  kly_SpaceCharge round, sheet;
  round.buildRoundBeamTable(kQ, kU, kAb, kB, 7);
  sheet.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, 6);
  for (const kly_SpaceCharge* sc : {&round, &sheet})
    for (int k : {1, 2, 50, 500, 999})
      for (int J = 0; J < sc->getRingCount(); ++J)
        for (int i = 0; i < J; ++i) {
          // Each entry is a rounded sum of up to 1521 terms, and the field of one
          // ring a difference of two entries.
          const double tolerance = 1e-13 * (sc->tableValue(k, J + 1, i) + sc->tableValue(k, i + 1, J));
          EXPECT_NEAR(ringField(*sc, k, J, i), ringField(*sc, k, i, J), tolerance) << k << " " << J << " " << i;
        }
}

TEST(SpaceCharge, LookupEndsAndInterpolation) {
  kly_SpaceCharge sc;
  sc.buildRoundBeamTable(kQ, kU, kAb, kB, 4);
  const double zmax = sc.getZMax();
  EXPECT_EQ(sc.getSpaceChargeField(0.0, 2, 1), 0.0);  // the table is 0 at no distance
  EXPECT_EQ(sc.getSpaceChargeField(-0.0, 2, 1), 0.0);
  // Just inside the range: between the last two points, nearly the last.
  const double last = ringField(sc, 999, 2, 1);
  EXPECT_NEAR(sc.getSpaceChargeField(-std::nextafter(zmax, 0.0), 2, 1), last, 1e-9 * last);
  // At the end of the range and beyond, and for no number: nothing.
  for (double x : {zmax, -zmax, 1.5 * zmax, 1e300, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()})
    EXPECT_EQ(sc.getSpaceChargeField(x, 2, 1), 0.0) << x;
  // Half-way between two points: their mean.
  const double mean = (ringField(sc, 500, 2, 1) + ringField(sc, 501, 2, 1)) / 2;
  EXPECT_NEAR(sc.getSpaceChargeField(-(zOf(500, zmax) + zOf(501, zmax)) / 2, 2, 1), mean, 1e-9 * mean);
}

TEST(SpaceCharge, FieldChangesSignAcrossTheDisk) {
  kly_SpaceCharge sc;
  sc.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, 5);
  for (int J = 0; J < 5; ++J) {
    for (int i = 0; i < 5; ++i)
      for (double d : {1e-6, 3.3e-4, 0.004, 0.9 * sc.getZMax()}) {
        // A ring ahead of the (positively counted) disk charge feels a negative
        // field, which pushes an electron forward; one behind it the opposite.
        const double ahead = sc.getSpaceChargeField(d, J, i);
        EXPECT_LT(ahead, 0.0) << J << " " << i << " " << d;
        EXPECT_EQ(sc.getSpaceChargeField(-d, J, i), -ahead) << J << " " << i << " " << d;
      }
  }
}

TEST(SpaceCharge, BuildsOnTwoThreadsAtOnceGiveTheTablesEachGetsAlone) {
  const int N = 10;
  const auto buildA = [](kly_SpaceCharge& sc) { sc.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, N); };
  const auto buildB = [](kly_SpaceCharge& sc) {
    sc.buildSheetBeamTable(2 * kQ, 0.4 * kC0, 0.012, 0.003, 0.02, 0.006, N);
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
      for (int i = 0; i < N; ++i)
        differences += (togetherA.tableValue(k, j, i) != aloneA.tableValue(k, j, i)) +
                       (togetherB.tableValue(k, j, i) != aloneB.tableValue(k, j, i));
  EXPECT_EQ(differences, 0);
  EXPECT_NE(aloneA.tableValue(500, N, 0), aloneB.tableValue(500, N, 0));
}

TEST(SpaceCharge, RebuildReplacesTheTable) {
  kly_SpaceCharge sc, fresh;
  sc.buildRoundBeamTable(kQ, kU, kAb, kB, 8);
  sc.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, 2);
  fresh.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, 2);
  EXPECT_EQ(sc.getRingCount(), 2);
  EXPECT_EQ(sc.getZMax(), fresh.getZMax());
  EXPECT_EQ(sc.tableValue(10, 2, 1), fresh.tableValue(10, 2, 1));
  EXPECT_THROW(sc.tableValue(0, 3, 0), std::out_of_range);
}

TEST(SpaceCharge, RejectsUnusableInputAndKeepsItsTable) {
  kly_SpaceCharge sc;
  EXPECT_THROW(sc.getSpaceChargeField(1e-3, 0, 0), kly_StateError);
  EXPECT_THROW(sc.tableValue(0, 0, 0), kly_StateError);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto round = [&](double q, double u, double ab, double b, int n) { sc.buildRoundBeamTable(q, u, ab, b, n); };
  const auto sheet = [&](double wb, double hb, double w, double h, int n) {
    sc.buildSheetBeamTable(kQ, kU, wb, hb, w, h, n);
  };
  for (int n : {0, -1, 21}) {
    EXPECT_THROW(round(kQ, kU, kAb, kB, n), std::invalid_argument) << n;
    EXPECT_THROW(sheet(kWb, kHb, kW, kH, n), std::invalid_argument) << n;
  }
  for (double u : {0.0, -1e8, kC0, 1.2 * kC0, nan}) EXPECT_THROW(round(kQ, u, kAb, kB, 4), std::invalid_argument) << u;
  EXPECT_THROW(round(nan, kU, kAb, kB, 4), std::invalid_argument);
  EXPECT_THROW(round(kQ, kU, 0.0, kB, 4), std::invalid_argument);
  EXPECT_THROW(round(kQ, kU, kAb, -kB, 4), std::invalid_argument);
  EXPECT_THROW(sheet(0.031, kHb, kW, kH, 4), std::invalid_argument);
  EXPECT_THROW(sheet(kWb, 0.009, kW, kH, 4), std::invalid_argument);
  EXPECT_THROW(sheet(kWb, kHb, kW, nan, 4), std::invalid_argument);
  EXPECT_FALSE(sc.isBuilt());
  try {
    round(kQ, kU, 0.0125, kB, 4);
    ADD_FAILURE() << "a beam wider than the tube was accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("beam radius 0.0125 m exceeds tube radius 0.0095 m"), std::string::npos);
  }

  round(kQ, kU, kAb, kB, 4);
  const double kept = sc.tableValue(20, 4, 3);
  EXPECT_THROW(round(kQ, kU, kAb, kB, 21), std::invalid_argument);
  EXPECT_EQ(sc.getRingCount(), 4);
  EXPECT_EQ(sc.tableValue(20, 4, 3), kept);

  for (int ring : {-1, 4}) {
    EXPECT_THROW(sc.getSpaceChargeField(1e-3, ring, 0), std::out_of_range);
    EXPECT_THROW(sc.getSpaceChargeField(1e-3, 0, ring), std::out_of_range);
  }
  EXPECT_THROW(sc.tableValue(1000, 0, 0), std::out_of_range);
  EXPECT_THROW(sc.tableValue(0, 5, 0), std::out_of_range);
  EXPECT_THROW(sc.tableValue(0, 0, 4), std::out_of_range);
}

// Disks of 1/32 of a 2.856 GHz period at 0.55 c: 1.8 mm thick, 2.2 mm in the
// contracted units of the lookups.
constexpr double kThickness = 0.0022;

// Largest |field| of ring J on ring i over the table.
double peakField(const kly_SpaceCharge& sc, int J, int i) {
  double peak = 0;
  for (int k = 1; k < kly_SpaceCharge::kTablePoints; ++k) peak = std::max(peak, std::abs(ringField(sc, k, J, i)));
  return peak;
}

TEST(SpaceCharge, FiniteNearFieldIsOddContinuousAndThinBeyondTwoThicknesses) {
  kly_SpaceCharge thinRound, round, thinSheet, sheet;
  thinRound.buildRoundBeamTable(kQ, kU, kAb, kB, 8);
  round.buildRoundBeamTable(kQ, kU, kAb, kB, 8);
  thinSheet.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, 4);
  sheet.buildSheetBeamTable(kQ, kU, kWb, kHb, kW, kH, 4);
  EXPECT_EQ(round.getNearFieldThickness(), 0.0);
  round.regulariseNearField(kThickness);
  sheet.regulariseNearField(kThickness);
  EXPECT_EQ(round.getNearFieldThickness(), kThickness);
  EXPECT_EQ(round.getZMax(), thinRound.getZMax());

  for (auto [finite, thin] : {std::pair{&round, &thinRound}, std::pair{&sheet, &thinSheet}}) {
    const int N = finite->getRingCount();
    const double h = finite->getZMax() / 999;
    for (int J = 0; J < N; ++J) {
      for (int i = 0; i < N; ++i) {
        const double peak = peakField(*thin, J, i);
        // Odd, and 0 at zero separation, approached continuously: a ring's
        // own field no longer jumps, and none rises faster than a field of the
        // pair's peak spread over a fraction of the disk thickness.
        EXPECT_EQ(finite->getSpaceChargeField(0.0, J, i), 0.0);
        for (double x : {1e-9, 0.5 * h, h, 0.3e-3, 1.1e-3, 3e-3, 7e-3}) {
          const double ahead = finite->getSpaceChargeField(x, J, i);
          ASSERT_EQ(finite->getSpaceChargeField(-x, J, i), -ahead) << J << " " << i << " " << x;
          ASSERT_LE(std::abs(ahead), 4 * peak * std::max(x, h) / kThickness) << J << " " << i << " " << x;
        }
        if (J == i) {
          EXPECT_GT(std::abs(thin->getSpaceChargeField(h, J, i)), 0.8 * peak);
        }
        // Beyond two thicknesses the thin field, but for the fourth-order
        // smoothing of the kernel: 2.5 % of the pair's peak where the field of
        // a thin ring falls off within a disk thickness (docs/near-field.md).
        for (int k = 1; k < 999; ++k) {
          const double x = k * h;
          if (x < 2 * kThickness) continue;
          ASSERT_NEAR(finite->getSpaceChargeField(x, J, i), thin->getSpaceChargeField(x, J, i), 0.025 * peak)
              << J << " " << i << " " << x;
        }
      }
    }
  }
}

TEST(SpaceCharge, FiniteNearFieldOfAnUndisturbedRingIsThatOfTheContinuousBeam) {
  // A ring of disks one thickness apart at any offset from the ring it acts on:
  // with the finite near field the sum is the field of a uniform beam, 0 by
  // symmetry, whatever the offset; with the thin field it jumps or rises
  // steeply as the offset passes 0, and two rings of one disk push each other apart.
  kly_SpaceCharge thin, finite;
  thin.buildRoundBeamTable(kQ, kU, kAb, kB, 4);
  finite.buildRoundBeamTable(kQ, kU, kAb, kB, 4);
  finite.regulariseNearField(kThickness);
  const auto lattice = [](const kly_SpaceCharge& sc, int J, int i, double offset) {
    double sum = 0;
    for (int n = -20; n <= 20; ++n) sum += sc.getSpaceChargeField(offset + n * kThickness, J, i);
    return sum;
  };
  // Neighbouring rings, a ring on itself, rings apart.
  for (auto [J, i] : {std::pair{0, 1}, std::pair{1, 2}, std::pair{3, 3}, std::pair{2, 0}}) {
    const double peak = peakField(thin, J, i);
    for (double offset : {0.02, 0.1, 0.25, 0.4}) {
      EXPECT_LT(std::abs(lattice(finite, J, i, offset * kThickness)), 2e-3 * peak) << J << " " << i << " " << offset;
      if (offset == 0.02 && std::abs(J - i) < 2) {
        EXPECT_GT(std::abs(lattice(thin, J, i, offset * kThickness)), 0.15 * peak) << J << " " << i;
      }
    }
  }
}

TEST(SpaceCharge, FiniteNearFieldRefusesWhatItCannotDo) {
  kly_SpaceCharge sc;
  EXPECT_THROW(sc.regulariseNearField(kThickness), kly_StateError);
  sc.buildRoundBeamTable(kQ, kU, kAb, kB, 3);
  const double thin = sc.tableValue(5, 2, 1);
  for (double bad :
       {0.0, -kThickness, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW(sc.regulariseNearField(bad), std::invalid_argument) << bad;
  EXPECT_EQ(sc.tableValue(5, 2, 1), thin);
  EXPECT_EQ(sc.getNearFieldThickness(), 0.0);
  sc.regulariseNearField(kThickness);
  const double finite = sc.tableValue(5, 2, 1);
  EXPECT_NE(finite, thin);
  EXPECT_THROW(sc.regulariseNearField(kThickness), kly_StateError);  // smoothing twice would widen it
  EXPECT_EQ(sc.tableValue(5, 2, 1), finite);
  sc.buildRoundBeamTable(kQ, kU, kAb, kB, 3);  // a build is thin again
  EXPECT_EQ(sc.getNearFieldThickness(), 0.0);
  EXPECT_EQ(sc.tableValue(5, 2, 1), thin);
}

}  // namespace
