#include "klystron/analytic/kly_Analytic.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "klystron/core/kly_Errors.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Cavity.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/model/kly_TubeDescription.h"

namespace {

using Complex = std::complex<double>;
using Excitation = std::array<Complex, kly_Analytic::kMaxCavities>;

using kly::kNoExternalLoadQe;
using kly::kPi;

// Phases are reported in (-pi, pi]: atan2 gives -pi for a negative real part
// with a negative zero imaginary part, which is the same angle as +pi.
double phaseOf(Complex v) {
  const double phase = std::atan2(v.imag(), v.real());
  return phase <= -kPi ? kPi : phase;
}

void checkResultIndex(int cavity, const char* what) {
  if (cavity < 0 || cavity >= kly_Analytic::kMaxCavities) {
    throw std::out_of_range(std::string(what) + ": cavity index " + std::to_string(cavity) + " is out of range 0 to " +
                            std::to_string(kly_Analytic::kMaxCavities - 1));
  }
}

void checkSample(int sample) {
  if (sample < 0 || sample >= kly_Analytic::kProfilePoints)
    throw std::out_of_range("I1/I0 sample " + std::to_string(sample) + " is out of range 0 to " +
                            std::to_string(kly_Analytic::kProfilePoints - 1));
}

// The cascade of excitations along one tube: M and harmonics from `values`,
// the beam and the gap impedances from `objects`, the gap centres from a copy
// of its own, which the sweep moves.
class Cascade {
public:
  Cascade(const kly_TubeDescription& values, const kly_BuiltTube& objects)
      : values_(values), objects_(objects), n_(static_cast<int>(values.cavities.size())) {
    for (int k = 0; k < n_; ++k) z_[static_cast<std::size_t>(k)] = cavity(k).z;
  }

  double z(int k) const { return z_[static_cast<std::size_t>(k)]; }
  void setZ(int k, double z) { z_[static_cast<std::size_t>(k)] = z; }

  // Entry 0 is 1; entry k >= 1 is the current induced in gap k over V_in / Z_0,
  // summed over the cavities before it in increasing order.
  Excitation excitation() const {
    std::array<std::array<Complex, kly_Analytic::kMaxCavities>, kly_Analytic::kMaxCavities> t{};
    for (int a = 0; a < n_; ++a)
      for (int b = 0; b < n_; ++b) t[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)] = transfer(a, b);
    Excitation e{};
    e[0] = Complex(1.0, 0.0);
    for (int k = 1; k < n_; ++k) {
      Complex sum(0.0, 0.0);
      for (int j = 0; j < k; ++j) {
        sum += t[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)] * e[static_cast<std::size_t>(j)];
      }
      e[static_cast<std::size_t>(k)] = sum;
    }
    return e;
  }

  // Fundamental beam current at cavity k [A]: its induced gap current over
  // its coupling, for the input gap voltage v0 [V].
  double probeCurrent(const Excitation& e, int k, double v0) const {
    const Complex z0 = objects_.cavity(0).getGapImpedance();
    return std::abs(e[static_cast<std::size_t>(k)] / z0) * v0 / cavity(k).m;
  }

private:
  const kly_CavityDescription& cavity(int k) const { return values_.cavities[static_cast<std::size_t>(k)]; }

  // Factor by which the excitation of cavity a drives cavity b through the
  // space-charge waves between them.
  Complex transfer(int a, int b) const {
    if (cavity(a).harmonic != 1) return Complex(0.0, 0.0);  // a harmonic cavity drives nothing here
    const kly_Beam& beam = objects_.beam();
    const double dz = z(b) - z(a);
    const double sigma = beam.getSigma();
    const double coefficient = -(beam.getOmega() / beam.getReducedPlasmaFrequency()) * beam.getBeamConductance() *
                               cavity(a).m * cavity(b).m * std::sin(beam.getBetaQ() * dz) / (sigma + sigma * sigma);
    return (Complex(0.0, 1.0) * coefficient) * std::exp(Complex(0.0, -beam.getBetaE() * dz)) *
           objects_.cavity(a).getGapImpedance();
  }

  const kly_TubeDescription& values_;
  const kly_BuiltTube& objects_;
  int n_;
  std::array<double, kly_Analytic::kMaxCavities> z_{};  // [m]
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
  checkSample(sample);
  return i1i0Z_[static_cast<std::size_t>(sample)];
}

double kly_Analytic::getI1I0Sample(int sample) const {
  checkSample(sample);
  return i1i0_[static_cast<std::size_t>(sample)];
}

void kly_Analytic::calculateAnalytics(kly_Klystron& klystron) {
  const int n = klystron.getCavityCount();
  if (n < 1) throw std::invalid_argument("calculateAnalytics: the tube has no cavity");
  if (n > kMaxCavities) {
    throw std::invalid_argument("calculateAnalytics: the tube has " + std::to_string(n) +
                                " cavities; the analytic model takes at most " + std::to_string(kMaxCavities));
  }
  // The rebuild either succeeds or leaves the tube as it was; nothing here has changed yet.
  klystron.initializeInternalData();
  calculateAnalytics(*klystron.getBuiltTube());
}

