// One time-stepping pass of the disk simulation: one RF period of beam moves
// through the whole tube under the gap fields and its own space charge.

#include <cmath>

#include "simulation/kly_DiskSimulation.h"
#include "simulation/kly_DiskSimulationRun.h"

using kly_disk::kChargeToMass;
using kly_disk::kSpeedOfLight;

// Axial space-charge field [V/m] on ring r of disk d at step s of a pass with
// space charge: the sum of the fields of every other disk ring over one RF
// period behind and one ahead. A periodic beam repeats itself every period,
// so the disk rings behind d are the same disks one period (N_s steps)
// earlier, and those ahead of the period the same disks one period later,
// which only the previous pass has reached. Sources that have stopped or
// turned back carry no field. The separation is measured in the rest frame of
// the acted-on ring. The field ring of the space-charge table must be r.
//
// The order of the sum is part of the result: trailing period, same period
// (all but the ring itself), leading period; disks outside, rings inside.
double kly_DiskSimulation::Run::spaceChargeField(int d, int r, int s) const {
  const Array3D& position = results.position;
  const Array3D& velocity = results.velocity;
  const double z = zCur_[d][r];
  const double beta = vCur_[d][r] / kSpeedOfLight;
  const double contraction = std::sqrt(1 - beta * beta);
  double e = 0;
  if (s >= Ns_) {
    const int st = s - Ns_;  // recorded earlier in this pass
    for (int dp = d; dp < Nd_; ++dp) {
      for (int rp = 0; rp < Nr_; ++rp) {
        if (velocity[dp][rp][st] > 0)
          e += spaceCharge_.getSpaceChargeField((z - position[dp][rp][st]) / contraction, rp);
      }
    }
  }
  for (int dp = 0; dp < Nd_; ++dp) {  // step s as the previous pass recorded it
    for (int rp = 0; rp < Nr_; ++rp) {
      if (dp == d && rp == r) continue;
      if (velocity[dp][rp][s] > 0) e += spaceCharge_.getSpaceChargeField((z - position[dp][rp][s]) / contraction, rp);
    }
  }
  const int sl = s + Ns_;  // as the previous pass recorded it
  for (int dp = 0; dp <= d; ++dp) {
    for (int rp = 0; rp < Nr_; ++rp) {
      if (velocity[dp][rp][sl] > 0)
        e += spaceCharge_.getSpaceChargeField((z - position[dp][rp][sl]) / contraction, rp);
    }
  }
  return e;
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
  results.diskReflected = false;

  // Launch. Without an imported beam the disks fill one electronic wavelength
  // from z start on, 2 wavelengths upstream of the injection plane.
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
        spaceCharge_.setFieldRing(r);
        const double z = zCur_[d][r];
        if (z < zInj_ || z > regionEnd || lastPeriod) continue;
        if (i > 0) eSc_[d][r] = spaceChargeField(d, r, s);
        eCav_[d][r] = cavityField(d, r, t);
      }
    }

    // Push and record: positions by the second-order central difference,
    // velocities by the leapfrog over two steps, under the relativistic axial
    // acceleration (e/m) E / gamma^3.
    const double minimumLocation = results.minVOverCLocation;  // found by the previous pass
    for (int d = 0; d < Nd_; ++d) {
      for (int r = 0; r < Nr_; ++r) {
        double* position = results.position[d][r];
        double* velocity = results.velocity[d][r];
        position[s] = zCur_[d][r];
        velocity[s] = vCur_[d][r];
        const double v = vCur_[d][r];
        if (v > 0) {
          const double beta = v / kSpeedOfLight;
          const double a = -(eSc_[d][r] * kChargeToMass + eCav_[d][r] * kChargeToMass) *
                           std::sqrt(std::pow(std::fabs(1 - beta * beta), 3));
          const double zNew = a * dt_ * dt_ + 2 * zCur_[d][r] - zPrev_[d][r];
          const double vNew = 2 * dt_ * a + vPrev_[d][r];
          zPrev_[d][r] = zCur_[d][r];
          zCur_[d][r] = zNew;
          vPrev_[d][r] = vCur_[d][r];
          vCur_[d][r] = vNew;
        } else {
          // Stopped or turned back: frozen for the rest of the pass.
          results.diskReflected = true;
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
      }
    }
  }

  // Smallest v/c of the innermost ring over the pass, except its last two steps.
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
