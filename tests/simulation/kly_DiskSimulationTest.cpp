#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <complex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kly_Bits.h"
#include "kly_Files.h"
#include "kly_TestTubes.h"
#include "klystron/analytic/kly_Analytic.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/simulation/kly_DiskSimulation.h"

namespace {

constexpr double kC0 = 299792458.0;

// The four-cavity S-band tube of the examples (110 kV, 90 A, 2.856 GHz): input,
// idler, a second-harmonic buncher and the output.
using kly_test::sBandTube;

std::string writeFile(const std::string& name, const std::string& content) {
  static const kly_test::ScratchDir dir("disk-simulation");
  return dir.write(name, content);
}

// A beam file of rows (beta, time in steps) at 2.856 GHz and `steps` steps per period.
std::string beamFile(const std::string& name, const std::vector<double>& beta, const std::vector<double>& time,
                     double start, int steps) {
  std::ostringstream s;
  s.precision(17);
  s << "Imported beam\nv0: 0.5 I0: 90 f: 2.856e9 V0: 110000 Pin: 60 dz: 0.001 a: 0.0095 b: 0.0062 h: 0 w: 0\n"
    << "disks: " << beta.size() << " rings: 1 steps: " << steps << " passes: 1\nStart position z = " << start
    << "\nDisk Beta Time\n";
  for (std::size_t d = 0; d < beta.size(); ++d) s << d << " " << beta[d] << " " << time[d] << "\n";
  return writeFile(name, s.str());
}

template <class F>
void expectInvalid(F&& f, const std::string& mention) {
  try {
    f();
    ADD_FAILURE() << "no exception; expected one mentioning " << mention;
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << e.what();
  }
}

using kly_test::fingerprint;

TEST(DiskSimulation, NewObjectHoldsNoRun) {
  const kly_DiskSimulation s;
  EXPECT_FALSE(s.hasResults());
  EXPECT_EQ(s.getSimulatedMinVOverC(), 1.0);
  EXPECT_EQ(s.getSimulatedGain(), 0.0);
  EXPECT_EQ(s.getSimulatedOutputPower(), 0.0);
  EXPECT_EQ(s.getDisks() + s.getRings() + s.getSteps() + s.getMaxIterations(), 0);
  EXPECT_FALSE(s.isDiskReflected() || s.isFieldOverlapping() || s.isBeamImported());
  EXPECT_EQ(s.getSimulatedI1I0(0.0), 0.0);
  EXPECT_EQ(s.getSimulatedCavityVoltage(19), 0.0);
  EXPECT_THROW(s.getSimulatedDiskPosition(0, 0, 0), kly_StateError);
  EXPECT_THROW(s.getSimulatedExitVelocity(0, 0), kly_StateError);
  EXPECT_THROW(s.getSimulatedCavityVoltage(20), std::out_of_range);
  EXPECT_THROW(s.getSimulatedCavityCurrentMagnitude(0, 5), std::out_of_range);
  EXPECT_THROW(s.getSimulatedCavityCurrentPhase(-1, 0), std::out_of_range);
}

TEST(DiskSimulation, RefusedRunsKeepThePreviousResults) {
  kly_Klystron k;
  sBandTube(k, 60);
  kly_DiskSimulation s;
  s.simulate(k, 8, 2, 16, 3);
  const kly_test::Fingerprint before = fingerprint(s);

  expectInvalid([&] { s.simulate(k, 0, 2, 16, 3); }, "disk count 0");
  expectInvalid([&] { s.simulate(k, 8, 0, 16, 3); }, "ring count 0");
  expectInvalid([&] { s.simulate(k, 8, 21, 16, 3); }, "ring count 21");
  expectInvalid([&] { s.simulate(k, 8, 2, -1, 3); }, "time step count -1");
  expectInvalid([&] { s.simulate(k, 8, 2, 16, 0); }, "iteration limit 0");
  expectInvalid([&] { s.simulate(k, 8, 2, 16, 3, {nullptr, -2}); }, "thread count -2");
  // A pass would need more time steps than an int counts, or more memory than the machine has.
  expectInvalid([&] { s.simulate(k, 8, 2, INT_MAX / 4, 3); }, "exceeds the largest count");
  expectInvalid([&] { s.simulate(k, 2000000, 20, 200000, 3); }, "physical memory");

  k.setCavityHarmonic(2, 0);
  expectInvalid([&] { s.simulate(k, 8, 2, 16, 3); }, "cavity 2 has harmonic 0");
  k.setCavityHarmonic(2, -5);
  expectInvalid([&] { s.simulate(k, 8, 2, 16, 3); }, "harmonic -5");
  k.setCavityHarmonic(2, 2);
  k.loadCavityField(3, kly_test::dataFile("gap-field-radial.txt"), 0, 2);
  expectInvalid([&] { s.simulate(k, 8, 3, 16, 3); }, "tabulated for 2 rings, fewer than the 3 rings");
  k.loadCavityField(3, "/nonexistent/gap.txt", 0, 3);  // the rebuild fails
  EXPECT_THROW(s.simulate(k, 8, 2, 16, 3), kly_FileError);

  kly_Klystron none;
  kly_test::sBandBeam(none);
  expectInvalid([&] { s.simulate(none, 8, 2, 16, 3); }, "no cavity");
  for (int c = 0; c < 21; ++c) none.addCavity(0.05 * c, 2.856e9, 0.8, 1, 0.01, 100, 2500, 100000);
  expectInvalid([&] { s.simulate(none, 8, 2, 16, 3); }, "21 cavities");

  kly_Klystron tube;
  sBandTube(tube, 60);
  s.importBeam(true, kly_test::dataFile("prebunched-beam.txt"), false, 0);
  expectInvalid([&] { s.simulate(tube, 33, 1, 40, 3); }, "32 rows, fewer than the 33 disks");
  const std::string missing = "/nonexistent/" + std::string(300, 'b') + ".txt";  // a name of any length
  s.importBeam(true, missing, false, 0);
  try {
    s.simulate(tube, 8, 1, 16, 3);
    ADD_FAILURE() << "an unreadable beam file was accepted";
  } catch (const kly_FileError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }

  EXPECT_EQ(fingerprint(s), before);
  EXPECT_EQ(s.getDisks(), 8);
  EXPECT_EQ(s.getRings(), 2);
  EXPECT_THROW(s.getSimulatedDiskPosition(8, 0, 0), std::out_of_range);
  EXPECT_THROW(s.getSimulatedDiskVelocity(0, 2, 0), std::out_of_range);
  EXPECT_THROW(s.getSimulatedDiskPosition(0, 0, s.getSimulatedMaxTimeStep()), std::out_of_range);
  EXPECT_THROW(s.getVelocityAtMinimumBeta(-1, 0), std::out_of_range);
}

TEST(DiskSimulation, UndrivenBeamDriftsAndStaysUnbunched) {
  kly_Klystron k;
  sBandTube(k, 0);
  kly_DiskSimulation s;
  // First pass only: no space charge, no gap voltage.
  s.simulate(k, 12, 2, 16, 1);
  const double u0 = k.getBeam().getBeamVelocity();
  const double step = u0 / (2.856e9 * 16);
  EXPECT_EQ(s.getStepAdvance(), step);
  for (int d = 0; d < 12; ++d)
    for (int r = 0; r < 2; ++r)
      for (int t = 0; t < s.getSimulatedMaxTimeStep(); ++t) {
        ASSERT_EQ(s.getSimulatedDiskVelocity(d, r, t), u0);
        // Central differences of a uniform motion, rounded: 1e-9 of a step is far above the rounding.
        if (t > 0) {
          ASSERT_NEAR(s.getSimulatedDiskPosition(d, r, t) - s.getSimulatedDiskPosition(d, r, t - 1), step, 1e-9 * step);
        }
      }
  for (int c = 0; c < 4; ++c) {
    // The unmodulated beam passing each gap: a direct current of I0 (the Gaussian shape
    // sampled every u0/(f Nd) sums to its integral), against the direction of the
    // electrons, and no RF current.
    EXPECT_NEAR(s.getSimulatedCavityCurrentMagnitude(c, 0), 90.0, 1e-3) << c;
    EXPECT_NEAR(std::fabs(s.getSimulatedCavityCurrentPhase(c, 0)), 3.141592653589793, 1e-12) << c;
    EXPECT_LT(s.getSimulatedCavityCurrentMagnitude(c, 1), 1e-9) << c;
    EXPECT_LT(s.getSimulatedCavityVoltage(c), 1e-6) << c;
  }
  EXPECT_LT(s.getSimulatedMaxI1I0(), 1e-9);

  // Later passes with space charge: every disk ring has as many sources one
  // period behind it as ahead, so the undriven train feels no net field. At
  // 10 kV the range of the space-charge field (4 b / sigma) exceeds a period,
  // so that the periods on both sides take part.
  k.setBeamVoltage(10000);
  k.setBeamCurrent(2);
  s.simulate(k, 12, 2, 16, 4);
  const double slow = k.getBeam().getBeamVelocity();
  ASSERT_GT(4 * 0.0095, k.getBeam().getRfWavelength());
  for (int d = 0; d < 12; ++d)
    for (int r = 0; r < 2; ++r)
      for (int t = 0; t < s.getSimulatedMaxTimeStep(); ++t)
        ASSERT_NEAR(s.getSimulatedDiskVelocity(d, r, t), slow, 1e-9 * slow);
  for (int c = 0; c < 4; ++c) EXPECT_LT(s.getSimulatedCavityVoltage(c), 1e-6) << c;
  EXPECT_LT(s.getSimulatedMaxI1I0(), 1e-9);
  EXPECT_FALSE(s.isDiskReflected());
}

TEST(DiskSimulation, OneCavityMakesEveryPass) {
  kly_TubeDescription inputOnly = kly_test::sBandDescription();
  inputOnly.cavities.resize(1);
  kly_Klystron k(inputOnly);
  kly_DiskSimulation s;
  std::vector<kly_PassReport> reports;
  s.simulate(k, 8, 1, 16, 5,
             {[&](const kly_PassReport& r) {
                reports.push_back(r);
                return true;
              },
              1});
  EXPECT_EQ(s.getSimulatedIterations(), 5);
  ASSERT_EQ(reports.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(reports[i].pass, i);
    EXPECT_EQ(reports[i].convergence, 1.0);  // the driven gap is never updated
    EXPECT_EQ(reports[i].outputVoltage, s.getSimulatedCavityVoltage(0));
  }
  const kly_Cavity& c = k.getCavity(0);
  const double lambda = k.getBeam().getRfWavelength();
  EXPECT_EQ(s.getZStart(), c.getFieldZMin() - 3 * lambda);
  EXPECT_EQ(s.getZEnd(), c.getFieldZMax() + 3 * lambda);
  EXPECT_EQ(s.getSimulatedMaxTimeStep() % 16, 0);
  EXPECT_FALSE(s.isFieldOverlapping());
  // The pass is long enough for every disk to leave the last gap's field.
  for (int d = 0; d < 8; ++d) EXPECT_GT(s.getSimulatedExitVelocity(d, 0), 0.0) << d;
}

TEST(DiskSimulation, FirstTwoPassesUseSubstitution) {
  // The buncher at harmonic -2 takes the second-harmonic current.
  kly_Klystron k;
  sBandTube(k, 60);
  k.setCavityHarmonic(2, -2);
  kly_Analytic analytic;
  analytic.calculateAnalytics(k);
  for (int passes : {1, 2, 3}) {
    kly_DiskSimulation s;
    s.simulate(k, 12, 2, 16, passes);
    ASSERT_EQ(s.getSimulatedIterations(), passes);
    // The drive voltage from the input power, as the small-signal model sets it.
    EXPECT_NEAR(s.getSimulatedCavityVoltage(0), analytic.getCavityVoltage(0), 1e-12 * analytic.getCavityVoltage(0));
    bool substituted = true;
    for (int c = 1; c < 4; ++c) {
      const int n = c == 2 ? 2 : 1;
      // F = -Z H from the last pass's current, below the limit of 3 Vd here.
      const std::complex<double> f =
          -k.getCavity(c).getCircuitImpedance() *
          std::polar(s.getSimulatedCavityCurrentMagnitude(c, n), s.getSimulatedCavityCurrentPhase(c, n));
      const std::complex<double> v = std::polar(s.getSimulatedCavityVoltage(c), s.getSimulatedCavityVoltagePhase(c));
      ASSERT_LT(std::abs(f), 3 * k.getBeam().getDepressedBeamVoltage());
      substituted = substituted && std::abs(v - f) <= 1e-12 * std::abs(f);
    }
    EXPECT_EQ(substituted, passes < 3) << passes << " passes";  // the third takes the secant step
  }
}

TEST(DiskSimulation, FieldsVanishInTheLastPeriod) {
  // A slow imported beam is still inside the tube in the last RF period of a pass.
  kly_Klystron k;
  sBandTube(k, 60);
  std::vector<double> beta(12, 0.16), time(12);
  for (int d = 0; d < 12; ++d) time[d] = 11 - d + 0.3 * std::sin(d);
  kly_DiskSimulation s;
  s.importBeam(true, beamFile("slow.txt", beta, time, -0.05, 12), false, 0);
  s.simulate(k, 12, 2, 12, 2);  // the second pass has gap voltages and space charge
  const int nt = s.getSimulatedMaxTimeStep();
  const double regionEnd = s.getZEnd() - 2 * k.getBeam().getRfWavelength();
  int insideAtTheEnd = 0, pushedBefore = 0;
  for (int d = 0; d < 12; ++d)
    for (int r = 0; r < 2; ++r) {
      // No field: the leapfrog carries each velocity over two steps unchanged
      // (a ring that had stopped keeps its velocity).
      for (int t = nt - 12 + 1; t < nt; ++t) {
        const int from = s.getSimulatedDiskVelocity(d, r, t - 1) > 0 ? t - 2 : t - 1;
        ASSERT_EQ(s.getSimulatedDiskVelocity(d, r, t), s.getSimulatedDiskVelocity(d, r, from)) << d << " " << t;
      }
      const double z = s.getSimulatedDiskPosition(d, r, nt - 12);
      if (z > -0.05 && z < regionEnd) ++insideAtTheEnd;
      if (s.getSimulatedDiskVelocity(d, r, nt - 12) != s.getSimulatedDiskVelocity(d, r, nt - 14)) ++pushedBefore;
    }
  EXPECT_GT(insideAtTheEnd, 0);
  EXPECT_GT(pushedBefore, 0);
}

TEST(DiskSimulation, ReflectedDiskFreezes) {
  // A 10 kV beam through a gap driven far beyond its voltage.
  kly_Klystron k(kly_test::turningBackDescription());
  kly_DiskSimulation s;
  s.simulate(k, 8, 1, 16, 1);
  ASSERT_TRUE(s.isDiskReflected());
  EXPECT_LT(s.getSimulatedMinVOverC(), 0.0);
  int frozen = 0;
  const int nt = s.getSimulatedMaxTimeStep();
  for (int d = 0; d < 8; ++d) {
    int t = 0;
    while (t < nt && s.getSimulatedDiskVelocity(d, 0, t) > 0) ++t;
    if (t == nt) continue;
    ++frozen;
    for (int u = t + 1; u < nt; ++u) {
      ASSERT_EQ(s.getSimulatedDiskPosition(d, 0, u), s.getSimulatedDiskPosition(d, 0, t));
      ASSERT_EQ(s.getSimulatedDiskVelocity(d, 0, u), s.getSimulatedDiskVelocity(d, 0, t));
    }
    // Stopped upstream of the output gap: its crossing was never written.
    EXPECT_EQ(s.getSimulatedExitVelocity(d, 0), 0.0);
  }
  EXPECT_GT(frozen, 0);
}

TEST(DiskSimulation, ImportedBeamIsInjectedAtTheFileOrTheGivenPosition) {
  kly_Klystron k;
  sBandTube(k, 60);
  const std::vector<double> beta = {0.55, 0.56, 0.57, 0.555}, time = {3.5, 2.0, 1.0, 0.0};
  const std::string file = beamFile("four.txt", beta, time, 0.125, 16);
  const double dt = 1 / (2.856e9 * 16);
  for (bool given : {false, true}) {
    kly_DiskSimulation s;
    s.importBeam(true, file, given, -0.25);
    s.simulate(k, 4, 2, 16, 1);
    const double start = given ? -0.25 : 0.125;
    for (int d = 0; d < 4; ++d) {
      const double v = beta[d] * kC0;
      const double z = -time[d] * v / (16 * 2.856e9) + start;  // behind the earliest arrival
      for (int r = 0; r < 2; ++r) {
        // Step 0 is recorded one time step after the launch.
        EXPECT_NEAR(s.getSimulatedDiskPosition(d, r, 0), z + v * dt, 1e-15) << d;
        EXPECT_EQ(s.getSimulatedDiskVelocity(d, r, 0), v);
      }
    }
    EXPECT_EQ(s.getSimulatedGb1(), 0.0);
    // Injected at -0.25 m all disks pass the input gap at 0: the whole beam
    // current I0; injected at 0.125 m none does.
    if (given)
      EXPECT_NEAR(s.getSimulatedCavityCurrentMagnitude(0, 0), 90.0, 1e-6);
    else
      EXPECT_LT(s.getSimulatedCavityCurrentMagnitude(0, 0), 1e-30);
  }
  // With an imported beam the input cavity, too, takes its voltage from the beam
  // (a heavily loaded one here, to stay below the limit of 3 Vd).
  k.setCavityQe(0, 30);
  kly_DiskSimulation bunched;
  bunched.importBeam(true, kly_test::dataFile("prebunched-beam.txt"), true, -0.2);
  bunched.simulate(k, 32, 1, 40, 1);
  const double expected =
      std::abs(k.getCavity(0).getCircuitImpedance()) * bunched.getSimulatedCavityCurrentMagnitude(0, 1);
  EXPECT_GT(expected, 1000.0);
  EXPECT_NEAR(bunched.getSimulatedCavityVoltage(0), expected, 1e-12 * expected);

  // Without the flag the given position is ignored.
  kly_DiskSimulation a, b;
  a.importBeam(true, file, false, 0.0);
  b.importBeam(true, file, false, 7.0);
  a.simulate(k, 4, 1, 16, 3);
  b.simulate(k, 4, 1, 16, 3);
  EXPECT_EQ(fingerprint(a), fingerprint(b));
}

TEST(DiskSimulation, MultipleOutputsAndEfficiencies) {
  kly_Klystron k;
  sBandTube(k, 60);
  k.setCavityQe(1, 800);  // a loaded idler: a second output
  kly_DiskSimulation s;
  s.simulate(k, 12, 2, 16, 4);
  EXPECT_NEAR(s.getSimulatedMultipleOutputTotalEfficiency(),
              s.getSimulatedMultipleOutputElectronicEfficiency() * s.getSimulatedMultipleOutputCircuitEfficiency(),
              1e-15 * std::fabs(s.getSimulatedMultipleOutputTotalEfficiency()));
  EXPECT_NEAR(s.getSimulatedTotalEfficiency(), s.getSimulatedElectronicEfficiency() * s.getSimulatedCircuitEfficiency(),
              1e-17);
  EXPECT_DOUBLE_EQ(s.getSimulatedCircuitEfficiency(), 2500.0 / 2525.0);
  EXPECT_NE(s.getSimulatedMultipleOutputPower(), s.getSimulatedOutputPower());

  // An unloaded last cavity still gives the single-output figures but is no output.
  k.setCavityQe(1, 100000);
  k.setCavityQe(3, 100000);
  s.simulate(k, 12, 2, 16, 4);
  EXPECT_DOUBLE_EQ(s.getSimulatedCircuitEfficiency(), 2500.0 / 102500.0);
  EXPECT_EQ(s.getSimulatedMultipleOutputPower(), 0.0);
  EXPECT_TRUE(std::isnan(s.getSimulatedMultipleOutputCircuitEfficiency()));
  EXPECT_EQ(s.getSimulatedMultipleOutputGain(), -INFINITY);
}

TEST(DiskSimulation, RunsAreBitIdentical) {
  kly_Klystron k;
  sBandTube(k, 60);
  kly_DiskSimulation a, b;
  a.simulate(k, 10, 3, 16, 5);
  const kly_test::Fingerprint first = fingerprint(a);
  b.simulate(k, 10, 3, 16, 5);
  a.simulate(k, 10, 3, 16, 5);
  EXPECT_EQ(first, fingerprint(a));
  EXPECT_EQ(first, fingerprint(b));
}

TEST(DiskSimulation, ObserverCanEndTheRun) {
  kly_Klystron k;
  sBandTube(k, 60);
  kly_DiskSimulation s;
  kly_SimulationOptions stopAfterThree;
  stopAfterThree.observer = [](const kly_PassReport& r) { return r.pass < 2; };
  s.simulate(k, 8, 1, 16, 10, stopAfterThree);
  EXPECT_EQ(s.getSimulatedIterations(), 3);

  // The same three passes without an observer.
  kly_DiskSimulation t;
  t.simulate(k, 8, 1, 16, 3);
  EXPECT_EQ(fingerprint(s), fingerprint(t));

  // An observer that throws ends the run, and the previous results stay.
  kly_SimulationOptions failing;
  failing.observer = [](const kly_PassReport&) -> bool { throw std::runtime_error("interrupted"); };
  EXPECT_THROW(s.simulate(k, 12, 2, 16, 10, failing), std::runtime_error);
  EXPECT_EQ(s.getDisks(), 8);
  EXPECT_EQ(s.getMaxIterations(), 10);
}

TEST(DiskSimulation, BunchingProfileAlongZ) {
  kly_Klystron k;
  sBandTube(k, 60);
  kly_DiskSimulation s;
  s.simulate(k, 12, 1, 16, 4);
  const double z0 = s.getBunchingGridStart(), z1 = s.getBunchingGridEnd();
  EXPECT_EQ(z0, s.getBunchingGridZ(0));
  EXPECT_EQ(z1, 0.48 + 5 * k.getBeam().getRfWavelength());
  EXPECT_NEAR(s.getBunchingGridZ(199), z1, 1e-15);
  EXPECT_EQ(s.getSimulatedI1I0(z0), s.getSimulatedI1I0Sample(0));
  EXPECT_EQ(s.getSimulatedI1I0(z1), s.getSimulatedI1I0Sample(199));
  EXPECT_EQ(s.getSimulatedI2I0(z1), s.getSimulatedI2I0Sample(199));
  EXPECT_EQ(s.getSimulatedI1I0(std::nextafter(z0, -1.0)), 0.0);
  EXPECT_EQ(s.getSimulatedI1I0Phase(std::nextafter(z1, 2.0)), 0.0);
  EXPECT_EQ(s.getSimulatedI1I0(NAN), 0.0);
  const double mid = 0.5 * (s.getBunchingGridZ(100) + s.getBunchingGridZ(101));
  EXPECT_NEAR(s.getSimulatedI1I0(mid), 0.5 * (s.getSimulatedI1I0Sample(100) + s.getSimulatedI1I0Sample(101)), 1e-12);
  // The beam bunches on its way: the fundamental grows to well above its start.
  EXPECT_GT(s.getSimulatedMaxI1I0(), 10 * s.getSimulatedI1I0Sample(0));
  EXPECT_GT(s.getSimulatedMaxI1I0ZLocation(), 0.12);
  for (int i = 0; i < 200; ++i) ASSERT_LE(s.getSimulatedI1I0Sample(i), 2.0);

  // The velocity recorded at a plane is the one a step after the first step at or beyond it.
  const kly_Cavity& output = k.getCavity(3);
  for (int d = 0; d < 12; ++d) {
    int a = 0, b = 0;
    while (s.getSimulatedDiskPosition(d, 0, a) < output.getFieldZMin()) ++a;
    while (s.getSimulatedDiskPosition(d, 0, b) < output.getFieldZMax()) ++b;
    EXPECT_EQ(s.getSimulatedEntryVelocity(d, 0), s.getSimulatedDiskVelocity(d, 0, a + 1)) << d;
    EXPECT_EQ(s.getSimulatedExitVelocity(d, 0), s.getSimulatedDiskVelocity(d, 0, b + 1)) << d;
  }
}

TEST(DiskSimulation, SheetBeamFieldFilesAndOverlappingFields) {
  kly_Klystron k;
  sBandTube(k, 60);
  k.loadCavityField(3, kly_test::dataFile("gap-field-radial.txt"), 0, 3);
  kly_DiskSimulation s;
  s.simulate(k, 8, 3, 16, 3);
  EXPECT_GT(s.getSimulatedCavityVoltage(3), 1000.0);
  EXPECT_TRUE(std::isfinite(s.getSimulatedOutputPower()));
  EXPECT_FALSE(s.isFieldOverlapping());

  kly_Klystron sheet;
  sheet.setOperatingParameters(110000, 90, 2.856e9, 60, 0.020, 0.004, 0.030, 0.008);
  sheet.addCavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  sheet.addCavity(0.03, 2.856e9, 0.82, 1, 0.010, 100, 2500, 25);  // its field begins before the first one's ends
  s.simulate(sheet, 8, 2, 16, 3);
  EXPECT_GT(s.getSimulatedCavityVoltage(1), 1000.0);
  EXPECT_TRUE(std::isfinite(s.getSimulatedOutputPower()));
  EXPECT_TRUE(s.isFieldOverlapping());
}

TEST(DiskSimulation, NearFieldIsTheSettingsAndTheJavaRunIsThin) {
  kly_Klystron k(kly_test::sBandDescription());
  kly_DiskSimulation java, thin, finite;
  java.simulate(k, 8, 2, 16, 3, {nullptr, 1});
  const auto tube = k.getBuiltTube();
  kly_SimulationSettings settings{8, 2, 16, 3, std::nullopt, kly_NearField::thin};
  thin.simulate(*tube, settings, {nullptr, 1});
  settings.nearField = kly_NearField::finite;
  finite.simulate(*tube, settings, {nullptr, 1});
  EXPECT_EQ(java.getNearField(), kly_NearField::thin);
  EXPECT_EQ(thin.getNearField(), kly_NearField::thin);
  EXPECT_EQ(finite.getNearField(), kly_NearField::finite);
  EXPECT_EQ(fingerprint(java), fingerprint(thin));
  // The finite near field changes the space-charge field, from the first pass with it on.
  EXPECT_NE(thin.getSimulatedDiskPosition(3, 1, 200), finite.getSimulatedDiskPosition(3, 1, 200));
}

TEST(DiskSimulation, SmallSignalGainAgreesWithTheAnalyticModel) {
  // At 0.1 W the beam is modulated linearly; the space-charge-wave model and the
  // disk model then agree to within the approximations of the plasma reduction
  // and the field shapes, a fraction of a dB.
  kly_Klystron k;
  sBandTube(k, 0.1);
  kly_Analytic analytic;
  analytic.calculateAnalytics(k);
  kly_DiskSimulation s;
  s.simulate(k, 16, 1, 24, 60);
  EXPECT_LT(s.getSimulatedIterations(), 60);
  EXPECT_NEAR(s.getSimulatedGain(), analytic.getGain(), 1.0);
}

}  // namespace

