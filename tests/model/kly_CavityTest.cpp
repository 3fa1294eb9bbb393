#include "klystron/model/kly_Cavity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

// Reference values: tests/model/reference_values.py (mpmath). The cavity sits
// on the 110 kV, 90 A, 2.856 GHz round beam in a 9.5 mm tube.
namespace {

kly_Beam roundBeam(double current = 90) {
  kly_Beam beam;
  beam.initRoundBeam(110000, current, 2.856e9, 0.0095, 0.0062);
  return beam;
}

// zCenter 0.3 m, 2.86 GHz, M 0.8, harmonic, gap 10 mm, R/Q 100, Qo 3000, Qe.
kly_Cavity cavity(const kly_Beam& beam, int harmonic = 1, double qe = 200, double f0 = 2.86e9) {
  return kly_Cavity(0.3, f0, 0.8, harmonic, 0.01, 100, 3000, qe, beam);
}

}  // namespace

TEST(Cavity, GaussianFieldShapeExtentAndIntegral) {
  const kly_Beam beam = roundBeam();
  const kly_Cavity c = cavity(beam);
  const double alpha = 113.68468173328923;  // 0.5 betaE / sqrt(ln(1 / 0.8))
  EXPECT_NEAR(c.getAlpha(), alpha, 1e-12 * alpha);
  EXPECT_NEAR(c.getAmplitude(), alpha / std::sqrt(std::numbers::pi), 1e-12 * alpha);
  const double halfWidth = std::sqrt(std::log(1e5)) / alpha;
  EXPECT_NEAR(c.getFieldZMax() - 0.3, halfWidth, 1e-14);
  EXPECT_NEAR(0.3 - c.getFieldZMin(), halfWidth, 1e-14);
  EXPECT_NEAR(c.getField(c.getFieldZMax(), 0) / c.getField(0.3, 0), 1e-5, 1e-12);

  // Simpson's rule over +-8/alpha (the tails beyond hold e^-64 of the area).
  const int n = 2000;
  const double a = 0.3 - 8 / alpha;
  const double h = 16 / alpha / n;
  double sum = c.getField(a, 0) + c.getField(a + n * h, 0);
  for (int i = 1; i < n; ++i) sum += (i % 2 ? 4 : 2) * c.getField(a + i * h, 0);
  EXPECT_NEAR(sum * h / 3, 1.0, 1e-12);
  // Not cut off at the extent; any ring answers.
  EXPECT_GT(c.getField(c.getFieldZMax() + 1 / alpha, 0), 0.0);
  EXPECT_EQ(c.getField(0.31, 17), c.getField(0.31, 0));
  EXPECT_EQ(c.getFieldIntegral(5), 1.0);
  EXPECT_FALSE(c.hasFieldFromFile());
  EXPECT_EQ(c.getFieldRings(), 0);
}

TEST(Cavity, BeamLoadingAgreesWithAccurateIntegrals) {
  const kly_Beam beam = roundBeam();
  const kly_Cavity c = cavity(beam);
  // Gb in closed form; its error comes from betaQ (Bessel approximations).
  EXPECT_NEAR(c.getGb(), 9.2293492061158779e-5, 1e-5 * 9.2293492061158779e-5);
  // Bb from the double integrals by adaptive quadrature; the 200-point nested
  // trapezoid rule is second order with (k h)^2 / 12 about 3e-4 here.
  EXPECT_NEAR(c.getBb(), 4.0597712232587656e-5, 1e-3 * 4.0597712232587656e-5);
  EXPECT_DOUBLE_EQ(c.getQb(), 1 / (100 * c.getGb()));
  EXPECT_DOUBLE_EQ(c.getLoadedFrequency(), 2.86e9 / std::sqrt(1 + 100 * c.getBb()));
  EXPECT_DOUBLE_EQ(c.getSigma(), beam.getSigma());
}

TEST(Cavity, ExternalQOf90000MeansNoExternalLoad) {
  const kly_Beam beam = roundBeam();
  const kly_Cavity open = cavity(beam, 1, 90000);
  EXPECT_EQ(open.getQL(), 3000.0);
  EXPECT_DOUBLE_EQ(open.getQT(), 1 / (1 / 3000.0 + 1 / open.getQb()));
  const kly_Cavity loaded = cavity(beam, 1, 89999);
  EXPECT_DOUBLE_EQ(loaded.getQL(), 1 / (1 / 3000.0 + 1 / 89999.0));
  EXPECT_DOUBLE_EQ(loaded.getQT(), 1 / (1 / 3000.0 + 1 / 89999.0 + 1 / loaded.getQb()));
}

TEST(Cavity, SecondHarmonicHalvesTheFieldAndDoublesTheFrequency) {
  const kly_Beam beam = roundBeam();
  const kly_Cavity first = cavity(beam, 1, 200, 2.856e9);
  const kly_Cavity second = cavity(beam, 2, 200, 2 * 2.856e9);
  EXPECT_DOUBLE_EQ(second.getAlpha(), 2 * first.getAlpha());
  EXPECT_NEAR(second.getFieldZMax() - second.getFieldZMin(), (first.getFieldZMax() - first.getFieldZMin()) / 2, 1e-15);
  // Both are tuned to their harmonic of the drive: the circuit impedance is R/Q QL, real.
  for (const kly_Cavity* c : {&first, &second}) {
    EXPECT_DOUBLE_EQ(c->getCircuitImpedance().real(), 100 * c->getQL());
    EXPECT_EQ(c->getCircuitImpedance().imag(), 0.0);
  }
  // A detuned cavity: Zc = R/Q / (1/QL + j (F^2 - f0^2) / (f0 F)), by hand.
  const kly_Cavity detuned = cavity(beam, 1, 200, 2.87e9);
  const double ql = 1 / (1 / 3000.0 + 1 / 200.0);
  const double x = (2.856e9 * 2.856e9 - 2.87e9 * 2.87e9) / (2.87e9 * 2.856e9);
  EXPECT_NEAR(std::abs(detuned.getCircuitImpedance() - 100.0 / std::complex<double>(1 / ql, x)), 0.0, 1e-10);
  // Driven below its resonance the cavity is inductive: Zc has a positive imaginary part.
  EXPECT_GT(detuned.getCircuitImpedance().imag(), 0.0);
}

TEST(Cavity, BeamWithoutCurrentDoesNotLoadTheGap) {
  const kly_Beam beam = roundBeam(0);
  const kly_Cavity c = cavity(beam);
  EXPECT_EQ(c.getGb(), 0.0);
  EXPECT_EQ(c.getBb(), 0.0);
  EXPECT_TRUE(std::isinf(c.getQb()));
  EXPECT_EQ(c.getQT(), c.getQL());
  EXPECT_EQ(c.getLoadedFrequency(), 2.86e9);
  EXPECT_EQ(c.getGapImpedance(), c.getCircuitImpedance());
}
