#include "klystron/analytic/kly_Analytic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <stdexcept>

#include "kly_Bits.h"
#include "kly_Files.h"
#include "kly_TestTubes.h"
#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Cavity.h"
#include "klystron/model/kly_Klystron.h"

namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.141592653589793;

using kly_test::sBandBeam;  // 110 kV, 90 A, 2.856 GHz, 60 W drive, 6.2 mm beam in a 9.5 mm tube
using kly_test::sBandTube;  // and the four cavities of the examples, the third at harmonic 2

// Input gap voltage from the drive power, written out from the matched-load
// relation independently of the model's code.
double expectedInputVoltage(const kly_Klystron& k) {
  const kly_Cavity& c = k.getCavity(0);
  const double f = k.getOperatingFrequency(), f0 = k.getFrequency(0), rq = k.getRQ(0);
  const double q = 1.0 / (1.0 / k.getQo(0) + 1.0 / c.getQb());
  const Complex y(1.0 / (rq * q), c.getBb() + (f / f0 - f0 / f) / rq);
  const double g = 1.0 / (k.getQe(0) * rq);
  const double gammaMag = std::abs((g - y) / (g + y));
  const double vswr = (1 + gammaMag) / (1 - gammaMag);
  return std::sqrt(2 * k.getInputPower() * vswr * rq * q) * 2 / (vswr + 1);
}

