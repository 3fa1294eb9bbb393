// What a completed run of the disk simulation derives from its last pass and
// voltage update, and the getters that read it.

#include <cmath>
#include <stdexcept>
#include <string>

#include "klystron/core/kly_Errors.h"
#include "klystron/simulation/kly_DiskSimulation.h"
#include "simulation/kly_DiskSimulationRun.h"

using kly::kSpeedOfLight;

void kly_DiskSimulation::Run::deriveResults() {
  const auto L = static_cast<std::size_t>(last_);
  const double beamPower = I0_ * Vd_;
  const double pIn = values_.beam.inputPower;

  // Power the beam gives the output gap at the fundamental, whatever the cavity's harmonic.
  const double pb = -(V_[L] * std::conj(H_[L][1])).real() / 2;
  results.electronicEfficiency = pb / beamPower;
  const kly_CavityDescription& output = values_.cavities[L];
  const double qoL = output.qo;
  const double qeL = output.qe;
  results.circuitEfficiency = qoL / (qeL + qoL);
  // Share of the kinetic energy the beam loses across the output gap's field,
  // from the sums over all disk rings of sigma - 1 (kinetic over rest energy).
  const auto kineticEnergy = [this](const Array2D& velocity) {
    double sum = 0;
    for (int d = 0; d < Nd_; ++d) {
      for (int r = 0; r < Nr_; ++r) {
        const double beta = velocity[d][r] / kSpeedOfLight;
        sum += 1 / std::sqrt(1 - beta * beta) - 1;
      }
    }
    return sum;
  };
  const double exitSum = kineticEnergy(results.exitVelocity);
  const double entrySum = kineticEnergy(results.entryVelocity);
  results.kineticEfficiency = std::fabs(1 - exitSum / entrySum);
  results.totalEfficiency = results.electronicEfficiency * results.circuitEfficiency;
  results.outputPower = pb * results.circuitEfficiency;
  results.gain = 10 * std::log10(results.outputPower / pIn);

  // Every externally loaded cavity after the input one as an output.
  results.multipleOutputPower = 0;
  results.multipleOutputWallPower = 0;
  results.multipleOutputElectronicEfficiency = 0;
  results.multipleOutputCircuitEfficiency = 0;
  results.multipleOutputTotalEfficiency = 0;
  results.multipleOutputGain = 0;
  for (int k = 1; k <= last_; ++k) {
    const kly_CavityDescription& c = values_.cavities[static_cast<std::size_t>(k)];
    const double qe = c.qe;
    if (!(qe < kly::kNoExternalLoadQe)) continue;
    const double qo = c.qo;
    const double eta = qo / (qe + qo);
    const auto q = static_cast<std::size_t>(k);
    const double R = (V_[q] * std::conj(H_[q][1])).real();
    results.multipleOutputPower += -eta * R / 2;
    results.multipleOutputWallPower += -(1 - eta) * R / 2;
  }
  const double P = results.multipleOutputPower;
  results.multipleOutputTotalEfficiency = P / beamPower;
  results.multipleOutputCircuitEfficiency = P / (P + results.multipleOutputWallPower);
  results.multipleOutputElectronicEfficiency =
      results.multipleOutputTotalEfficiency / results.multipleOutputCircuitEfficiency;
  results.multipleOutputGain = 10 * std::log10(P / pIn);

  // Neighbouring gap fields in list order.
  results.fieldOverlapping = false;
  double zPrevious = cavity_[0]->getFieldZMax();
  for (int k = 1; k <= last_; ++k) {
    const kly_Cavity& cavity = *cavity_[static_cast<std::size_t>(k)];
    if (zPrevious > cavity.getFieldZMin()) results.fieldOverlapping = true;
    zPrevious = cavity.getFieldZMax();
  }

  bunching();
}