void kly_Analytic::calculateAnalytics(const kly_BuiltTube& tube) {
  const kly_TubeDescription& d = tube.description();
  const int n = static_cast<int>(d.cavities.size());
  if (n < 1) throw std::invalid_argument("calculateAnalytics: the tube has no cavity");
  if (n > kMaxCavities) {
    throw std::invalid_argument("calculateAnalytics: the tube has " + std::to_string(n) +
                                " cavities; the analytic model takes at most " + std::to_string(kMaxCavities));
  }
  const Excitation excitation = Cascade(d, tube).excitation();

  const int last = n - 1;
  const double pIn = d.beam.inputPower;
  const kly_CavityDescription& input = d.cavities[0];
  const double rq0 = input.rq;
  const double qe0 = input.qe;
  const Complex zLast = tube.cavity(last).getGapImpedance();
  const Complex eLast = excitation[static_cast<std::size_t>(last)];
  outputPower_ =
      pIn * 4.0 * std::abs((eLast * eLast) * (zLast * zLast)) /
      (rq0 * qe0 * d.cavities[static_cast<std::size_t>(last)].rq * d.cavities[static_cast<std::size_t>(last)].qe);
  gain_ = 10.0 * std::log10(outputPower_ / pIn);

  cavityVoltage_[0] = tube.cavity(0).driveVoltage(d.beam.frequency, pIn);
  cavityVoltagePhase_[0] = 0.0;
  const Complex z0 = tube.cavity(0).getGapImpedance();
  for (int k = 1; k < n; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const Complex r = excitation[i] * tube.cavity(k).getGapImpedance() / z0;
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
    const kly_CavityDescription& c = d.cavities[static_cast<std::size_t>(k)];
    const double qe = c.qe;
    if (!(qe < kNoExternalLoadQe)) continue;
    const double qo = c.qo;
    const double etaC = qo / (qo + qe);
    const Complex e = excitation[static_cast<std::size_t>(k)];
    const Complex z = tube.cavity(k).getGapImpedance();
    const double s = std::abs((e * e) * (z * z)) / (rq0 * qe0 * c.rq * qe);
    multipleOutputPower_ += pIn * 4.0 * s;
    multipleOutputLoss_ += pIn * (4.0 * (1.0 - etaC) / etaC) * s;
  }
  const double p = multipleOutputPower_;
  multipleOutputTotalEfficiency_ = p / (d.beam.current * tube.beam().getDepressedBeamVoltage());
  multipleOutputCircuitEfficiency_ = p / (p + multipleOutputLoss_);
  multipleOutputElectronicEfficiency_ = multipleOutputTotalEfficiency_ / multipleOutputCircuitEfficiency_;
  multipleOutputGain_ = 10.0 * std::log10(p / pIn);
  hasResults_ = true;
}

void kly_Analytic::calculateAnalyticI1I0(const kly_BuiltTube& tube) { sweep(tube.description(), tube); }

void kly_Analytic::calculateAnalyticI1I0(const kly_Klystron& klystron) {
  sweep(klystron.getDescription(), *klystron.getBuiltTube());
}

void kly_Analytic::sweep(const kly_TubeDescription& values, const kly_BuiltTube& objects) {
  if (!hasResults_) throw kly_StateError("calculateAnalyticI1I0 needs a calculateAnalytics on this tube first");
  const int n = static_cast<int>(values.cavities.size());
  if (n < 1 || n > kMaxCavities || n != objects.cavityCount()) {
    throw kly_StateError("calculateAnalyticI1I0: the cavity list has changed since the last calculateAnalytics (" +
                         std::to_string(n) + " cavities now, " + std::to_string(objects.cavityCount()) +
                         " then); run calculateAnalytics again");
  }
  Cascade cascade(values, objects);

  std::array<double, kProfilePoints> samples{};
  std::array<double, kProfilePoints> positions{};
  int p = n - 1;
  const double zStart = cascade.z(0);
  const double zEnd = cascade.z(p);
  const double step = (zEnd - zStart) / (kProfilePoints - 1);
  double zSaved = cascade.z(p);
  double z = zEnd;
  const double i0 = values.beam.current;
  for (int i = kProfilePoints - 1; i >= 0; --i) {
    positions[static_cast<std::size_t>(i)] = z;
    if (p > 0 && cascade.z(p - 1) > z) {
      // The sample lies before the cavity ahead of the probe: that cavity becomes the probe.
      cascade.setZ(p, zSaved);
      while (p > 0 && cascade.z(p - 1) > z) --p;
      zSaved = cascade.z(p);
    }
    cascade.setZ(p, z);
    samples[static_cast<std::size_t>(i)] = cascade.probeCurrent(cascade.excitation(), p, cavityVoltage_[0]) / i0;
    // Repeated subtraction can undershoot the first gap by rounding; a sample never lies before it,
    // or the input cavity would become its own probe.
    z = std::max(z - step, zStart);
  }

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
