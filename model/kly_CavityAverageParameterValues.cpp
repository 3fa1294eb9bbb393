#include "model/kly_CavityAverageParameterValues.h"

#include <cmath>

#include "klystron/core/kly_Constants.h"
#include "numeric/kly_SpecialFunctions.h"

namespace {

constexpr double kC = kly::kSpeedOfLight;
using kly::kTwoPi;
constexpr double kRestEnergy = kly::kRestEnergyVolts;

}  // namespace

void kly_CavityAverageParameterValues::computeWaveNumbers() {
  k0 = frequency * kTwoPi / kC;
  sigma = beamVoltage / kRestEnergy + 1.0;
  velocity = std::sqrt(1.0 - 1.0 / sigma / sigma) * kC;
  betaE = frequency * kTwoPi / velocity;
  gamma = std::sqrt(1.0 - (velocity / kC) * (velocity / kC)) * betaE;
}

void kly_CavityAverageParameterValues::averageRound(double m_, double rq_, double beamVoltage_, double frequency_,
                                                    double tubeRadius_, double beamRadius_) {
  m = m_;
  rq = rq_;
  beamVoltage = beamVoltage_;
  frequency = frequency_;
  tubeRadius = tubeRadius_;
  beamRadius = beamRadius_;
  tubeHeight = 0;
  beamHeight = 0;
  isRound = true;
  computeWaveNumbers();

  const double b = beamRadius;
  // Mean of J0(k0 r) over a uniformly filled disc of radius b.
  fieldFactor = 2.0 * kly::besselJ1(k0 * b) / (k0 * b);
  averagedRQ = fieldFactor * rq * fieldFactor;
  // Root-mean-square of I0(gamma r) over the disc.
  const double i0 = kly::besselI0(gamma * b);
  const double i1 = kly::besselI1(gamma * b);
  averagedCoupling = m * std::sqrt(i0 * i0 - i1 * i1) / fieldFactor;

  // Radius at which J0(k0 r) equals its disc average: 20 halvings of [0, b],
  // the result being the last midpoint.
  double lo = 0.0;
  double hi = b;
  for (int i = 0; i <= 19; ++i) {
    const double mid = (hi + lo) / 2.0;
    equivalentRadius = mid;
    const double eHi = kly::besselJ0Series(k0 * hi) - fieldFactor;
    const double eMid = kly::besselJ0Series(k0 * mid) - fieldFactor;
    if (eMid * eHi < 0.0) {
      lo = mid;
    } else {
      hi = mid;
    }
    if (eMid * eHi == 0.0) break;
  }
}

void kly_CavityAverageParameterValues::averageSheet(double m_, double rq_, double beamVoltage_, double frequency_,
                                                    double tubeHeight_, double beamHeight_) {
  m = m_;
  rq = rq_;
  beamVoltage = beamVoltage_;
  frequency = frequency_;
  tubeHeight = tubeHeight_;
  beamHeight = beamHeight_;
  tubeRadius = 0;
  beamRadius = 0;
  isRound = false;
  computeWaveNumbers();

  const double h = beamHeight;
  // Mean of cos(k0 y) over the beam height.
  fieldFactor = 2.0 * std::sin(k0 * h / 2.0) / (k0 * h);
  averagedRQ = fieldFactor * rq * fieldFactor;
  // Root-mean-square of cosh(gamma y) over the beam height.
  averagedCoupling = m * std::sqrt((std::sinh(gamma * h) + gamma * h) / (2.0 * gamma * h)) / fieldFactor;
  equivalentRadius = std::acos(fieldFactor) / k0;
}
