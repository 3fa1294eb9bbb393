// The fast space-charge sums against the plain ones, bit for bit, on the
// trajectories of a bunched multi-ring run with sources that carry no field,
// sources at the edge of the table's range and targets without sources.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "kly_TestTubes.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include "simulation/kly_SpaceCharge.h"
#include "simulation/kly_SpaceChargeSum.h"

namespace {

constexpr double kC0 = 299792458.0;
constexpr int kLanes = kly_SpaceChargeSum::kLanes;
using Vectors = kly_SpaceChargeSum::Vectors;

// Positions and velocities [disk][ring][step] in row-pointer form.
struct Trajectories {
  int disks, rings, steps, periodSteps;
  std::vector<double> z, v;
  std::vector<double*> zRows, vRows;
  std::vector<double* const*> zDisks;
  std::vector<double* const*> vDisks;

  Trajectories(int nd, int nr, int nt, int ns)
      : disks(nd), rings(nr), steps(nt), periodSteps(ns), z(std::size_t(nd) * nr * nt), v(z.size()) {
    for (int d = 0; d < nd; ++d)
      for (int r = 0; r < nr; ++r) {
        zRows.push_back(&z[(std::size_t(d) * nr + r) * nt]);
        vRows.push_back(&v[(std::size_t(d) * nr + r) * nt]);
      }
    for (int d = 0; d < nd; ++d) {
      zDisks.push_back(&zRows[std::size_t(d) * nr]);
      vDisks.push_back(&vRows[std::size_t(d) * nr]);
    }
  }
  double& position(int d, int r, int s) { return zRows[std::size_t(d) * rings + r][s]; }
  double& velocity(int d, int r, int s) { return vRows[std::size_t(d) * rings + r][s]; }
  kly_PassTrajectories view() const { return {zDisks.data(), vDisks.data(), disks, rings, periodSteps}; }
};

// The last pass of a bunched run of the four-cavity S-band tube with space charge.
Trajectories bunchedRun(kly_Klystron& k, int disks, int rings, int steps) {
  kly_test::sBandTube(k);
  kly_DiskSimulation s;
  s.simulate(k, disks, rings, steps, 3, {nullptr, 1});
  Trajectories t(disks, rings, s.getSimulatedMaxTimeStep(), steps);
  for (int d = 0; d < disks; ++d)
    for (int r = 0; r < rings; ++r)
      for (int n = 0; n < t.steps; ++n) {
        t.position(d, r, n) = s.getSimulatedDiskPosition(d, r, n);
        t.velocity(d, r, n) = s.getSimulatedDiskVelocity(d, r, n);
      }
  return t;
}

void setSources(kly_SpaceChargeSum& sum, const Trajectories& t, int s) {
  for (int d = 0; d < t.disks; ++d) {
    if (s >= t.periodSteps)
      sum.setSources(kly_SpaceChargeSum::kTrailing, d, t.view(), s - t.periodSteps);
    else
      sum.clearSources(kly_SpaceChargeSum::kTrailing, d);
    sum.setSources(kly_SpaceChargeSum::kSame, d, t.view(), s);
    sum.setSources(kly_SpaceChargeSum::kLeading, d, t.view(), s + t.periodSteps);
  }
}

std::vector<Vectors> everyWidth() {
  std::vector<Vectors> widths;
  for (Vectors v : {Vectors::portable, Vectors::avx2, Vectors::avx2Fma})
    if (kly_SpaceChargeSum::isSupported(v)) widths.push_back(v);
  return widths;
}

// Compares the fast sums on every ring of every disk at step s, targets at
// zAt(d, r) moving at vAt(d, r), with the plain sums; returns the number of
// targets whose field is not 0.
template <class Z, class V>
int expectPlainSums(kly_SpaceCharge& table, const Trajectories& t, int s, Z zAt, V vAt, const std::string& what) {
  int nonzero = 0, mismatches = 0;
  for (Vectors width : everyWidth()) {
    kly_SpaceChargeSum sum;
    sum.prepare(table, t.disks, width);
    setSources(sum, t, s);
    for (int r = 0; r < t.rings; ++r) {
      for (int first = 0; first < t.disks; first += kLanes) {
        double z[kLanes], c[kLanes], field[kLanes];
        unsigned lanes = 0;
        for (int l = 0; l < kLanes; ++l) {
          z[l] = std::numeric_limits<double>::quiet_NaN();
          c[l] = 1;
          const int d = first + l;
          if (d >= t.disks) continue;
          z[l] = zAt(d, r);
          const double beta = vAt(d, r) / kC0;
          c[l] = std::sqrt(1 - beta * beta);
          lanes |= 1u << l;
        }
        sum.sum(first, r, z, c, lanes, field);
        for (int l = 0; l < kLanes && first + l < t.disks; ++l) {
          const int d = first + l;
          const double plain = kly_SpaceChargeSum::plainField(table, t.view(), d, r, s, z[l], vAt(d, r));
          if (std::bit_cast<std::uint64_t>(field[l]) != std::bit_cast<std::uint64_t>(plain) && ++mismatches <= 5)
            ADD_FAILURE() << what << ": width " << int(width) << ", step " << s << ", disk " << d << ", ring " << r
                          << ": " << field[l] << " against " << plain;
          if (plain != 0) ++nonzero;
        }
      }
    }
  }
  return nonzero;
}

TEST(SpaceChargeSum, EveryWidthGivesThePlainSumsOfABunchedRun) {
  // 13 disks: the last group of lanes is mostly unused.
  for (int rings : {2, 5}) {
    kly_Klystron k;
    Trajectories t = bunchedRun(k, 13, rings, 16);
    const double u0 = k.getBeam().getBeamVelocity();
    const double q = 90 / (2.856e9 * 13);
    kly_SpaceCharge round, sheet;
    round.buildRoundBeamTable(q, u0, 0.0062, 0.0095, rings);
    sheet.buildSheetBeamTable(q, u0, 0.020, 0.004, 0.030, 0.008, rings);

    // Sources that carry no field: stopped, turned back, or not a number at all.
    const int nt = t.steps;
    for (int s = 0; s < nt; ++s) {
      t.velocity(2, 1, s) = 0;
      t.velocity(5, 0, s) = -1e6;
      t.velocity(7, rings - 1, s) = std::numeric_limits<double>::quiet_NaN();
      t.position(9, 1, s) = std::numeric_limits<double>::quiet_NaN();
    }
    // Targets a little off the recorded positions (the current pass differs
    // from the one recorded), moving a little off the recorded velocities.
    for (int s : {0, 15, 16, 40, nt / 2, nt - 17}) {
      const auto zAt = [&](int d, int r) { return t.position(d, r, s) + 1e-4 * std::sin(d + 3.0 * r); };
      const auto vAt = [&](int d, int r) { return t.velocity(d, r, s) * (1 + 1e-3 * std::cos(d - r)) + 1.0; };
      EXPECT_GT(expectPlainSums(round, t, s, zAt, vAt, "round"), 10) << rings << " rings, step " << s;
      EXPECT_GT(expectPlainSums(sheet, t, s, zAt, vAt, "sheet"), 10) << rings << " rings, step " << s;
    }
    // Targets exactly on the sources (x = 0 for the other rings of a disk at
    // launch), and targets at or beyond the speed of light.
    const int s = nt / 2;
    EXPECT_GT(
        expectPlainSums(
            round, t, s, [&](int d, int r) { return t.position(d, r, s); },
            [&](int d, int r) { return d == 4   ? kC0
                                       : d == 6 ? 2 * kC0
                                                : t.velocity(d, r, s); }, "on the sources"),
        0);
    EXPECT_GT(expectPlainSums(
                  round, t, 0, [&](int d, int r) { return t.position(d, r, 0); },
                  [&](int d, int r) { return t.velocity(d, r, 0); }, "at launch"),
              0);
  }
}

TEST(SpaceChargeSum, SourcesAtTheEdgeOfTheTableAreSummedAndThoseBeyondAreNot) {
  // One disk of one ring per period and a target a separation from it that
  // lands in the last interval of the table or just past it: the fast sum must
  // not pass over the first and must add nothing for the second.
  const double u0 = 0.55 * kC0;
  kly_SpaceCharge table;
  table.buildRoundBeamTable(1e-10, u0, 0.0062, 0.0095, 1);
  const double zmax = table.getZMax();
  const double beta = 0.5;
  const double c = std::sqrt(1 - beta * beta);
  const double z = 0.25;
  const auto a = [&](double zs) { return std::abs((z - zs) / c) / zmax * 999; };
  // The source positions farthest from z behind and ahead of it that the
  // lookup still places inside the table, and the next ones out.
  for (const double away : {-1.0, 1.0}) {
    double inside = z + away * zmax * c;
    while (!(a(inside) < 999)) inside = std::nextafter(inside, z);
    while (a(std::nextafter(inside, away * 1.0)) < 999) inside = std::nextafter(inside, away * 1.0);
    const double beyond = std::nextafter(inside, away * 1.0);
    ASSERT_GE(a(beyond), 999);
    for (const double zs : {inside, beyond}) {
      Trajectories t(1, 1, 3, 1);
      for (int n = 0; n < 3; ++n) {
        t.position(0, 0, n) = zs;
        t.velocity(0, 0, n) = u0;
      }
      const int nonzero = expectPlainSums(
          table, t, 1, [&](int, int) { return z; }, [&](int, int) { return beta * kC0; }, "edge");
      EXPECT_EQ(nonzero > 0, zs == inside) << zs;
    }
  }
}

TEST(SpaceChargeSum, LanesNotAskedForLeaveTheOthersAlone) {
  kly_Klystron k;
  Trajectories t = bunchedRun(k, 8, 2, 12);
  kly_SpaceCharge table;
  table.buildRoundBeamTable(90 / (2.856e9 * 8), k.getBeam().getBeamVelocity(), 0.0062, 0.0095, 2);
  const int s = t.steps / 2;
  for (Vectors width : everyWidth()) {
    kly_SpaceChargeSum sum;
    sum.prepare(table, 8, width);
    EXPECT_EQ(sum.getVectors(), width);
    setSources(sum, t, s);
    double z[kLanes], c[kLanes], all[kLanes], some[kLanes];
    for (int l = 0; l < kLanes; ++l) {
      z[l] = t.position(4 + l, 1, s) + 2e-4;
      c[l] = 0.8;
    }
    sum.sum(4, 1, z, c, 0xf, all);
    sum.sum(4, 1, z, c, 0x5, some);  // lanes 0 and 2
    for (int l : {0, 2}) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(all[l]), std::bit_cast<std::uint64_t>(some[l])) << l;
      EXPECT_NE(all[l], 0.0);
    }
  }
}

