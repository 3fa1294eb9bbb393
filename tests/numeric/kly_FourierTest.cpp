#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <stdexcept>
#include <vector>

#include "model/kly_Errors.h"
#include "numeric/kly_Fourier.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::vector<double> cosine(int n, int h, double amplitude, double phase) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = amplitude * std::cos(kTwoPi * h * i / n + phase);
  return x;
}

// Rounding in N terms of size A leaves about N * 1e-16 * A; 1e-12 * A is a generous bound.
constexpr double kTolerance = 1e-12;

TEST(Fourier, PureCosineGivesItsAmplitudeAndPhaseAndNothingElse) {
  const int n = 40;
  for (int h : {1, 2, 3, 7, 19}) {
    for (double phase : {0.0, 0.7, -2.5, 3.0}) {
      const std::vector<double> x = cosine(n, h, 2.5, phase);
      Fourier f;
      f.setSamples(x.data(), n);
      const std::complex<double> c = f.coefficient(h);
      EXPECT_NEAR(std::abs(c), 2.5, kTolerance) << h << " " << phase;
      EXPECT_NEAR(std::arg(c), phase, kTolerance) << h << " " << phase;
      for (int other = 0; other < n / 2; ++other) {
        if (other == h) continue;
        EXPECT_NEAR(std::abs(f.coefficient(other)), 0.0, kTolerance) << h << " " << other;
      }
    }
  }
}

TEST(Fourier, PureSineHasPhaseMinusHalfPi) {
  const int n = 32;
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = 0.8 * std::sin(kTwoPi * 3 * i / n);
  Fourier f;
  f.setSamples(x.data(), n);
  const std::complex<double> c = f.coefficient(3);
  EXPECT_NEAR(c.real(), 0.0, kTolerance);
  EXPECT_NEAR(c.imag(), -0.8, kTolerance);
}

TEST(Fourier, ConstantGivesItsValueAtHarmonicZeroOnly) {
  const std::vector<double> x(25, -1.75);
  Fourier f;
  f.setSamples(x.data(), 25);
  const std::complex<double> c0 = f.coefficient(0);
  EXPECT_NEAR(c0.real(), -1.75, kTolerance);
  EXPECT_EQ(c0.imag(), 0.0);  // every term of harmonic 0 has phasor exp(0) = 1 exactly
  for (int h = 1; h <= 4; ++h) EXPECT_NEAR(std::abs(f.coefficient(h)), 0.0, kTolerance) << h;
}

TEST(Fourier, MixOfHarmonicsSeparates) {
  // Mean 0.3, then harmonics 1 to 4 as a bunched beam current would carry them.
  const int n = 64;
  const double amplitude[] = {0.3, 1.2, 0.9, 0.45, 0.2};
  const double phase[] = {0.0, -0.4, 1.1, -3.0, 2.2};
  std::vector<double> x(n, amplitude[0]);
  for (int h = 1; h <= 4; ++h) {
    const std::vector<double> part = cosine(n, h, amplitude[h], phase[h]);
    for (int i = 0; i < n; ++i) x[i] += part[i];
  }
  Fourier f;
  f.setSamples(x.data(), n);
  EXPECT_NEAR(f.coefficient(0).real(), 0.3, kTolerance);
  for (int h = 1; h <= 4; ++h) {
    const std::complex<double> c = f.coefficient(h);
    EXPECT_NEAR(std::abs(c), amplitude[h], kTolerance) << h;
    EXPECT_NEAR(std::arg(c), phase[h], kTolerance) << h;
  }
  EXPECT_NEAR(std::abs(f.coefficient(5)), 0.0, kTolerance);
}

TEST(Fourier, RepeatedCallsAndSampleSwapsStartFromZero) {
  const std::vector<double> a = cosine(20, 2, 1.0, 0.5);
  const std::vector<double> b = cosine(20, 2, 3.0, -1.0);
  Fourier f;
  f.setSamples(a.data(), 20);
  const std::complex<double> first = f.coefficient(2);
  EXPECT_EQ(f.coefficient(2), first);
  f.setSamples(b.data(), 20);
  EXPECT_NEAR(std::abs(f.coefficient(2)), 3.0, kTolerance);
  f.setSamples(a.data(), 20);
  EXPECT_EQ(f.coefficient(2), first);
}

TEST(Fourier, HighHarmonicOfALongRecordDoesNotOverflow) {
  // h * i reaches 3e9 here, beyond a 32-bit integer: a wrapped product would
  // give the later terms the wrong phase and spoil the amplitude.
  const int n = 1000000;
  const int h = 3000;
  const std::vector<double> x = cosine(n, h, 1.0, 0.25);
  Fourier f;
  f.setSamples(x.data(), n);
  const std::complex<double> c = f.coefficient(h);
  EXPECT_NEAR(std::abs(c), 1.0, 1e-9);
  EXPECT_NEAR(std::arg(c), 0.25, 1e-9);
}

TEST(Fourier, RejectsUnusableInput) {
  const double x[] = {1.0, 2.0};
  Fourier f;
  EXPECT_THROW(f.coefficient(0), kly_StateError);
  EXPECT_THROW(f.setSamples(nullptr, 2), std::invalid_argument);
  EXPECT_THROW(f.setSamples(x, 0), std::invalid_argument);
  EXPECT_THROW(f.setSamples(x, -1), std::invalid_argument);
  f.setSamples(x, 2);
  EXPECT_THROW(f.coefficient(-1), std::invalid_argument);
  EXPECT_EQ(f.coefficient(0), std::complex<double>(1.5, 0.0));
}

}  // namespace
