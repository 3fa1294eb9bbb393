#pragma once

#include <complex>
#include <vector>

class kly_BuiltTube;

// An independent small-signal estimate of a beam resolved into rings (round
// beam) or strips (sheet beam): the cascade of the analytic model, with the
// single space-charge wave pair of the beam-averaged plasma reduction
// replaced by the radial modes of the rings.
//
// Each ring carries I0/N. A current modulation of wavenumber k on ring j
// drives an axial field on ring i; from the thin-disk field of the
// space-charge table (ring j alone averaged over ring i, g_ij(x) per coulomb
// at rest-frame separation x), the linearised cold-fluid equations give
//   (beta_e - k)^2 i_i = sum_j W_ij i_j,
//   W_ij = 2 k (I0 / (N u0)) (e/m) / (u0^2 sigma^4) * int_0^inf g_ij(x) sin(k x / sigma) dx,
// evaluated at k = beta_e. W is symmetric (rings of equal area); its
// eigenvalues are beta_q,m^2 of N space-charge wave pairs beta_e +- beta_q,m and
// its eigenvectors e_m their radial shapes. A gap of coupling M_i on ring i
// modulates every ring alike in voltage; the current it induces at a later
// gap b is the analytic model's transfer with
//   M_a M_b sin(beta_q dz) / beta_q  ->  sum_m (M_b . e_m)(M_a . e_m) / N sin(beta_q,m dz) / beta_q,m,
// and each gap's beam loading is the sum over the modes of the analytic
// model's Gb and Bb at beta_q,m, weighted by (M . e_m)^2 / (N M^2). With one
// ring and the beam's own beta_q this is the analytic cascade.
//
// Used by the near-field study (docs/near-field.md) to tell a difference
// between a ring-resolved disk simulation and the analytic model that the
// radial structure of the beam explains from one the numerics make.
struct kly_RingCascadeResult {
  double gain = 0;                   // output over input power [dB]
  double outputPower = 0;            // into the last cavity's load [W]
  std::vector<double> betaQ;         // beta_q,m of the modes [rad/m], largest first
  std::vector<double> weight;        // (sum_i e_m,i)^2 / N: share of a uniform modulation in mode m
  std::vector<double> cavityVoltage; // |V_k| [V]

  // I1/I0 at z [m] of the whole beam and of ring 0 alone (the simulation's
  // bunching profile follows ring 0), from the gaps upstream of z.
  double beamI1I0(double z) const { return bunching(z, false); }
  double innerRingI1I0(double z) const { return bunching(z, true); }

  // What the profile needs.
  int rings = 0;
  double betaE = 0, scale = 0, I0 = 0;  // scale: -beta_e G0 / (sigma + sigma^2)
  std::vector<double> z;                // gap centres [m]
  std::vector<bool> drives;             // harmonic 1
  std::vector<std::complex<double>> voltage;
  std::vector<std::vector<std::complex<double>>> projection;  // [cavity][mode] M . e_m
  std::vector<double> modeBetaQ;        // unsorted, as the modes are stored
  std::vector<double> shape;            // e[ring * rings + mode]

private:
  double bunching(double z, bool innerRing) const;
};

class kly_RingCascade {
public:
  // The estimate for `rings` rings of a built tube (its beam, cavity objects
  // and description). With beamAveraged, one mode of the beam's own beta_q
  // instead of the table's: the analytic cascade itself.
  static kly_RingCascadeResult estimate(const kly_BuiltTube& tube, int rings, bool beamAveraged = false);
};
