// One time-stepping pass of the disk simulation: one RF period of beam moves
// through the whole tube under the gap fields and its own space charge.

#include <cmath>

#include "klystron/simulation/kly_DiskSimulation.h"
#include "simulation/kly_DiskSimulationRun.h"

using kly::kChargeToMass;
using kly::kSpeedOfLight;

// Axial space-charge field [V/m] on ring r of disk d at step s of a pass with
// space charge, summed plainly. The field ring of the space-charge table must be r.
double kly_DiskSimulation::Run::spaceChargeField(int d, int r, int s) const {
  return kly_SpaceChargeSum::plainField(spaceCharge_, trajectories(), d, r, s, zCur_[d][r], vCur_[d][r]);
}

// Axial gap field [V/m] of all cavities on ring r of disk d at time t [s],
// each gap oscillating at its own signed harmonic of the drive.
double kly_DiskSimulation::Run::cavityField(int d, int r, double t) const {
  const double z = zCur_[d][r];
  double e = 0;
  for (int k = 0; k < nc_; ++k) {
    const auto q = static_cast<std::size_t>(k);
    e += cavity_[q]->getField(z, r) * results.cavityVoltage[q] *
         std::cos(omega_ * harmonic_[q] * t + results.cavityVoltagePhase[q]);
  }
  return e;
}

void kly_DiskSimulation::Run::pass(int i) {
  if (options_.kernel == kly_PassKernel::reference)
    plainPass(i);
  else
    fastPass(i);
}

// Launch. Without an imported beam the disks fill one electronic wavelength
// from z start on, 2 wavelengths upstream of the injection plane.
void kly_DiskSimulation::Run::launch() {
  for (int d = 0; d < Nd_; ++d) {
    for (int r = 0; r < Nr_; ++r) {
      if (imported_) {
        vPrev_[d][r] = vCur_[d][r] = beamImport_.velocity(d);
        zPrev_[d][r] = beamImport_.z(d) + zInj_;
        zCur_[d][r] = zPrev_[d][r] + vPrev_[d][r] * dt_;
      } else {
        vPrev_[d][r] = vCur_[d][r] = u0_;
        zPrev_[d][r] = results.zStart + d * dz_;
        zCur_[d][r] = zPrev_[d][r] + u0_ * dt_;
      }
    }
  }
}

// Records ring r of disk d at step s and pushes it under its fields: the
// position by the second-order central difference, the velocity by the
// leapfrog over two steps, under the relativistic axial acceleration
// (e/m) E / gamma^3. Returns whether the ring had stopped or turned back.
bool kly_DiskSimulation::Run::push(int d, int r, int s, double minimumLocation) {
  bool reflected = false;
  double* position = results.position[d][r];
  double* velocity = results.velocity[d][r];
  position[s] = zCur_[d][r];
  velocity[s] = vCur_[d][r];
  const double v = vCur_[d][r];
  if (v > 0) {
    const double beta = v / kSpeedOfLight;
    const double force = eSc_[d][r] * kChargeToMass + eCav_[d][r] * kChargeToMass;
    const double gamma2 = std::fabs(1 - beta * beta);
    // A drifting ring feels no field: -force is a zero, and so is the product
    // with the finite factor 1/gamma^3, of the same sign; no call of pow.
    const double a = force == 0 && gamma2 < 1e100 ? -force : -force * std::sqrt(std::pow(gamma2, 3));
    const double zNew = a * dt_ * dt_ + 2 * zCur_[d][r] - zPrev_[d][r];
    const double vNew = 2 * dt_ * a + vPrev_[d][r];
    zPrev_[d][r] = zCur_[d][r];
    zCur_[d][r] = zNew;
    vPrev_[d][r] = vCur_[d][r];
    vCur_[d][r] = vNew;
  } else {
    // Stopped or turned back: frozen for the rest of the pass.
    reflected = true;
  }
  // Crossings of the planes, seen over the two steps from s - 1 to s + 1.
  if (s >= 1) {
    const double zp = position[s - 1];
    const double zc = zCur_[d][r];
    const double vc = vCur_[d][r];
    if (zp < za_ && za_ <= zc) results.entryVelocity[d][r] = vc;
    if (zp < zb_ && zb_ <= zc) results.exitVelocity[d][r] = vc;
    if (zp < minimumLocation && minimumLocation <= zc) results.velocityAtMinimumBeta[d][r] = vc;
  }
  return reflected;
}

// Smallest v/c of the innermost ring over the pass, except its last two steps.
void kly_DiskSimulation::Run::findMinimumVOverC() {
  double betaMin = 1.0;
  for (int d = 0; d < Nd_; ++d) {
    const double* position = results.position[d][0];
    const double* velocity = results.velocity[d][0];
    for (int s = 0; s + 2 < Nt_; ++s) {
      const double beta = velocity[s] / kSpeedOfLight;
      if (beta < betaMin) {
        betaMin = beta;
        results.minVOverCLocation = position[s];
      }
    }
  }
  results.minVOverC = betaMin;
}

// The pass as plainly as it can be written: serial, each field evaluated
// where it is needed, the space-charge sum term by term.
void kly_DiskSimulation::Run::plainPass(int i) {
  results.diskReflected = false;
  launch();

  const double regionEnd = results.zEnd - 2 * lambda_;
  const double ringCharge = -(Q_ / Nr_);
  for (int s = 0; s < Nt_; ++s) {
    const double t = s * dt_;
    const int p = s % Ns_;

    // Current induced in each gap, folded onto one RF period.
    for (int k = 0; k < nc_; ++k) {
      const kly_Cavity& cavity = *cavity_[static_cast<std::size_t>(k)];
      double* induced = induced_[k];
      for (int d = 0; d < Nd_; ++d) {
        for (int r = 0; r < Nr_; ++r)
          induced[p] += ringCharge * cavity.getField(zCur_[d][r], r) * vCur_[d][r] / cavity.getFieldIntegral(r);
      }
    }

    // Fields. Upstream of the injection plane, near the end of the tube and
    // during the last RF period of the pass the disks drift.
    const bool lastPeriod = s >= Nt_ - Ns_;
    for (int d = 0; d < Nd_; ++d) {
      for (int r = 0; r < Nr_; ++r) {
        eSc_[d][r] = 0;
        eCav_[d][r] = 0;
      }
    }
    for (int d = 0; d < Nd_; ++d) {
      for (int r = 0; r < Nr_; ++r) {
        const double z = zCur_[d][r];
        if (z < zInj_ || z > regionEnd || lastPeriod) continue;
        if (i > 0) eSc_[d][r] = spaceChargeField(d, r, s);
        eCav_[d][r] = cavityField(d, r, t);
      }
    }

    const double minimumLocation = results.minVOverCLocation;  // found by the previous pass
    for (int d = 0; d < Nd_; ++d) {
      for (int r = 0; r < Nr_; ++r) {
        if (push(d, r, s, minimumLocation)) results.diskReflected = true;
      }
    }
    reportStep(i, s);
  }
  findMinimumVOverC();
}
