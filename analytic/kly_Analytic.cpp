#include "analytic/kly_Analytic.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/kly_Cavity.h"
#include "model/kly_Errors.h"
#include "model/kly_Klystron.h"

namespace {

constexpr double kPi = 3.141592653589793;
// A cavity with an external Q at or above this counts as unloaded.
constexpr double kNoExternalLoadQe = 90000.0;

// Phases are reported in (-pi, pi]: atan2 gives -pi for a negative real part
// with a negative zero imaginary part, which is the same angle as +pi.
double phaseOf(std::complex<double> v) {
  const double phase = std::atan2(v.imag(), v.real());
  return phase <= -kPi ? kPi : phase;
}

void checkResultIndex(int cavity, const char* what) {
  if (cavity < 0 || cavity >= kly_Analytic::kMaxCavities) {
    throw std::out_of_range(std::string(what) + ": cavity index " + std::to_string(cavity) + " is out of range 0 to " +
                            std::to_string(kly_Analytic::kMaxCavities - 1));
  }
}

// Puts the gap centres back as they were, on every way out of the sweep.
class PositionRestorer {
public:
  explicit PositionRestorer(kly_Klystron& k) : klystron_(k) {
    for (int i = 0; i < k.getCavityCount(); ++i) saved_.push_back(k.getZ(i));
  }
  ~PositionRestorer() {
    for (std::size_t i = 0; i < saved_.size(); ++i) klystron_.setCavityZCenter(static_cast<int>(i), saved_[i]);
  }
  PositionRestorer(const PositionRestorer&) = delete;
  PositionRestorer& operator=(const PositionRestorer&) = delete;

private:
  kly_Klystron& klystron_;
  std::vector<double> saved_;
};

}  // namespace

kly_Analytic::kly_Analytic() = default;
kly_Analytic::~kly_Analytic() = default;

double kly_Analytic::getCavityVoltage(int cavity) const {
  checkResultIndex(cavity, "analytic cavity voltage");
  return cavityVoltage_[static_cast<std::size_t>(cavity)];
}

double kly_Analytic::getCavityVoltagePhase(int cavity) const {
  checkResultIndex(cavity, "analytic cavity voltage phase");
  return cavityVoltagePhase_[static_cast<std::size_t>(cavity)];
}

double kly_Analytic::getI1I0Z(int sample) const {
  if (sample < 0 || sample >= kProfilePoints)
    throw std::out_of_range("I1/I0 sample " + std::to_string(sample) + " is out of range 0 to 199");
  return i1i0Z_[static_cast<std::size_t>(sample)];
}

double kly_Analytic::getI1I0Sample(int sample) const {
  if (sample < 0 || sample >= kProfilePoints)
    throw std::out_of_range("I1/I0 sample " + std::to_string(sample) + " is out of range 0 to 199");
  return i1i0_[static_cast<std::size_t>(sample)];
}

// Factor by which the excitation of cavity a drives cavity b through the
// space-charge waves between them.
kly_Analytic::Complex kly_Analytic::transfer(int a, int b) const {
  if (klystron_->getHarmonic(a) != 1) return Complex(0.0, 0.0);  // a harmonic cavity drives nothing here
  const kly_Beam& beam = klystron_->getBeam();
  const double dz = klystron_->getZ(b) - klystron_->getZ(a);
  const double sigma = beam.getSigma();
  const double coefficient = -(beam.getOmega() / beam.getReducedPlasmaFrequency()) * beam.getBeamConductance() *
                             klystron_->getM(a) * klystron_->getM(b) * std::sin(beam.getBetaQ() * dz) /
                             (sigma + sigma * sigma);
  return (Complex(0.0, 1.0) * coefficient) * std::exp(Complex(0.0, -beam.getBetaE() * dz)) *
         klystron_->getCavity(a).getGapImpedance();
}