TEST(SpaceChargeSum, PrepareRefusesWhatItCannotSum) {
  kly_SpaceCharge table;
  kly_SpaceChargeSum sum;
  EXPECT_THROW(sum.prepare(table, 4), kly_StateError);
  table.buildRoundBeamTable(1e-10, 0.5 * kC0, 0.0062, 0.0095, 2);
  EXPECT_THROW(sum.prepare(table, 0), std::invalid_argument);
  sum.prepare(table, 4);
  EXPECT_EQ(sum.getRingCount(), 2);
  EXPECT_EQ(sum.getDiskCount(), 4);
  EXPECT_NE(sum.getVectors(), Vectors::automatic);
  EXPECT_TRUE(kly_SpaceChargeSum::isSupported(Vectors::portable));
}

}  // namespace

#if defined(KLY_SPACE_CHARGE_AVX2)
// The quotients of the FMA kernel are the divisions' to the last bit over the
// ranges in which it forms them (docs/division-free-lookup.md): divisors from
// 2^-100 to 1 (contraction factors) and from 2^-100 to 2^100 (table ranges),
// dividends of either sign from 2^-653 to 2^900; among them the cases where
// the quotient's significand lies just below or above a whole number of
// units, where the product with a once-rounded reciprocal is not faithful.
TEST(SpaceChargeSum, QuotientsWithoutDivisionAreTheDivisions) {
  if (!kly_SpaceChargeSum::isSupported(Vectors::avx2Fma)) GTEST_SKIP() << "no AVX2 with FMA";
  std::uint64_t state = 0x9e3779b97f4a7c15u;
  const auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  // A number with a random significand and an exponent from lo to hi.
  const auto random = [&](int lo, int hi) {
    const double significand = 1.0 + static_cast<double>(next() >> 11) * 0x1p-53;
    return std::ldexp(significand, lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1)));
  };
  std::vector<double> n, d;
  const auto add = [&](double a, double b) {
    n.push_back(a);
    d.push_back(b);
  };
  for (int k = 0; k < 200000; ++k) {
    const double divisor = k % 2 ? std::min(1.0, random(-100, 0)) : random(-100, 99);
    const double dividend = random(-653, 899) * (k % 3 ? 1 : -1);
    add(dividend, divisor);
    // Quotients near the numbers of the format and halfway between them:
    // n = d (q + t ulp(q)) rounded, for q a number of the format.
    const double q = random(-200, 200);
    const double t = static_cast<double>(static_cast<int>(next() % 9) - 4) * 0.25;
    add(divisor * (q + t * std::ldexp(1.0, std::ilogb(q) - 52)), divisor);
  }
  for (double b : {1.0, 0.5, std::nextafter(1.0, 0.0), std::nextafter(0.5, 1.0), 0x1p-100, 0x1p100, 0.8660254037844386})
    for (double a : {1.0, 3.0, std::nextafter(2.0, 0.0), 0x1p-653, -0x1p-653, 0x1p900, 0.1, -0.7}) add(a, b);
  std::vector<double> q(n.size());
  kly_spaceChargeQuotientsFma(n.data(), d.data(), q.data(), n.size());
  int wrong = 0;
  for (std::size_t k = 0; k < n.size(); ++k) {
    const double expected = n[k] / d[k];
    if (std::bit_cast<std::uint64_t>(q[k]) != std::bit_cast<std::uint64_t>(expected) && ++wrong <= 5)
      ADD_FAILURE() << std::hexfloat << n[k] << " / " << d[k] << ": " << q[k] << " against " << expected;
  }
  EXPECT_EQ(wrong, 0);

  // Beyond the ranges only what the lookup needs: 0 stays 0, and what is not
  // finite stays out of the table.
  const double special[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  for (double a : special)
    for (double b : {1.0, 0.75, 0x1p-100}) {
      double r = 0;
      kly_spaceChargeQuotientsFma(&a, &b, &r, 1);
      if (a == 0)
        EXPECT_EQ(r, 0.0) << a << " / " << b;
      else
        EXPECT_FALSE(std::abs(r) < 0x1p900) << a << " / " << b << " gives " << r;
    }
}