namespace {

TEST(DiskSimulation, BuiltTubeGivesTheJavaMethodsResultsAndStaysAsItIs) {
  kly_TubeDescription d = kly_test::sBandDescription();
  d.cavities[3] = kly_test::withFieldFile(d.cavities[3], kly_test::dataFile("gap-field-radial.txt"), 2);
  kly_Klystron k;
  kly_test::describe(k, d);
  kly_DiskSimulation java;
  java.simulate(k, 8, 2, 16, 4);

  const auto tube = kly_BuiltTube::build(d);
  const kly_TubeDescription before = tube->description();
  const kly_test::Fingerprint objects = fingerprint(*tube);
  kly_SimulationSettings settings;
  settings.disks = 8;
  settings.rings = 2;
  settings.steps = 16;
  settings.maxIterations = 4;
  kly_DiskSimulation s;
  s.importBeam(true, "/nonexistent/beam.txt", false, 0);  // the settings say which beam, not the object
  s.simulate(*tube, settings);
  EXPECT_EQ(fingerprint(s), fingerprint(java));
  EXPECT_EQ(tube->description(), before);
  EXPECT_EQ(fingerprint(*tube), objects);

  // An imported beam from the settings, as importBeam gives it to the Java run.
  settings.importBeam = kly_BeamImportSettings{kly_test::dataFile("prebunched-beam.txt"), true, -0.2};
  s.simulate(*tube, settings);
  java.importBeam(true, settings.importBeam->file, true, -0.2);
  java.simulate(k, 8, 2, 16, 4);
  EXPECT_EQ(fingerprint(s), fingerprint(java));
}

TEST(DiskSimulation, BuiltTubeRunsAreCheckedLikeTheJavaOnes) {
  const auto tube = kly_BuiltTube::build(kly_test::sBandDescription());
  kly_DiskSimulation s;
  kly_SimulationSettings settings{8, 2, 16, 2, std::nullopt, kly_NearField::thin};
  s.simulate(*tube, settings);
  const kly_test::Fingerprint before = fingerprint(s);
  settings.nearField = static_cast<kly_NearField>(7);
  expectInvalid([&] { s.simulate(*tube, settings); }, "near field 7 is neither thin nor finite");
  settings.nearField = kly_NearField::thin;
  settings.rings = 21;
  expectInvalid([&] { s.simulate(*tube, settings); }, "ring count 21");
  settings.rings = 2;
  settings.importBeam = kly_BeamImportSettings{kly_test::dataFile("prebunched-beam.txt"), false, 0};
  settings.disks = 33;
  expectInvalid([&] { s.simulate(*tube, settings); }, "32 rows, fewer than the 33 disks");
  EXPECT_EQ(fingerprint(s), before);
  // A tube whose built objects do not hold the field profile the run needs.
  kly_TubeDescription d = kly_test::sBandDescription();
  d.cavities[3] = kly_test::withFieldFile(d.cavities[3], kly_test::dataFile("gap-field-radial.txt"), 1);
  settings = {8, 2, 16, 2, std::nullopt, kly_NearField::thin};
  expectInvalid([&] { s.simulate(*kly_BuiltTube::build(d), settings); }, "tabulated for 1 rings, fewer than the 2");
}

}  // namespace