void kly_Analytic::calculateCascade() {
  const int n = klystron_->getCavityCount();
  std::array<std::array<Complex, kMaxCavities>, kMaxCavities> t{};
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b) t[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)] = transfer(a, b);
  excitation_.fill(Complex(0.0, 0.0));
  excitation_[0] = Complex(1.0, 0.0);
  for (int k = 1; k < n; ++k) {
    Complex sum(0.0, 0.0);
    for (int j = 0; j < k; ++j) {
      sum += t[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)] * excitation_[static_cast<std::size_t>(j)];
    }
    excitation_[static_cast<std::size_t>(k)] = sum;
  }
}

// Magnitude of the input gap voltage [V] set by the drive power through the
// mismatch between the external load and the beam-loaded, detuned gap.
double kly_Analytic::inputGapVoltage() const {
  const kly_Cavity& cavity = klystron_->getCavity(0);
  const double f = klystron_->getOperatingFrequency();
  const double f0 = klystron_->getFrequency(0);
  const double rq = klystron_->getRQ(0);
  const double qPrime = 1.0 / (1.0 / klystron_->getQo(0) + 1.0 / cavity.getQb());
  const Complex y(1.0 / (rq * qPrime), cavity.getBb() + ((f * f - f0 * f0) / (f * f0)) / rq);
  const double gExt = 1.0 / (klystron_->getQe(0) * rq);
  const Complex reflection = (gExt - y) / (gExt + y);
  const double rho = (1.0 + std::abs(reflection)) / (1.0 - std::abs(reflection));
  return std::sqrt(2.0 * klystron_->getInputPower() * rho * rq * qPrime) * 2.0 / (rho + 1.0);
}

// Fundamental beam current at cavity k [A]: its induced gap current over its coupling.
double kly_Analytic::probeCurrent(int k) const {
  const Complex z0 = klystron_->getCavity(0).getGapImpedance();
  return std::abs(excitation_[static_cast<std::size_t>(k)] / z0) * cavityVoltage_[0] / klystron_->getM(k);
}

void kly_Analytic::calculateAnalytics(kly_Klystron& klystron) {
  const int n = klystron.getCavityCount();
  if (n < 1) throw std::invalid_argument("calculateAnalytics: the tube has no cavity");
  if (n > kMaxCavities) {
    throw std::invalid_argument("calculateAnalytics: the tube has " + std::to_string(n) +
                                " cavities; the analytic model takes at most 20");
  }
  // The rebuild either succeeds or leaves the tube as it was; nothing here has changed yet.
  klystron.initializeInternalData();
  klystron_ = &klystron;

  calculateCascade();

  const int last = n - 1;
  const double pIn = klystron.getInputPower();
  const double rq0 = klystron.getRQ(0);
  const double qe0 = klystron.getQe(0);
  const Complex zLast = klystron.getCavity(last).getGapImpedance();
  const Complex eLast = excitation_[static_cast<std::size_t>(last)];
  outputPower_ = pIn * 4.0 * std::abs((eLast * eLast) * (zLast * zLast)) /
                 (rq0 * qe0 * klystron.getRQ(last) * klystron.getQe(last));
  gain_ = 10.0 * std::log10(outputPower_ / pIn);

  cavityVoltage_[0] = inputGapVoltage();
  cavityVoltagePhase_[0] = 0.0;
  const Complex z0 = klystron.getCavity(0).getGapImpedance();
  for (int k = 1; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const Complex r = excitation_[i] * klystron.getCavity(k).getGapImpedance() / z0;
    cavityVoltage_[i] = std::abs(r) * cavityVoltage_[0];
    cavityVoltagePhase_[i] = phaseOf(r);
  }

  multipleOutputPower_ = 0;
  multipleOutputLoss_ = 0;
  multipleOutputElectronicEfficiency_ = 0;
  multipleOutputCircuitEfficiency_ = 0;
  multipleOutputTotalEfficiency_ = 0;
  multipleOutputGain_ = 0;
  for (int k = 1; k < n; ++k) {
    const double qe = klystron.getQe(k);
    if (!(qe < kNoExternalLoadQe)) continue;
    const double qo = klystron.getQo(k);
    const double etaC = qo / (qo + qe);
    const Complex e = excitation_[static_cast<std::size_t>(k)];
    const Complex z = klystron.getCavity(k).getGapImpedance();
    const double s = std::abs((e * e) * (z * z)) / (rq0 * qe0 * klystron.getRQ(k) * qe);
    multipleOutputPower_ += pIn * 4.0 * s;
    multipleOutputLoss_ += pIn * (4.0 * (1.0 - etaC) / etaC) * s;
  }
  const double p = multipleOutputPower_;
  multipleOutputTotalEfficiency_ = p / (klystron.getBeamCurrent() * klystron.getBeam().getDepressedBeamVoltage());
  multipleOutputCircuitEfficiency_ = p / (p + multipleOutputLoss_);
  multipleOutputElectronicEfficiency_ = multipleOutputTotalEfficiency_ / multipleOutputCircuitEfficiency_;
  multipleOutputGain_ = 10.0 * std::log10(p / pIn);
}

