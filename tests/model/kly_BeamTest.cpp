#include "klystron/model/kly_Beam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

// Reference values: tests/model/reference_values.py, which evaluates the beam
// formulas at 30 digits with mpmath's exact Bessel functions. Quantities that
// do not involve the plasma reduction factor agree to rounding (relative
// 1e-13); the reduction factor and what follows from it carry the error of
// the polynomial Bessel approximations (about 1e-8 absolute), hence 1e-6
// relative.
namespace {

constexpr double kExact = 1e-13;
constexpr double kBessel = 1e-6;

void expectRelative(double actual, double expected, double tolerance, const char* what) {
  EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << what;
}

}  // namespace

TEST(Beam, DefaultBeamReadsZero) {
  const kly_Beam beam;
  EXPECT_EQ(beam.getBeamType(), 0);
  for (double v : {beam.getDepressedBeamVoltage(), beam.getBeamVelocity(), beam.getSigma(), beam.getGamma(),
                   beam.getBetaE(), beam.getBetaQ(), beam.getPlasmaWavelength(), beam.getBeamConductance()}) {
    EXPECT_EQ(v, 0.0);
  }
}

TEST(Beam, RoundBeamMatchesIndependentEvaluation) {
  kly_Beam beam;
  beam.initRoundBeam(110000, 90, 2.856e9, 0.0095, 0.0062);
  EXPECT_EQ(beam.getBeamType(), 1);
  expectRelative(beam.getDepressedBeamVoltage(), 104434.35741092835, kExact, "Vd");
  expectRelative(beam.getSigma(), 1.2043729520332469, kExact, "sigma");
  expectRelative(beam.getBeamVelocity(), 167075956.15828575, kExact, "u0");
  expectRelative(beam.getVOverC(), 167075956.15828575 / 299792458.0, kExact, "u0/c");
  expectRelative(beam.getOmega(), 17944777237.304899, kExact, "omega");
  expectRelative(beam.getBetaE(), 107.40490522947678, kExact, "betaE");
  expectRelative(beam.getGamma(), 89.179107724192608, kExact, "gamma");
  expectRelative(beam.getRfWavelength(), 0.058499984649259717, kExact, "lambdaE");
  expectRelative(beam.getGammaA(), 0.84720152337982976, kExact, "gammaA");
  expectRelative(beam.getGammaB(), 0.55291046788999415, kExact, "gammaB");
  expectRelative(beam.getPlasmaFrequency(), 7121844853.2341162, kExact, "omegaP");
  expectRelative(beam.getBetaP(), 42.626389918648534, kExact, "betaP");
  expectRelative(beam.getPlasmaWavelength(), 0.14740130044254037, kExact, "lambdaP");
  expectRelative(beam.getPlasmaReductionFactor(), 0.30354216283564042, kBessel, "R");
  expectRelative(beam.getReducedPlasmaFrequency(), 2161780190.1305577, kBessel, "omegaQ");
  expectRelative(beam.getReducedPlasmaWavelength(), 0.48560403953619467, kBessel, "lambdaQ");
  expectRelative(beam.getBetaQ(), 12.938906589781914, kBessel, "betaQ");
  expectRelative(beam.getBeamConductance(), 0.00086178535714896936, kExact, "G0 uses Vd");
  expectRelative(beam.getCurrentDensity(), 745262.4806592394, kExact, "J");
  expectRelative(beam.getPerveance(), 2.4669110010907933e-6, kExact, "perveance uses V0");
  expectRelative(beam.getMicroPerveance(), 2.4669110010907933, kExact, "micro-perveance");
  for (double v : {beam.getBeamWidth(), beam.getBeamHeight(), beam.getTubeWidth(), beam.getTubeHeight()}) {
    EXPECT_EQ(v, 0.0);
  }
}

TEST(Beam, RoundBeamFillingTheTubeUsesTheQuarterTermAlone) {
  kly_Beam beam;
  beam.initRoundBeam(110000, 90, 2.856e9, 0.0062, 0.0062);
  expectRelative(beam.getDepressedBeamVoltage(), 107943.9585458433, kExact, "Vd");
  expectRelative(beam.getGammaA(), beam.getGammaB(), 0.0, "gammaA = gammaB");
  expectRelative(beam.getPlasmaReductionFactor(), 0.18743693760203449, kBessel, "R");
  expectRelative(beam.getBetaQ(), 7.7759643893785079, kBessel, "betaQ");
}