TEST(Analytic, TwoCavityTubeMatchesClosedForm) {
  kly_Klystron k;
  sBandBeam(k);
  k.addCavity(0.0, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  k.addCavity(0.2, 2.860e9, 0.80, 1, 0.012, 100, 2500, 40);
  kly_Analytic a;
  a.calculateAnalytics(k);

  // Two cavities: the induced current in gap 1 is the space-charge-wave transfer of gap 0's drive,
  //   i1 = j c exp(-j betaE dz) Z0 (V_in / Z0), c = -(omega/omegaQ) G0 M0 M1 sin(betaQ dz) / (sigma (1 + sigma)),
  // its voltage V1 = i1 Z1, and the load takes |V1|^2 / (2 (R/Q) Qe) of it.
  const kly_Beam& b = k.getBeam();
  const double dz = 0.2;
  const double c = -(b.getOmega() / b.getReducedPlasmaFrequency()) * b.getBeamConductance() * 0.82 * 0.80 *
                   std::sin(b.getBetaQ() * dz) / (b.getSigma() * (1 + b.getSigma()));
  const Complex z0 = k.getCavity(0).getGapImpedance(), z1 = k.getCavity(1).getGapImpedance();
  const double vIn = expectedInputVoltage(k);
  const Complex v1 = Complex(0, c) * std::polar(1.0, -b.getBetaE() * dz) * z1 * vIn;
  // Output power in the model's normalised form: P_out = P_in 4 |i1 / (V_in / Z0)|^2 |Z1|^2 / ((R/Q)_0 Qe_0 (R/Q)_1
  // Qe_1).
  const double pOut = 60.0 * 4 * std::pow(std::abs(c) * std::abs(z0) * std::abs(z1), 2) / (110.0 * 300 * 100 * 40);
  EXPECT_NEAR(a.getOutputPower() / pOut, 1.0, 1e-12);
  EXPECT_NEAR(a.getGain(), 10 * std::log10(pOut / 60.0), 1e-10);
  EXPECT_NEAR(a.getCavityVoltage(0) / vIn, 1.0, 1e-12);
  EXPECT_EQ(a.getCavityVoltagePhase(0), 0.0);
  EXPECT_NEAR(a.getCavityVoltage(1) / std::abs(v1), 1.0, 1e-12);
  EXPECT_NEAR(a.getCavityVoltagePhase(1), std::arg(v1), 1e-12);
  // With two cavities the loaded second cavity is the only "multiple" output.
  EXPECT_NEAR(a.getMultipleOutputPower() / a.getOutputPower(), 1.0, 1e-14);
  EXPECT_NEAR(a.getMultipleOutputGain(), a.getGain(), 1e-12);
  const double etaC = 2500.0 / (2500 + 40);
  EXPECT_NEAR(a.getMultipleOutputCircuitEfficiency(), etaC, 1e-12);
  EXPECT_NEAR(a.getMultipleOutputTotalEfficiency(),
              a.getMultipleOutputElectronicEfficiency() * a.getMultipleOutputCircuitEfficiency(), 1e-15);
  EXPECT_NEAR(a.getMultipleOutputTotalEfficiency(), a.getOutputPower() / (90 * b.getDepressedBeamVoltage()), 1e-15);

  // The sweep's last sample is the beam current at the unmoved second gap: |i1| / M1 / I0.
  a.calculateAnalyticI1I0(k);
  EXPECT_NEAR(a.getI1I0Sample(199), std::abs(c) * vIn / 0.80 / 90.0, 1e-12);
  EXPECT_EQ(a.getI1I0Z(199), 0.2);
  EXPECT_NEAR(a.getI1I0Z(0), 0.0, 1e-15);  // repeated subtraction may end a rounding error above the first gap
}

TEST(Analytic, HarmonicCavityDrivesNothingButHasItsVoltage) {
  kly_Klystron with, without;
  for (kly_Klystron* k : {&with, &without}) {
    sBandBeam(*k);
    k->addCavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  }
  with.addCavity(0.20, 5.72e9, 0.70, 2, 0.008, 60, 2500, 100000);
  for (kly_Klystron* k : {&with, &without}) k->addCavity(0.40, 2.856e9, 0.80, 1, 0.012, 100, 2500, 30);
  kly_Analytic a, b;
  a.calculateAnalytics(with);
  b.calculateAnalytics(without);
  EXPECT_GT(a.getCavityVoltage(1), 0.0);  // driven by the input cavity
  EXPECT_EQ(a.getOutputPower(), b.getOutputPower());
  EXPECT_EQ(a.getCavityVoltage(2), b.getCavityVoltage(1));
  EXPECT_EQ(a.getCavityVoltagePhase(2), b.getCavityVoltagePhase(1));
}

TEST(Analytic, MultipleOutputsCountOnlyExternallyLoadedCavities) {
  kly_Klystron k;
  sBandTube(k);
  kly_Analytic a;
  k.setCavityQe(1, 90000);  // exactly at the threshold: unloaded
  a.calculateAnalytics(k);
  const double lastOnly = a.getMultipleOutputPower();
  EXPECT_NEAR(lastOnly / a.getOutputPower(), 1.0, 1e-14);
  k.setCavityQe(1, 89999);  // just below: a (weakly) loaded output
  a.calculateAnalytics(k);
  EXPECT_GT(a.getMultipleOutputPower(), a.getOutputPower());
  EXPECT_NEAR(a.getMultipleOutputTotalEfficiency(),
              a.getMultipleOutputElectronicEfficiency() * a.getMultipleOutputCircuitEfficiency(), 1e-15);
  // The input cavity never counts, whatever its Qe.
  kly_Klystron one;
  sBandBeam(one);
  one.addCavity(0.0, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  a.calculateAnalytics(one);
  EXPECT_EQ(a.getMultipleOutputPower(), 0.0);
  EXPECT_EQ(a.getMultipleOutputGain(), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(a.getMultipleOutputCircuitEfficiency()));
}

TEST(Analytic, ExampleTubeHasSensibleGainAndPhasesInRange) {
  kly_Klystron k;
  sBandTube(k);
  kly_Analytic a;
  a.calculateAnalytics(k);
  EXPECT_GT(a.getGain(), 20.0);
  EXPECT_LT(a.getGain(), 80.0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_GT(a.getCavityVoltagePhase(i), -kPi) << i;
    EXPECT_LE(a.getCavityVoltagePhase(i), kPi) << i;
    EXPECT_GT(a.getCavityVoltage(i), 0.0) << i;
  }
  // Voltages grow along the tube: each gap is driven by a bunched beam.
  EXPECT_GT(a.getCavityVoltage(3), a.getCavityVoltage(1));
}

TEST(Analytic, RefusedRunsKeepThePreviousResults) {
  kly_Klystron k;
  sBandTube(k);
  kly_Analytic a;
  EXPECT_FALSE(a.hasResults());
  EXPECT_THROW(a.calculateAnalyticI1I0(k), kly_StateError);
  a.calculateAnalytics(k);
  const double gain = a.getGain();
  const double v3 = a.getCavityVoltage(3);

  kly_Klystron empty;
  sBandBeam(empty);
  EXPECT_THROW(a.calculateAnalytics(empty), std::invalid_argument);
  kly_Klystron many;
  sBandBeam(many);
  for (int i = 0; i < 21; ++i) many.addCavity(0.05 * i, 2.856e9, 0.8, 1, 0.01, 100, 2500, 100000);
  try {
    a.calculateAnalytics(many);
    FAIL() << "21 cavities accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("21"), std::string::npos) << e.what();
  }
  EXPECT_EQ(a.getGain(), gain);
  EXPECT_EQ(a.getCavityVoltage(3), v3);
  a.calculateAnalyticI1I0(k);  // the tube of the successful run
  EXPECT_GT(a.getAnalyticI1I0(0.3), 0.0);

  EXPECT_THROW(a.getCavityVoltage(20), std::out_of_range);
  EXPECT_THROW(a.getCavityVoltagePhase(-1), std::out_of_range);
  EXPECT_NO_THROW(a.getCavityVoltage(19));
}

TEST(Analytic, SweepRestoresPositionsAndRefusesAChangedList) {
  kly_Klystron k;
  sBandTube(k);
  kly_Analytic a;
  a.calculateAnalytics(k);
  a.calculateAnalyticI1I0(k);
  const double expected[] = {0.00, 0.12, 0.30, 0.48};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(k.getZ(i), expected[i]) << i;
  EXPECT_EQ(a.getI1I0ZStart(), 0.0);
  EXPECT_EQ(a.getI1I0ZEnd(), 0.48);
  for (int i = 1; i < 200; ++i) EXPECT_GT(a.getI1I0Z(i), a.getI1I0Z(i - 1)) << i;

  k.deleteLastCavity();  // the cavity objects of the last run no longer match the list
  EXPECT_THROW(a.calculateAnalyticI1I0(k), kly_StateError);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(k.getZ(i), expected[i]) << i;
}

TEST(Analytic, SweepNeverSamplesBeforeTheFirstGap) {
  // (0.25 - 0) / 199 subtracted 199 times from 0.25 ends 7.6e-16 below 0: without the clamp the input
  // cavity would become its own probe and the first sample would jump to the input gap's own current.
  kly_Klystron k;
  sBandBeam(k);
  k.addCavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  k.addCavity(0.25, 2.856e9, 0.80, 1, 0.012, 100, 2500, 40);
  kly_Analytic a;
  a.calculateAnalytics(k);
  a.calculateAnalyticI1I0(k);
  EXPECT_EQ(a.getI1I0Z(0), 0.0);
  // Near the input gap the current grows linearly from 0: the first samples are small and ordered.
  EXPECT_LT(a.getI1I0Sample(0), a.getI1I0Sample(1));
  EXPECT_LT(a.getI1I0Sample(1), a.getI1I0Sample(2));
  EXPECT_LT(a.getI1I0Sample(0), 1e-3);
}

TEST(Analytic, InterpolationAtAndBeyondBothEnds) {
  kly_Klystron k;
  sBandTube(k);
  kly_Analytic a;
  a.calculateAnalytics(k);
  EXPECT_EQ(a.getAnalyticI1I0(0.2), 0.0);  // no sweep yet
  a.calculateAnalyticI1I0(k);
  const double z0 = a.getI1I0ZStart(), z1 = a.getI1I0ZEnd();
  EXPECT_EQ(a.getAnalyticI1I0(std::nextafter(z0, -1.0)), 0.0);
  EXPECT_EQ(a.getAnalyticI1I0(std::nextafter(z1, 1.0)), 0.0);
  EXPECT_EQ(a.getAnalyticI1I0(std::numeric_limits<double>::quiet_NaN()), 0.0);
  EXPECT_EQ(a.getAnalyticI1I0(z0), a.getI1I0Sample(0));
  EXPECT_EQ(a.getAnalyticI1I0(z1), a.getI1I0Sample(199));
  for (int i : {1, 57, 120, 198}) {
    EXPECT_NEAR(a.getAnalyticI1I0(a.getI1I0Z(i)), a.getI1I0Sample(i), 1e-9 * (1 + a.getI1I0Sample(i))) << i;
    const double mid = 0.5 * (a.getI1I0Z(i) + a.getI1I0Z(i + 1));
    EXPECT_NEAR(a.getAnalyticI1I0(mid), 0.5 * (a.getI1I0Sample(i) + a.getI1I0Sample(i + 1)), 1e-9) << i;
  }
}

TEST(Analytic, ZeroLengthSweepIsOneSample) {
  kly_Klystron k;
  sBandBeam(k);
  k.addCavity(0.1, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  kly_Analytic a;
  a.calculateAnalytics(k);
  a.calculateAnalyticI1I0(k);
  EXPECT_EQ(k.getZ(0), 0.1);
  const double v = a.getI1I0Sample(199);
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(a.getI1I0Sample(0), v);
  EXPECT_EQ(a.getAnalyticI1I0(0.1), v);
  EXPECT_EQ(a.getAnalyticI1I0(0.1000001), 0.0);
  EXPECT_EQ(a.getAnalyticI1I0(0.0999999), 0.0);
}

}  // namespace

namespace {

TEST(Analytic, BuiltTubeGivesTheJavaMethodsResultsAndStaysAsItIs) {
  kly_TubeDescription d = kly_test::sBandDescription();
  d.cavities[3] = kly_test::withFieldFile(d.cavities[3], kly_test::dataFile("gap-field-radial.txt"), 2);
  kly_Klystron k;
  kly_test::describe(k, d);
  kly_Analytic java;
  java.calculateAnalytics(k);
  java.calculateAnalyticI1I0(k);

  const std::shared_ptr<const kly_BuiltTube> tube = kly_BuiltTube::build(d);
  const kly_TubeDescription before = tube->description();
  const kly_test::Fingerprint objects = kly_test::fingerprint(*tube);
  kly_Analytic a;
  a.calculateAnalytics(*tube);
  a.calculateAnalyticI1I0(*tube);
  EXPECT_EQ(kly_test::fingerprint(a), kly_test::fingerprint(java));
  // The sweep moved the probe in a copy of its own.
  EXPECT_EQ(tube->description(), before);
  EXPECT_EQ(kly_test::fingerprint(*tube), objects);
}

TEST(Analytic, JavaSweepReadsTheModelsValuesAsTheyAreNow) {
  // The sweep does not rebuild: a beam current and positions changed after calculateAnalytics reach it
  // (the samples are currents over the model's I0), while the beam and the gaps stay those of the run.
  kly_Klystron k;
  kly_test::sBandTube(k);
  kly_Analytic a;
  a.calculateAnalytics(k);
  a.calculateAnalyticI1I0(k);
  const kly_test::Fingerprint run = kly_test::fingerprint(a);
  const double before = a.getI1I0Sample(150);
  k.setBeamCurrent(45);
  a.calculateAnalyticI1I0(k);
  EXPECT_EQ(a.getI1I0Sample(150), 2 * before);
  k.setBeamCurrent(90);
  k.setCavityZCenter(0, 0.01);
  a.calculateAnalyticI1I0(k);
  EXPECT_EQ(a.getI1I0ZStart(), 0.01);
  EXPECT_EQ(k.getZ(0), 0.01);
  k.setCavityZCenter(0, 0.0);
  a.calculateAnalyticI1I0(k);
  EXPECT_EQ(kly_test::fingerprint(a), run);
}

TEST(Analytic, BuiltTubeRunsAreCheckedLikeTheJavaOnes) {
  kly_Analytic a;
  const auto tube = kly_BuiltTube::build(kly_test::sBandDescription());
  EXPECT_THROW(a.calculateAnalyticI1I0(*tube), kly_StateError);  // no run yet
  kly_TubeDescription none = kly_test::sBandDescription();
  none.cavities.clear();
  EXPECT_THROW(a.calculateAnalytics(*kly_BuiltTube::build(none)), std::invalid_argument);
  EXPECT_FALSE(a.hasResults());
  a.calculateAnalytics(*tube);
  EXPECT_TRUE(a.hasResults());
  // A tube whose cavity objects do not match its values: a model whose list changed since its rebuild.
  kly_Klystron k(kly_test::sBandDescription());
  k.initializeInternalData();
  k.addCavity(0.6, 2.856e9, 0.8, 1, 0.01, 100, 2500, 30);
  EXPECT_THROW(a.calculateAnalyticI1I0(k), kly_StateError);
}

}  // namespace
