#include "klystron/model/kly_Cavity.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "klystron/core/kly_Constants.h"
#include "model/kly_CavityAverageParameterValues.h"

namespace {

using kly::kSqrtPi;
using kly::kTwoPi;
constexpr int kLoadingSamples = 200;  // samples of the Gaussian in the beam-loading integrals

// Gaussian parameter whose normalised shape has the Fourier component m at
// harmonic * betaE.
double gaussianAlpha(int harmonic, double betaE, double m) {
  return std::fabs(static_cast<double>(harmonic)) * 0.5 * betaE / std::sqrt(std::log(1.0 / m));
}

}  // namespace

kly_Cavity::kly_Cavity(double zCenter, double frequency, double m, int harmonic, double gapWidth, double rq, double qo,
                       double qe, const kly_Beam& beam)
    : harmonic_(harmonic),
      fieldFromFile_(false),
      frequency_(frequency),
      zCenter_(zCenter),
      m_(m),
      gapWidth_(gapWidth),
      rq_(rq),
      qo_(qo),
      qe_(qe) {
  betaE_ = kTwoPi * beam.getFrequency() / beam.getBeamVelocity();

  kly_CavityAverageParameterValues average;
  if (beam.getBeamType() == 2) {
    average.averageSheet(m_, rq_, beam.getDepressedBeamVoltage(), beam.getFrequency(), beam.getTubeHeight(),
                         beam.getBeamHeight());
  } else {
    average.averageRound(m_, rq_, beam.getDepressedBeamVoltage(), beam.getFrequency(), beam.getTubeRadius(),
                         beam.getBeamRadius());
  }
  equivalentRadius_ = average.getEquivalentRadius();
  couplingRatio_ = average.getAveragedCoupling() / m_;

  alpha_ = gaussianAlpha(harmonic_, betaE_, m_);
  amplitude_ = alpha_ / kSqrtPi;
  // The span over which the shape stays above 1e-5 of its peak.
  const double width = 2.0 * std::sqrt(-std::log(1e-5)) / alpha_;
  zmin_ = zCenter_ - width / 2.0;
  zmax_ = zCenter_ + width / 2.0;

  computeBeamLoading(beam);
  computeImpedances(beam);
}

kly_Cavity::~kly_Cavity() = default;

void kly_Cavity::loadField(const std::string& fileName, double shift, int rings, const kly_Beam& beam) {
  if (rings < 1 || rings > kly::kMaxFieldRings) {
    throw std::invalid_argument("field ring count " + std::to_string(rings) + " for field file '" + fileName +
                                "' is outside 1 to " + std::to_string(kly::kMaxFieldRings));
  }
  // Sample positions: centres of equal-area rings of a round beam, or of
  // equal strips across half the height of a sheet beam.
  std::vector<double> positions(static_cast<std::size_t>(rings));
  const double n = rings;
  for (int q = 0; q < rings; ++q) {
    positions[static_cast<std::size_t>(q)] = beam.getBeamType() == 1
                                                 ? beam.getBeamRadius() * std::sqrt((2.0 * q + 1.0) / (2.0 * n))
                                                 : beam.getBeamHeight() / 2.0 / n * (q + 0.5);
  }
  auto field = std::make_unique<kly_CavityField>();
  field->load(fileName, shift, positions, equivalentRadius_);
  // The file's z = 0 goes to the gap centre.
  field->shift(-zCenter_);

  // Nothing below can fail: the cavity changes only once the file has loaded.
  m_ = field->getCoupling(betaE_) * couplingRatio_;
  alpha_ = gaussianAlpha(harmonic_, betaE_, m_);
  amplitude_ = alpha_ / kSqrtPi;
  zmin_ = field->getZMin();
  zmax_ = field->getZMax();
  field_ = std::move(field);
  fieldFromFile_ = true;

  computeBeamLoading(beam);
  computeImpedances(beam);
}

