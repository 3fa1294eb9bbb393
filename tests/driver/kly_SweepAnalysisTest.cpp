// Saturation, compression and bandwidth read off sampled curves whose
// answers are known in closed form.
#include "klystron/driver/kly_SweepAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// n drives from lo to hi [W], evenly spaced in the logarithm.
std::vector<double> logDrives(double lo, double hi, int n) {
  std::vector<double> d;
  for (int i = 0; i < n; ++i) d.push_back(lo * std::pow(hi / lo, static_cast<double>(i) / (n - 1)));
  return d;
}

std::vector<double> map(const std::vector<double>& x, const std::function<double(double)>& f) {
  std::vector<double> y;
  for (double v : x) y.push_back(f(v));
  return y;
}

double dBm(double w) { return 10 * std::log10(w / 1e-3); }

// The root of f in [a, b] by bisection, f(a) and f(b) of opposite signs.
double root(const std::function<double(double)>& f, double a, double b) {
  for (int i = 0; i < 200; ++i) {
    const double m = 0.5 * (a + b);
    (f(a) < 0) == (f(m) < 0) ? a = m : b = m;
  }
  return 0.5 * (a + b);
}

TEST(SaturationTest, TheVertexOfAParabolaInTheLogOfTheDriveIsFoundExactly) {
  // Pout = 2 MW - 0.8 MW (log10 Pin - log10 150 W)^2: a maximum of 2 MW at
  // 150 W, which lies between the samples.
  const double u0 = std::log10(150.0);
  const std::vector<double> drive = logDrives(1, 1000, 13);
  const auto p = map(drive, [u0](double d) { return 2e6 - 0.8e6 * std::pow(std::log10(d) - u0, 2); });
  const auto eff = map(drive, [](double d) { return 0.1 * std::log10(d); });  // linear in log10(drive)
  const kly_Saturation s = kly_SweepAnalysis::saturation(drive, p, eff);
  ASSERT_TRUE(s.found);
  EXPECT_FALSE(s.atEnd);
  EXPECT_NEAR(s.drive, 150.0, 150.0 * 1e-12);
  EXPECT_NEAR(s.outputPower, 2e6, 2e6 * 1e-13);
  EXPECT_NEAR(s.gain, 10 * std::log10(2e6 / 150.0), 1e-11);
  EXPECT_NEAR(s.efficiency, 0.1 * u0, 1e-13);  // interpolation is exact on a straight line
}

TEST(SaturationTest, ACurveStillRisingAtTheEndIsNotSaturated) {
  // A soft limiter, Pout = Psat tanh(G Pin / Psat), below its saturation.
  const std::vector<double> drive = logDrives(1, 100, 9);
  const auto p = map(drive, [](double d) { return 1e6 * std::tanh(1e4 * d / 1e6); });
  const kly_Saturation s = kly_SweepAnalysis::saturation(drive, p);
  ASSERT_TRUE(s.found);
  EXPECT_TRUE(s.atEnd);
  EXPECT_EQ(s.drive, 100.0);
  EXPECT_EQ(s.outputPower, p.back());
  EXPECT_TRUE(std::isnan(s.efficiency));
}

TEST(SaturationTest, UnusableSamplesAreLeftOutAndTheOrderDoesNotMatter) {
  // The peak sample is 4 W; a failed point (NaN), a drive of 0 W and one of
  // the samples out of order must not change the answer.
  const std::vector<double> drive = {8, 1, 2, 4, 0, 16, 32};
  const std::vector<double> power = {70, 10, 40, 80, 5, kNaN, 20};
  const kly_Saturation s = kly_SweepAnalysis::saturation(drive, power);
  const kly_Saturation clean = kly_SweepAnalysis::saturation({1, 2, 4, 8, 32}, {10, 40, 80, 70, 20});
  ASSERT_TRUE(s.found);
  EXPECT_EQ(s.drive, clean.drive);
  EXPECT_EQ(s.outputPower, clean.outputPower);
  EXPECT_GT(s.drive, 2);
  EXPECT_LT(s.drive, 8);
  EXPECT_GE(s.outputPower, 80);
  EXPECT_FALSE(kly_SweepAnalysis::saturation({1, 2}, {kNaN, kNaN}).found);
  EXPECT_THROW(kly_SweepAnalysis::saturation({1, 2}, {1}), std::invalid_argument);
}

TEST(CompressionTest, APiecewiseLinearGainIsInterpolatedExactly) {
  // Gain 40 dB up to 30 dBm of drive, then falling 0.5 dB per dB: 1 dB down
  // at 32 dBm exactly; samples every 3 dB, so 32 dBm lies between two.
  std::vector<double> drive, power;
  for (double x = 0; x <= 45; x += 3) {
    const double gain = x <= 30 ? 40 : 40 - 0.5 * (x - 30);
    drive.push_back(1e-3 * std::pow(10, x / 10));
    power.push_back(1e-3 * std::pow(10, (x + gain) / 10));
  }
  const kly_Compression c = kly_SweepAnalysis::compression(drive, power);
  ASSERT_TRUE(c.found);
  EXPECT_NEAR(c.smallSignalGain, 40, 1e-12);
  EXPECT_NEAR(dBm(c.drive), 32, 1e-12);
  EXPECT_NEAR(dBm(c.outputPower), 32 + 39, 1e-12);
  // 3 dB down at 36 dBm, a sample itself.
  EXPECT_NEAR(dBm(kly_SweepAnalysis::compression(drive, power, 3).drive), 36, 1e-12);
}