// Fundamental and second-harmonic current of the innermost rings along z:
// each disk adds its arrival phase at every grid position it crosses.
void kly_DiskSimulation::Run::bunching() {
  std::array<double, kGridPoints> C1{}, S1{}, C2{}, S2{};
  double z0 = values_.cavities[0].z - 2 * lambda_;
  const double z1 = values_.cavities[static_cast<std::size_t>(last_)].z + 5 * lambda_;
  // No disk's innermost ring may lie downstream of the grid start at step 1.
  double m = results.position[0][0][1];
  for (int d = 1; d < Nd_; ++d) {
    if (results.position[d][0][1] > m) m = results.position[d][0][1];
  }
  if (m > z0) z0 = m;
  std::array<double, kGridPoints>& zg = results.grid;
  for (int i = 0; i < kGridPoints; ++i) zg[static_cast<std::size_t>(i)] = (z1 - z0) * i / (kGridPoints - 1) + z0;
  results.gridStart = z0;
  results.gridEnd = z1;

  for (int d = 0; d < Nd_; ++d) {
    const double* position = results.position[d][0];
    std::size_t p = 0;
    for (int s = 1; s < Nt_ && p < kGridPoints; ++s) {
      const double za = position[s - 1];
      const double zb = position[s];
      while (p < kGridPoints && za <= zg[p] && zg[p] < zb) {
        // Arrival phase at zg[p] in RF periods, relative to an unbunched beam.
        const double tau = zg[p] / lambda_ - (s + (zg[p] - za) / (zb - za)) / Ns_;
        C1[p] += std::cos(kly::kTwoPi * tau);
        S1[p] += std::sin(kly::kTwoPi * tau);
        C2[p] += std::cos(kly::kFourPi * tau);
        S2[p] += std::sin(kly::kFourPi * tau);
        p += 1;
      }
    }
  }
  for (std::size_t i = 0; i < kGridPoints; ++i) {
    results.i1i0[i] = 2 * std::sqrt(C1[i] * C1[i] + S1[i] * S1[i]) / Nd_;
    results.i2i0[i] = 2 * std::sqrt(C2[i] * C2[i] + S2[i] * S2[i]) / Nd_;
    results.i1Phase[i] = std::atan2(S1[i], C1[i]);
  }
  std::size_t best = 0;
  for (std::size_t i = 0; i < kGridPoints; ++i) {
    if (results.i1i0[i] > results.i1i0[best]) best = i;
  }
  results.maxI1I0 = results.i1i0[best];
  results.maxI1I0Location = zg[best];
}

// ---- Getters -------------------------------------------------------------------

namespace {

void checkCavity(int cavity, const char* what) {
  if (cavity < 0 || cavity >= kly_DiskSimulation::kMaxCavities)
    throw std::out_of_range(std::string(what) + ": cavity " + std::to_string(cavity) + " is outside 0 to " +
                            std::to_string(kly_DiskSimulation::kMaxCavities - 1));
}

void checkHarmonic(int harmonic, const char* what) {
  if (harmonic < 0 || harmonic >= kly_DiskSimulation::kHarmonics)
    throw std::out_of_range(std::string(what) + ": harmonic " + std::to_string(harmonic) + " is outside 0 to " +
                            std::to_string(kly_DiskSimulation::kHarmonics - 1));
}

void checkGridPoint(int i, const char* what) {
  if (i < 0 || i >= kly_DiskSimulation::kGridPoints)
    throw std::out_of_range(std::string(what) + ": grid point " + std::to_string(i) + " is outside 0 to " +
                            std::to_string(kly_DiskSimulation::kGridPoints - 1));
}

void checkIndex(int value, int count, const char* name, const char* what) {
  if (value < 0 || value >= count)
    throw std::out_of_range(std::string(what) + ": " + name + " " + std::to_string(value) + " is outside 0 to " +
                            std::to_string(count - 1));
}

}  // namespace

double kly_DiskSimulation::getSimulatedCavityVoltage(int cavity) const {
  checkCavity(cavity, "simulated cavity voltage");
  return r_.cavityVoltage[static_cast<std::size_t>(cavity)];
}

double kly_DiskSimulation::getSimulatedCavityVoltagePhase(int cavity) const {
  checkCavity(cavity, "simulated cavity voltage phase");
  return r_.cavityVoltagePhase[static_cast<std::size_t>(cavity)];
}