void kly_Cavity::computeBeamLoading(const kly_Beam& beam) {
  sigma_ = beam.getSigma();
  const double g0 = beam.getBeamConductance();
  const double betaE = beam.getBetaE();
  const double betaQ = beam.getBetaQ();

  if (g0 == 0.0) {
    // Without beam current there is no beam loading; the expressions below
    // would divide zero by the vanishing plasma propagation constant.
    gb_ = 0.0;
    bb_ = 0.0;
  } else {
    const double ratio = betaQ / betaE;
    const double lnM = std::log(m_);
    const double slow = std::exp(2.0 * lnM * ((1.0 - ratio) * (1.0 - ratio)));
    const double fast = std::exp(2.0 * lnM * ((1.0 + ratio) * (1.0 + ratio)));
    gb_ = g0 / 8.0 * (betaE / betaQ) * (slow - fast) * 2.0 / (sigma_ * (sigma_ + 1.0));

    // The Gaussian of parameter alpha, centred on 0, down to 1e-4 of its peak at the ends.
    const double s = std::sqrt(std::log(10000.0)) / alpha_;
    const double h = 2.0 * s / (kLoadingSamples - 1);
    std::array<double, kLoadingSamples> z{};
    std::array<double, kLoadingSamples> e{};
    for (int i = 0; i < kLoadingSamples; ++i) {
      z[static_cast<std::size_t>(i)] = -s + i * h;
      const double zi = z[static_cast<std::size_t>(i)];
      e[static_cast<std::size_t>(i)] = amplitude_ * std::exp(-(alpha_ * alpha_) * (zi * zi));
    }
    // Double integral of E(z1) E(z2) sin(k (z2 - z1)) over z2 <= z1, by
    // nested trapezoid rules. Each sine is shared by two neighbouring terms.
    auto doubleIntegral = [&](double k) {
      std::array<double, kLoadingSamples> inner{};
      inner[0] = 0.0;
      for (std::size_t m = 1; m < kLoadingSamples; ++m) {
        double sum = 0.0;
        double sinBefore = std::sin(k * (z[0] - z[m]));
        for (std::size_t u = 1; u <= m; ++u) {
          const double sinHere = std::sin(k * (z[u] - z[m]));
          sum += 0.5 * (e[m] * e[u] * sinHere + e[m] * e[u - 1] * sinBefore);
          sinBefore = sinHere;
        }
        inner[m] = h * sum;
      }
      double outer = 0.0;
      for (std::size_t m = 1; m < kLoadingSamples; ++m) outer += 0.5 * (inner[m] + inner[m - 1]);
      return h * outer;
    };
    const double iPlus = doubleIntegral(betaE + betaQ);
    const double iMinus = doubleIntegral(betaE - betaQ);
    bb_ = -(g0 / 4.0) * (betaE / betaQ) * (iPlus - iMinus) * 2.0 / (sigma_ * (sigma_ + 1.0));
  }

  qb_ = 1.0 / (rq_ * gb_);
  loadedFrequency_ = frequency_ / std::sqrt(1.0 + rq_ * bb_);
  if (qe_ >= kly::kNoExternalLoadQe) {
    ql_ = qo_;
    qt_ = 1.0 / (1.0 / qo_ + 1.0 / qb_);
  } else {
    ql_ = 1.0 / (1.0 / qo_ + 1.0 / qe_);
    qt_ = 1.0 / (1.0 / qo_ + 1.0 / qe_ + 1.0 / qb_);
  }
}

void kly_Cavity::computeImpedances(const kly_Beam& beam) {
  const double f = harmonic_ * beam.getFrequency();
  const double f0 = frequency_;
  const double f1 = loadedFrequency_;
  zc_ = rq_ / std::complex<double>(1.0 / ql_, (f * f - f0 * f0) / (f0 * f));
  zg_ = rq_ / std::complex<double>(1.0 / qt_, (f * f - f1 * f1) / (f1 * f));
}

double kly_Cavity::driveVoltage(double frequency, double inputPower) const {
  const double f = frequency;
  const double f0 = frequency_;
  const double qLoaded = 1.0 / (1.0 / qo_ + 1.0 / qb_);  // with the beam, without the external load
  const std::complex<double> y(1.0 / (rq_ * qLoaded), bb_ + ((f * f - f0 * f0) / (f * f0)) / rq_);
  const double gExt = 1.0 / (qe_ * rq_);
  const std::complex<double> reflection = (gExt - y) / (gExt + y);
  const double swr = (1.0 + std::abs(reflection)) / (1.0 - std::abs(reflection));
  return std::sqrt(2.0 * inputPower * swr * rq_ * qLoaded) * 2.0 / (swr + 1.0);
}

double kly_Cavity::getField(double z, int ring) const {
  if (fieldFromFile_) return field_->getField(z, ring);
  const double d = z - zCenter_;
  const double exponent = -(alpha_ * alpha_) * (d * d);
  // Far from the gap the exponential is below half the smallest double
  // (e^-746 < 2^-1075) and rounds to +0: the same product without the call,
  // which the disk simulation makes for every disk ring and step.
  if (exponent < -746.0) return amplitude_ * 0.0;
  return amplitude_ * std::exp(exponent);
}

double kly_Cavity::getFieldIntegral(int ring) const {
  if (fieldFromFile_) return field_->getFieldIntegral(ring);
  return 1.0;
}