TEST(Beam, WithoutCurrentThereIsNoDepressionAndNoPlasmaWave) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  kly_Beam round;
  round.initRoundBeam(110000, 0, 2.856e9, 0.0095, 0.0062);
  kly_Beam sheet;
  sheet.initSheetBeam(60000, 0, 9.4e9, 0.02, 0.0015, 0.03, 0.004);
  for (const kly_Beam* beam : {&round, &sheet}) {
    EXPECT_EQ(beam->getDepressedBeamVoltage(), beam->getBeamVoltage());
    EXPECT_EQ(beam->getBeamConductance(), 0.0);
    EXPECT_EQ(beam->getPlasmaFrequency(), 0.0);
    EXPECT_EQ(beam->getReducedPlasmaFrequency(), 0.0);
    EXPECT_EQ(beam->getBetaQ(), 0.0);
    EXPECT_EQ(beam->getPlasmaWavelength(), inf);
    EXPECT_EQ(beam->getReducedPlasmaWavelength(), inf);
  }
  expectRelative(round.getBeamVelocity(), 170352691.74704372, kExact, "round u0");
  expectRelative(round.getPlasmaReductionFactor(), 0.29592949870308714, kBessel, "round R");
  expectRelative(sheet.getBeamVelocity(), 133774777.9667727, kExact, "sheet u0");
  expectRelative(sheet.getPlasmaReductionFactor(), 0.37595961537136253, kExact, "sheet R");
}

TEST(Beam, SheetBeamMatchesIndependentEvaluation) {
  kly_Beam beam;
  beam.initRoundBeam(1, 1, 1, 1, 1);
  beam.initSheetBeam(60000, 30, 9.4e9, 0.02, 0.0015, 0.03, 0.004);
  EXPECT_EQ(beam.getBeamType(), 2);
  EXPECT_EQ(beam.getTubeRadius(), 0.0);
  EXPECT_EQ(beam.getBeamRadius(), 0.0);
  EXPECT_EQ(beam.getBeamWidth(), 0.02);
  EXPECT_EQ(beam.getBeamHeight(), 0.0015);
  EXPECT_EQ(beam.getTubeWidth(), 0.03);
  EXPECT_EQ(beam.getTubeHeight(), 0.004);
  expectRelative(beam.getDepressedBeamVoltage(), 58970.539548186479, kExact, "Vd");
  expectRelative(beam.getSigma(), 1.1154024743316422, kExact, "sigma");
  expectRelative(beam.getBeamVelocity(), 132798498.1906468, kExact, "u0");
  expectRelative(beam.getBetaE(), 444.74856788439143, kExact, "betaE");
  expectRelative(beam.getGamma(), 398.73371103187504, kExact, "gamma");
  expectRelative(beam.getGammaA(), 0.79746742206375009, kExact, "gammaA = gamma H / 2");
  expectRelative(beam.getGammaB(), 0.29905028327390628, kExact, "gammaB = gamma h / 2");
  expectRelative(beam.getPlasmaFrequency(), 10382270990.281727, kExact, "omegaP");
  expectRelative(beam.getPlasmaWavelength(), 0.08036753937823628, kExact, "lambdaP");
  // The parallel-plane reduction factor uses exact hyperbolic functions.
  expectRelative(beam.getPlasmaReductionFactor(), 0.37873213193507596, kExact, "R");
  expectRelative(beam.getReducedPlasmaWavelength(), 0.21220153401722266, kExact, "lambdaQ");
  expectRelative(beam.getBetaQ(), 29.609518782600468, kExact, "betaQ");
  expectRelative(beam.getBeamConductance(), 0.00050872859956599448, kExact, "G0");
  expectRelative(beam.getCurrentDensity(), 1e6, kExact, "J");
  expectRelative(beam.getPerveance(), 2.0412414523193151e-6, kExact, "perveance");
}

TEST(Beam, SheetTubeWidthEntersNoFormula) {
  kly_Beam narrow;
  narrow.initSheetBeam(60000, 30, 9.4e9, 0.02, 0.0015, 0.03, 0.004);
  kly_Beam wide;
  wide.initSheetBeam(60000, 30, 9.4e9, 0.02, 0.0015, 0.5, 0.004);
  EXPECT_EQ(wide.getTubeWidth(), 0.5);
  EXPECT_EQ(wide.getDepressedBeamVoltage(), narrow.getDepressedBeamVoltage());
  EXPECT_EQ(wide.getBetaQ(), narrow.getBetaQ());
  EXPECT_EQ(wide.getPlasmaReductionFactor(), narrow.getPlasmaReductionFactor());
  wide.clearDerived();
  EXPECT_EQ(wide.getBetaQ(), 0.0);
  EXPECT_EQ(wide.getTubeWidth(), 0.5);
}