TEST(CompressionTest, TheSoftLimiterCompressesWhereItsClosedFormSays) {
  // Pout = Psat tanh(x), x = G Pin / Psat: the gain is G tanh(x)/x, 1 dB below
  // G where tanh(x)/x = 10^-0.1.
  const double G = 1e4, Psat = 1e6;
  const double x1 = root([](double x) { return std::tanh(x) / x - std::pow(10, -0.1); }, 0.1, 2);
  const double expected = x1 * Psat / G;
  const std::vector<double> drive = logDrives(0.1, 1000, 201);  // 50 per decade
  const auto p = map(drive, [&](double d) { return Psat * std::tanh(G * d / Psat); });
  const kly_Compression c = kly_SweepAnalysis::compression(drive, p);
  ASSERT_TRUE(c.found);
  // The gain at the lowest drive (x = 1e-3) is 1.5e-6 dB below G; linear
  // interpolation in dBm over 0.2 dB steps of a smooth curve errs by far
  // less than 1e-3 of the drive.
  EXPECT_NEAR(c.smallSignalGain, 40, 1e-5);
  EXPECT_NEAR(c.drive / expected, 1, 1e-3);
  EXPECT_NEAR(c.outputPower / (Psat * std::tanh(x1)), 1, 1e-3);
}

TEST(CompressionTest, NotFoundWithinTheRange) {
  const std::vector<double> drive = logDrives(1, 10, 5);
  const kly_Compression c = kly_SweepAnalysis::compression(drive, map(drive, [](double d) { return 100 * d; }));
  EXPECT_FALSE(c.found);
  EXPECT_TRUE(c.measured);
  EXPECT_NEAR(c.smallSignalGain, 20, 1e-12);
  // Without an output above 0 there is no gain to speak of.
  EXPECT_FALSE(kly_SweepAnalysis::compression(drive, map(drive, [](double d) { return -d; })).measured);
}

TEST(BandTest, ATriangleInDecibelsHasItsEdgesExactly) {
  // Gain 30 dB at 10 GHz, falling 1 dB per 10 MHz on the left and 0.5 dB per
  // 10 MHz on the right, sampled every 4 MHz.
  std::vector<double> f, g;
  for (int i = -20; i <= 20; ++i) {
    const double df = i * 4e6;
    f.push_back(10e9 + df);
    g.push_back(30 - (df < 0 ? -df / 10e6 : 0.5 * df / 10e6));
  }
  const kly_Band b3 = kly_SweepAnalysis::band(f, g, 3);
  ASSERT_TRUE(b3.found);
  EXPECT_EQ(b3.peakGain, 30);
  EXPECT_EQ(b3.peakFrequency, 10e9);
  EXPECT_NEAR(b3.lower, 10e9 - 30e6, 1e-3);
  EXPECT_NEAR(b3.upper, 10e9 + 60e6, 1e-3);
  EXPECT_NEAR(b3.width(), 90e6, 1e-3);
  EXPECT_FALSE(b3.lowerOpen || b3.upperOpen);
  const kly_Band b1 = kly_SweepAnalysis::band(f, g, 1);
  EXPECT_NEAR(b1.width(), 30e6, 1e-3);
  // Reaching the highest sample (26 dB at +80 MHz): cut there and marked open.
  const kly_Band b5 = kly_SweepAnalysis::band(f, g, 5);
  EXPECT_FALSE(b5.lowerOpen);
  EXPECT_TRUE(b5.upperOpen);
  EXPECT_EQ(b5.upper, f.back());
  EXPECT_NEAR(b5.lower, 10e9 - 50e6, 1e-3);
}

TEST(BandTest, ASingleTunedResponseHasItsClosedFormWidth) {
  // |H|^2 = 1 / (1 + (2 Q (f - f0) / f0)^2): down by D dB at
  // f0 +- f0 sqrt(10^(D/10) - 1) / (2 Q).
  const double f0 = 2.856e9, Q = 200;
  std::vector<double> f, g;
  for (int i = -500; i <= 500; ++i) {
    const double fi = f0 * (1 + i * 2e-5);  // 57 kHz steps over +-28.6 MHz
    f.push_back(fi);
    g.push_back(20 - 10 * std::log10(1 + std::pow(2 * Q * (fi - f0) / f0, 2)));
  }
  for (double drop : {1.0, 3.0}) {
    const double half = f0 * std::sqrt(std::pow(10, drop / 10) - 1) / (2 * Q);
    const kly_Band b = kly_SweepAnalysis::band(f, g, drop);
    ASSERT_TRUE(b.found);
    // Linear interpolation between 57 kHz samples of a smooth curve: well within 5 kHz.
    EXPECT_NEAR(b.lower, f0 - half, 5e3) << drop;
    EXPECT_NEAR(b.upper, f0 + half, 5e3) << drop;
  }
}

TEST(BandTest, TheBandIsTheStretchAroundThePeak) {
  // A second lobe within 3 dB of the peak, beyond a dip, is not part of the band.
  const std::vector<double> f = {1, 2, 3, 4, 5, 6, 7};
  const std::vector<double> g = {0, 9, 10, 2, 9.5, 0, kNaN};
  const kly_Band b = kly_SweepAnalysis::band(f, g, 3);
  ASSERT_TRUE(b.found);
  EXPECT_EQ(b.peakFrequency, 3);
  EXPECT_NEAR(b.lower, 1 + 7.0 / 9, 1e-12);
  EXPECT_NEAR(b.upper, 3 + 3.0 / 8, 1e-12);
  EXPECT_FALSE(kly_SweepAnalysis::band({1, 2}, {kNaN, kNaN}, 3).found);
}

}  // namespace