void kly_Analytic::calculateAnalyticI1I0() {
  if (klystron_ == nullptr) {
    throw kly_StateError("calculateAnalyticI1I0 needs a calculateAnalytics on this tube first");
  }
  kly_Klystron& k = *klystron_;
  const int n = k.getCavityCount();
  if (n < 1 || n > kMaxCavities || n != k.getCavityObjectCount()) {
    throw kly_StateError("calculateAnalyticI1I0: the cavity list has changed since the last calculateAnalytics (" +
                         std::to_string(n) + " cavities now, " + std::to_string(k.getCavityObjectCount()) +
                         " then); run calculateAnalytics again");
  }
  const PositionRestorer restore(k);

  std::array<double, kProfilePoints> samples{};
  std::array<double, kProfilePoints> positions{};
  int p = n - 1;
  const double zStart = k.getZ(0);
  const double zEnd = k.getZ(p);
  const double step = (zEnd - zStart) / 199.0;
  double zSaved = k.getZ(p);
  double z = zEnd;
  const double i0 = k.getBeamCurrent();
  for (int i = kProfilePoints - 1; i >= 0; --i) {
    positions[static_cast<std::size_t>(i)] = z;
    if (p > 0 && k.getZ(p - 1) > z) {
      // The sample lies before the cavity ahead of the probe: that cavity becomes the probe.
      k.setCavityZCenter(p, zSaved);
      while (p > 0 && k.getZ(p - 1) > z) --p;
      zSaved = k.getZ(p);
    }
    k.setCavityZCenter(p, z);
    calculateCascade();
    samples[static_cast<std::size_t>(i)] = probeCurrent(p) / i0;
    // Repeated subtraction can undershoot the first gap by rounding; a sample never lies before it,
    // or the input cavity would become its own probe.
    z = std::max(z - step, zStart);
  }
  k.setCavityZCenter(p, zSaved);

  i1i0_ = samples;
  i1i0Z_ = positions;
  i1i0ZStart_ = zStart;
  i1i0ZEnd_ = zEnd;
  i1i0Step_ = step;
  hasSweep_ = true;
}

double kly_Analytic::getAnalyticI1I0(double z) const {
  if (!hasSweep_) return 0.0;
  if (z < i1i0ZStart_ || z > i1i0ZEnd_) return 0.0;      // NaN fails both tests and lands below
  if (z == i1i0ZEnd_) return i1i0_[kProfilePoints - 1];  // exactly, whatever the rounding of u
  if (!(i1i0Step_ > 0.0)) return 0.0;                    // a zero-length sweep has only that one position
  const double u = (z - i1i0ZStart_) / i1i0Step_;
  if (!(u >= 0.0)) return 0.0;  // z is NaN
  const int i = static_cast<int>(u);
  if (i >= kProfilePoints - 1) return i1i0_[kProfilePoints - 1];
  const auto s = static_cast<std::size_t>(i);
  return i1i0_[s] + (i1i0_[s + 1] - i1i0_[s]) * (u - i);
}