double kly_DiskSimulation::getSimulatedCavityCurrentMagnitude(int cavity, int harmonic) const {
  checkCavity(cavity, "simulated cavity current");
  checkHarmonic(harmonic, "simulated cavity current");
  return r_.currentMagnitude[static_cast<std::size_t>(cavity)][static_cast<std::size_t>(harmonic)];
}

double kly_DiskSimulation::getSimulatedCavityCurrentPhase(int cavity, int harmonic) const {
  checkCavity(cavity, "simulated cavity current phase");
  checkHarmonic(harmonic, "simulated cavity current phase");
  return r_.currentPhase[static_cast<std::size_t>(cavity)][static_cast<std::size_t>(harmonic)];
}

double kly_DiskSimulation::profileAt(const std::array<double, kGridPoints>& a, double z) const {
  if (!hasResults_) return 0;
  if (z < r_.gridStart || z > r_.gridEnd) return 0;
  // Exactly the last value at the last position, whatever the rounding of b.
  if (z == r_.gridEnd) return a[kGridPoints - 1];
  const double b = (z - r_.gridStart) / (r_.grid[1] - r_.grid[0]);
  if (!(b >= 0)) return 0;  // z not a number
  if (b >= kGridPoints - 1) return a[kGridPoints - 1];
  const int i = static_cast<int>(b);
  const auto n = static_cast<std::size_t>(i);
  return a[n] + (a[n + 1] - a[n]) * (b - i);
}

double kly_DiskSimulation::getSimulatedI1I0(double z) const { return profileAt(r_.i1i0, z); }
double kly_DiskSimulation::getSimulatedI1I0Phase(double z) const { return profileAt(r_.i1Phase, z); }
double kly_DiskSimulation::getSimulatedI2I0(double z) const { return profileAt(r_.i2i0, z); }

double kly_DiskSimulation::getBunchingGridZ(int i) const {
  checkGridPoint(i, "bunching grid");
  return r_.grid[static_cast<std::size_t>(i)];
}

double kly_DiskSimulation::getSimulatedI1I0Sample(int i) const {
  checkGridPoint(i, "simulated I1/I0");
  return r_.i1i0[static_cast<std::size_t>(i)];
}

double kly_DiskSimulation::getSimulatedI1I0PhaseSample(int i) const {
  checkGridPoint(i, "simulated I1 phase");
  return r_.i1Phase[static_cast<std::size_t>(i)];
}

double kly_DiskSimulation::getSimulatedI2I0Sample(int i) const {
  checkGridPoint(i, "simulated I2/I0");
  return r_.i2i0[static_cast<std::size_t>(i)];
}

void kly_DiskSimulation::checkDiskRing(int disk, int ring, const char* what) const {
  if (!hasResults_) throw kly_StateError(std::string(what) + ": no simulation has run");
  checkIndex(disk, r_.disks, "disk", what);
  checkIndex(ring, r_.rings, "ring", what);
}

double kly_DiskSimulation::getSimulatedDiskPosition(int disk, int ring, int step) const {
  checkDiskRing(disk, ring, "simulated disk position");
  checkIndex(step, r_.maxTimeStep, "time step", "simulated disk position");
  return r_.position[disk][ring][step];
}

double kly_DiskSimulation::getSimulatedDiskVelocity(int disk, int ring, int step) const {
  checkDiskRing(disk, ring, "simulated disk velocity");
  checkIndex(step, r_.maxTimeStep, "time step", "simulated disk velocity");
  return r_.velocity[disk][ring][step];
}

double kly_DiskSimulation::getSimulatedEntryVelocity(int disk, int ring) const {
  checkDiskRing(disk, ring, "simulated entry velocity");
  return r_.entryVelocity[disk][ring];
}

double kly_DiskSimulation::getSimulatedExitVelocity(int disk, int ring) const {
  checkDiskRing(disk, ring, "simulated exit velocity");
  return r_.exitVelocity[disk][ring];
}

double kly_DiskSimulation::getVelocityAtMinimumBeta(int disk, int ring) const {
  checkDiskRing(disk, ring, "velocity at minimum beta");
  return r_.velocityAtMinimumBeta[disk][ring];
}
