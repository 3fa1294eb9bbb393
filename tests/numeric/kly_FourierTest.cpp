#include "numeric/kly_Fourier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <stdexcept>
#include <vector>

#include "klystron/core/kly_Errors.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Rounding in N terms of size A leaves about N * 1e-16 * A; 1e-12 * A is a generous bound.
constexpr double kTolerance = 1e-12;

// Mean `mean` plus A_h cos(2 pi h i / N + phi_h) for the listed harmonics.
std::vector<double> samples(int n, double mean, const std::vector<std::vector<double>>& harmonics) {
  std::vector<double> x(n, mean);
  for (const auto& hp : harmonics)
    for (int i = 0; i < n; ++i) x[i] += hp[1] * std::cos(kTwoPi * hp[0] * i / n + hp[2]);
  return x;
}

TEST(Fourier, PureCosineGivesItsAmplitudeAndPhaseAndNothingElse) {
  const int n = 40;
  for (int h : {1, 2, 7, 19})
    for (double phase : {0.0, 0.7, -2.5, 3.0}) {
      const std::vector<double> x = samples(n, 0.0, {{double(h), 2.5, phase}});
      Fourier f;
      f.setSamples(x.data(), n);
      EXPECT_NEAR(std::abs(f.coefficient(h)), 2.5, kTolerance) << h << " " << phase;
      EXPECT_NEAR(std::arg(f.coefficient(h)), phase, kTolerance) << h << " " << phase;
      for (int other = 0; other < n / 2; ++other) {
        if (other == h) continue;
        EXPECT_NEAR(std::abs(f.coefficient(other)), 0.0, kTolerance) << h << " " << other;
      }
    }
}

TEST(Fourier, SineHasPhaseMinusHalfPiAndAConstantIsItsOwnMean) {
  std::vector<double> x(32);
  for (int i = 0; i < 32; ++i) x[i] = 0.8 * std::sin(kTwoPi * 3 * i / 32);
  Fourier f;
  f.setSamples(x.data(), 32);
  EXPECT_NEAR(f.coefficient(3).real(), 0.0, kTolerance);
  EXPECT_NEAR(f.coefficient(3).imag(), -0.8, kTolerance);

  const std::vector<double> c(25, -1.75);
  f.setSamples(c.data(), 25);
  EXPECT_NEAR(f.coefficient(0).real(), -1.75, kTolerance);
  EXPECT_EQ(f.coefficient(0).imag(), 0.0);  // every phasor of harmonic 0 is exp(0) = 1 exactly
  for (int h = 1; h <= 4; ++h) EXPECT_NEAR(std::abs(f.coefficient(h)), 0.0, kTolerance) << h;
}

TEST(Fourier, MixOfHarmonicsSeparates) {
  // Harmonics 1 to 4 on a mean, as a bunched beam current carries them.
  const std::vector<std::vector<double>> harmonics = {{1, 1.2, -0.4}, {2, 0.9, 1.1}, {3, 0.45, -3.0}, {4, 0.2, 2.2}};
  const std::vector<double> x = samples(64, 0.3, harmonics);
  Fourier f;
  f.setSamples(x.data(), 64);
  EXPECT_NEAR(f.coefficient(0).real(), 0.3, kTolerance);
  for (const auto& hp : harmonics) {
    const std::complex<double> c = f.coefficient(int(hp[0]));
    EXPECT_NEAR(std::abs(c), hp[1], kTolerance) << hp[0];
    EXPECT_NEAR(std::arg(c), hp[2], kTolerance) << hp[0];
  }
  EXPECT_NEAR(std::abs(f.coefficient(5)), 0.0, kTolerance);
  // Each call starts from zero: asking again gives the same value.
  EXPECT_EQ(f.coefficient(2), f.coefficient(2));
}

TEST(Fourier, HighHarmonicOfALongRecordDoesNotOverflow) {
  // h * i reaches 3e9, beyond a 32-bit integer: a wrapped product would give
  // the later terms the wrong phase and spoil the amplitude.
  const int n = 1000000, h = 3000;
  const std::vector<double> x = samples(n, 0.0, {{double(h), 1.0, 0.25}});
  Fourier f;
  f.setSamples(x.data(), n);
  EXPECT_NEAR(std::abs(f.coefficient(h)), 1.0, 1e-9);
  EXPECT_NEAR(std::arg(f.coefficient(h)), 0.25, 1e-9);
}

TEST(Fourier, RejectsUnusableInput) {
  const double x[] = {1.0, 2.0};
  Fourier f;
  EXPECT_THROW(f.coefficient(0), kly_StateError);
  EXPECT_THROW(f.setSamples(nullptr, 2), std::invalid_argument);
  EXPECT_THROW(f.setSamples(x, 0), std::invalid_argument);
  f.setSamples(x, 2);
  EXPECT_THROW(f.coefficient(-1), std::invalid_argument);
  EXPECT_EQ(f.coefficient(0), std::complex<double>(1.5, 0.0));
}

}  // namespace
