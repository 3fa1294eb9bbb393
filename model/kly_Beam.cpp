#include "klystron/model/kly_Beam.h"

#include <cmath>

#include "klystron/core/kly_Constants.h"
#include "numeric/kly_SpecialFunctions.h"

namespace {

using kly::kPi;
using kly::kTwoPi;
constexpr double kEta = kly::kChargeToMass;
constexpr double kC = kly::kSpeedOfLight;
constexpr double kEps0 = kly::kEpsilon0;
// Products the formulas take as single numbers; each is the double nearest to
// the exact product.
constexpr double kTwoEta = 2 * kEta;     // for the non-relativistic velocity
constexpr double kC2 = kC * kC;          // c^2
constexpr double kTwoEps0 = 2 * kEps0;   // round-beam depression
constexpr double kFourEps0 = 4 * kEps0;  // sheet-beam depression
static_assert(kTwoEta == 3.51764024e11 && kC2 == 8.987551787368176e16 && kTwoEps0 == 1.7708375634e-11 &&
              kFourEps0 == 3.5416751268e-11);

}  // namespace

void kly_Beam::initRoundBeam(double beamVoltage_, double beamCurrent_, double frequency_, double tubeRadius_,
                             double beamRadius_) {
  beamType = 1;
  beamVoltage = beamVoltage_;
  beamCurrent = beamCurrent_;
  frequency = frequency_;
  tubeRadius = tubeRadius_;
  beamRadius = beamRadius_;
  beamWidth = 0;
  beamHeight = 0;
  tubeWidth = 0;
  tubeHeight = 0;
  computeRoundBeam();
}

void kly_Beam::initSheetBeam(double beamVoltage_, double beamCurrent_, double frequency_, double beamWidth_,
                             double beamHeight_, double tubeWidth_, double tubeHeight_) {
  beamType = 2;
  beamVoltage = beamVoltage_;
  beamCurrent = beamCurrent_;
  frequency = frequency_;
  tubeRadius = 0;
  beamRadius = 0;
  beamWidth = beamWidth_;
  beamHeight = beamHeight_;
  tubeWidth = tubeWidth_;
  tubeHeight = tubeHeight_;
  computeSheetBeam();
}

void kly_Beam::computeRoundBeam() {
  const double V0 = beamVoltage;
  const double I0 = beamCurrent;
  const double a = tubeRadius;
  const double b = beamRadius;

  // Mean potential depression of a uniform round beam in a round tube.
  const double uNonRelativistic = std::sqrt(kTwoEta * V0);
  depressedBeamVoltage = V0 - (std::log(a / b) + 0.25) * (I0 / kPi) / (uNonRelativistic * kTwoEps0);

  computeVelocityAndWaveNumbers();

  plasmaFrequency = std::sqrt(I0 * kEta / (beamVelocity * kPi * kEps0)) / (std::pow(sigma, 1.5) * b);
  betaP = plasmaFrequency / beamVelocity;
  plasmaWavelength = kTwoPi / betaP;

  gammaA = gamma * a;
  gammaB = gamma * b;
  // Reduction of the plasma frequency by the tube wall (round beam, round tube).
  const double A = gammaA;
  const double B = gammaB;
  const double i1b = kly::besselI1(B);
  plasmaReductionFactor =
      std::sqrt(1.0 - 2.0 * i1b * kly::besselK1(B) - i1b * i1b * 2.0 * kly::besselK0(A) / kly::besselI0(A));

  computeReducedPlasmaQuantities();
  currentDensity = I0 / (kPi * b * b);
  perveance = I0 / std::pow(V0, 1.5);
  microPerveance = perveance * 1e6;
}

void kly_Beam::computeSheetBeam() {
  const double V0 = beamVoltage;
  const double I0 = beamCurrent;
  const double w = beamWidth;
  const double h = beamHeight;
  const double H = tubeHeight;

  // Mean potential depression of a sheet beam between the tube's broad walls.
  const double uNonRelativistic = std::sqrt(kTwoEta * V0);
  depressedBeamVoltage = V0 - (I0 / (h * w)) / (uNonRelativistic * kFourEps0) * (h * H - 5.0 * (h * h) / 16.0);

  computeVelocityAndWaveNumbers();

  plasmaFrequency = std::sqrt(I0 * kEta / (beamVelocity * h * w * kEps0)) / std::pow(sigma, 1.5);
  betaP = plasmaFrequency / beamVelocity;
  plasmaWavelength = kTwoPi / betaP;

  gammaA = gamma * H / 2.0;
  gammaB = gamma * h / 2.0;
  // Reduction of the plasma frequency between two parallel planes.
  plasmaReductionFactor = std::sqrt(1.0 - 2.0 * std::sinh(gamma * h / 2.0) * std::cosh(gamma * (H - h) / 2.0) /
                                              (gamma * h * std::cosh(gamma * H / 2.0)));

  computeReducedPlasmaQuantities();
  currentDensity = I0 / (w * h);
  perveance = I0 / std::pow(V0, 1.5);
  microPerveance = perveance * 1e6;
}

void kly_Beam::computeVelocityAndWaveNumbers() {
  sigma = 1.0 + kEta * depressedBeamVoltage / kC2;
  beamVelocity = kC * std::sqrt(1.0 - 1.0 / (sigma * sigma));
  vOverC = beamVelocity / kC;
  omega = kTwoPi * frequency;
  betaE = omega / beamVelocity;
  gamma = betaE / sigma;
  rfWavelength = kTwoPi / betaE;
}

void kly_Beam::computeReducedPlasmaQuantities() {
  reducedPlasmaFrequency = plasmaReductionFactor * plasmaFrequency;
  reducedPlasmaWavelength = beamVelocity * kTwoPi / reducedPlasmaFrequency;
  betaQ = kTwoPi / reducedPlasmaWavelength;
  beamConductance = beamCurrent / depressedBeamVoltage;
}

void kly_Beam::clearDerived() {
  depressedBeamVoltage = 0;
  beamConductance = 0;
  currentDensity = 0;
  beamVelocity = 0;
  vOverC = 0;
  perveance = 0;
  microPerveance = 0;
  plasmaReductionFactor = 0;
  sigma = 0;
  gamma = 0;
  gammaA = 0;
  gammaB = 0;
  omega = 0;
  plasmaFrequency = 0;
  reducedPlasmaFrequency = 0;
  betaE = 0;
  betaP = 0;
  betaQ = 0;
  rfWavelength = 0;
  plasmaWavelength = 0;
  reducedPlasmaWavelength = 0;
}
