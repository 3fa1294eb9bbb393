// The cavity-voltage iteration of the disk simulation: passes repeat until
// each gap voltage is the one its induced current drives across the cavity's
// circuit impedance.

#include <cmath>
#include <cstdlib>

#include "klystron/simulation/kly_DiskSimulation.h"
#include "simulation/kly_DiskSimulationRun.h"

namespace {

using Complex = std::complex<double>;

constexpr double kVoltageLimit = 3.0;  // gap voltages above this many times Vd restart from 0

double phaseOf(Complex v) { return std::atan2(v.imag(), v.real()); }

}  // namespace

void kly_DiskSimulation::Run::harmonicCurrents() {
  for (int k = 0; k < nc_; ++k) {
    const auto q = static_cast<std::size_t>(k);
    fourier_.setSamples(induced_[k], Ns_);
    for (int h = 0; h < kHarmonics; ++h) {
      const auto n = static_cast<std::size_t>(h);
      H_[q][n] = fourier_.coefficient(h);
      results.currentMagnitude[q][n] = std::abs(H_[q][n]);
      results.currentPhase[q][n] = phaseOf(H_[q][n]);
    }
  }
}

// New gap voltages from the latest pass: plain substitution in the first two
// passes, then the complex secant step on V - F(V) = 0 through the last two
// passes. A voltage beyond three times the depressed beam voltage restarts
// that cavity from an unexcited state.
void kly_DiskSimulation::Run::updateVoltages() {
  const double limit = kVoltageLimit * Vd_;
  const auto limited = [limit](Complex v) { return std::abs(v) > limit ? Complex(0.0, 0.0) : v; };
  // With an imported beam the input cavity, too, takes its voltage from the beam.
  const int k0 = imported_ ? 0 : 1;
  for (int k = k0; k < nc_; ++k) {
    const auto q = static_cast<std::size_t>(k);
    const auto n = static_cast<std::size_t>(std::abs(static_cast<int>(harmonic_[q])));
    Complex& V = V_[q];
    Complex& F = F_[q];
    Fp_[q] = F;
    W_[q] = V;
    F = -cavity_[q]->getCircuitImpedance() * H_[q][n];
    if (results.iterations <= 1 || std::abs(V - F) <= kly::kConvergence) {
      V = limited(F);
    } else if (std::abs(Vp_[q] - V) == 0) {
      V = F;
    } else {
      const Complex slope = ((Vp_[q] - Fp_[q]) - (V - F)) / (Vp_[q] - V);
      if (std::abs(slope) == 0)
        V = Complex(0.0, 0.0);
      else
        V = limited(V - (V - F) / slope);
    }
    Vp_[q] = W_[q];
    results.cavityVoltage[q] = std::abs(V);
    results.cavityVoltagePhase[q] = phaseOf(V);
  }
}

void kly_DiskSimulation::Run::iterate() {
  const auto L = static_cast<std::size_t>(last_);
  // A convergence measure that is not a number ends the loop as well.
  while (results.iterations < M_ && epsilon_ > kly::kConvergence) {
    const int i = results.iterations;
    pass(i);
    harmonicCurrents();
    updateVoltages();

    // Beam-loading admittance of the input gap.
    if (imported_) {
      results.gb1 = 0;
      results.bb1 = 0;
    } else {
      const Complex Y1 = H_[0][1] / V_[0];
      results.gb1 = Y1.real();
      results.bb1 = Y1.imag();
    }

    // Relative change of the output voltage between the last two passes.
    if (results.iterations > 1) {
      const double P = std::abs(Vp_[L]);
      epsilon_ = P == 0 ? 1.0 : std::fabs(1 - std::abs(V_[L]) / P);
    }

    for (int k = 0; k < kMaxCavities; ++k) {
      double* induced = induced_[k];
      for (int p = 0; p < Ns_; ++p) induced[p] = 0;
    }
    results.iterations += 1;

    if (options_.observer && !options_.observer(kly_PassReport{i, epsilon_, results.cavityVoltage[L]})) break;
  }
}