// Where the conditions of the FMA kernel do not hold, it divides: targets and
// sources within 2^-600 m of 0, and a table whose range is beyond 2^100 m.
TEST(SpaceChargeSum, SumsOutsideTheRangesOfTheReciprocalsAreThePlainOnes) {
  if (!kly_SpaceChargeSum::isSupported(Vectors::avx2Fma)) GTEST_SKIP() << "no AVX2 with FMA";
  const double u0 = 0.55 * kC0;
  for (const double scale : {0x1p-1000, 0x1p-640, 0x1p120}) {
    kly_SpaceCharge table;
    const double radius = scale > 1 ? 0.0095 * scale : 0.0095;
    table.buildRoundBeamTable(1e-10, u0, 0.65 * radius, radius, 2);
    const double zmax = table.getZMax();
    // Sources and targets spread over the table's range, or, for the tiny
    // scales, at separations of scale times a few.
    const double spacing = scale > 1 ? zmax / 7 : scale * 3.3;
    Trajectories t(8, 2, 3, 1);
    for (int d = 0; d < 8; ++d)
      for (int r = 0; r < 2; ++r)
        for (int n = 0; n < 3; ++n) {
          t.position(d, r, n) = (d - 3.5 + 0.25 * r + 0.1 * n) * spacing;
          t.velocity(d, r, n) = u0;
        }
    const int nonzero = expectPlainSums(
        table, t, 1, [&](int d, int r) { return t.position(d, r, 1) + 0.3 * spacing; },
        [&](int, int) { return 0.5 * kC0; }, "scale " + std::to_string(std::ilogb(scale)));
    EXPECT_GT(nonzero, 0) << std::ilogb(scale);
  }
}
#endif
