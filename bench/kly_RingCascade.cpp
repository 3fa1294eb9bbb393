#include "bench/kly_RingCascade.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numeric>
#include <stdexcept>

#include "klystron/core/kly_Constants.h"
#include "klystron/model/kly_Beam.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Cavity.h"
#include "simulation/kly_SpaceCharge.h"

namespace {

using Complex = std::complex<double>;
constexpr double kChargeToMass = kly::kChargeToMass;  // [C/kg]
constexpr double kNoExternalLoadQe = kly::kNoExternalLoadQe;

// Eigenvalues and orthonormal eigenvectors (columns of v) of the symmetric
// matrix a (n x n, row-major), by cyclic Jacobi rotations.
void symmetricEigen(std::vector<double> a, int n, std::vector<double>& values, std::vector<double>& v) {
  v.assign(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) v[i * n + i] = 1;
  const auto at = [n](std::vector<double>& m, int i, int j) -> double& { return m[i * n + j]; };
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0, all = 0;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) (i == j ? all : off) += at(a, i, j) * at(a, i, j);
    if (off <= 1e-30 * (all + off)) break;
    for (int p = 0; p < n; ++p) {
      for (int q = p + 1; q < n; ++q) {
        if (at(a, p, q) == 0) continue;
        const double theta = (at(a, q, q) - at(a, p, p)) / (2 * at(a, p, q));
        const double t = (theta >= 0 ? 1 : -1) / (std::abs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1 / std::sqrt(t * t + 1), s = t * c;
        for (int k = 0; k < n; ++k) {  // columns p, q
          const double akp = at(a, k, p), akq = at(a, k, q);
          at(a, k, p) = c * akp - s * akq;
          at(a, k, q) = s * akp + c * akq;
        }
        for (int k = 0; k < n; ++k) {  // rows p, q
          const double apk = at(a, p, k), aqk = at(a, q, k);
          at(a, p, k) = c * apk - s * aqk;
          at(a, q, k) = s * apk + c * aqk;
        }
        for (int k = 0; k < n; ++k) {
          const double vkp = at(v, k, p), vkq = at(v, k, q);
          at(v, k, p) = c * vkp - s * vkq;
          at(v, k, q) = s * vkp + c * vkq;
        }
      }
    }
  }
  values.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) values[i] = at(a, i, i);
}

// int_0^xmax g(x) sin(kappa x) dx for g linear between the grid points
// x_k = k * h (k = 0 .. n-1) and 0 beyond: three Gauss points per interval.
double sineTransform(const std::vector<double>& g, double h, double kappa) {
  const double nodes[3] = {-0.7745966692414834, 0.0, 0.7745966692414834};
  const double weights[3] = {5.0 / 9, 8.0 / 9, 5.0 / 9};
  double sum = 0;
  for (std::size_t k = 0; k + 1 < g.size(); ++k) {
    for (int q = 0; q < 3; ++q) {
      const double t = 0.5 * (1 + nodes[q]);
      const double x = (k + t) * h;
      sum += 0.5 * h * weights[q] * (g[k] + t * (g[k + 1] - g[k])) * std::sin(kappa * x);
    }
  }
  return sum;
}

// Beam-loading conductance and susceptance [S] of a Gaussian gap of
// parameter alpha for one space-charge wave pair beta_e +- beta_q, in the
// form the analytic model uses.
void beamLoading(double g0, double betaE, double betaQ, double sigma, double m, double alpha, double& gb,
                 double& bb) {
  const double ratio = betaQ / betaE;
  const double lnM = std::log(m);
  gb = g0 / 8 * (betaE / betaQ) * (std::exp(2 * lnM * (1 - ratio) * (1 - ratio)) -
                                   std::exp(2 * lnM * (1 + ratio) * (1 + ratio))) * 2 / (sigma * (sigma + 1));
  constexpr int n = 200;
  const double s = std::sqrt(std::log(10000.0)) / alpha, h = 2 * s / (n - 1);
  const double amplitude = alpha / 1.7724538509055159;
  std::array<double, n> z{}, e{};
  for (int i = 0; i < n; ++i) {
    z[i] = -s + i * h;
    e[i] = amplitude * std::exp(-alpha * alpha * z[i] * z[i]);
  }
  const auto integral = [&](double k) {
    std::array<double, n> inner{};
    for (int a = 1; a < n; ++a) {
      double sum = 0;
      for (int u = 1; u <= a; ++u)
        sum += 0.5 * (e[a] * e[u] * std::sin(k * (z[u] - z[a])) + e[a] * e[u - 1] * std::sin(k * (z[u - 1] - z[a])));
      inner[a] = h * sum;
    }
    double outer = 0;
    for (int a = 1; a < n; ++a) outer += 0.5 * (inner[a] + inner[a - 1]);
    return h * outer;
  };
  bb = -(g0 / 4) * (betaE / betaQ) * (integral(betaE + betaQ) - integral(betaE - betaQ)) * 2 / (sigma * (sigma + 1));
}

}  // namespace

kly_RingCascadeResult kly_RingCascade::estimate(const kly_BuiltTube& tube, int rings, bool beamAveraged) {
  const kly_Beam& beam = tube.beam();
  const kly_TubeDescription& d = tube.description();
  const int n = beamAveraged ? 1 : rings;
  const int nc = tube.cavityCount();
  if (n < 1 || n > kly_SpaceCharge::kMaxRings) throw std::invalid_argument("ring cascade: ring count out of range");
  const double u0 = beam.getBeamVelocity();
  const double betaE = beam.getBetaE();
  const double sigma = beam.getSigma();
  const double I0 = beam.getBeamCurrent();
  const double g0 = beam.getBeamConductance();
  const double omega = beam.getOmega();

  // Radial modes of the ring-resolved beam.
  std::vector<double> lambda, e;
  if (beamAveraged) {
    lambda = {beam.getBetaQ() * beam.getBetaQ()};
    e = {1.0};
  } else {
    kly_SpaceCharge table;  // the thin-disk field of one coulomb per disk
    if (d.beam.round)
      table.buildRoundBeamTable(1.0, u0, d.beam.beamRadius, d.beam.tubeRadius, n);
    else
      table.buildSheetBeamTable(1.0, u0, d.beam.beamWidth, d.beam.beamHeight, d.beam.tubeWidth, d.beam.tubeHeight,
                                n);
    const double h = table.getZMax() / kly_SpaceCharge::kIntervals;
    std::vector<double> W(static_cast<std::size_t>(n) * n);
    std::vector<double> g(kly_SpaceCharge::kTablePoints);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        // Ring j alone carries 1/n C; per coulomb of it:
        for (int k = 0; k < kly_SpaceCharge::kTablePoints; ++k)
          g[k] = (table.tableValue(k, j + 1, i) - table.tableValue(k, j, i)) * n;
        const double G = sineTransform(g, h, betaE / sigma);
        W[i * n + j] = 2 * betaE * (I0 / (n * u0)) * kChargeToMass / (u0 * u0 * std::pow(sigma, 4)) * G;
      }
    }
    for (int i = 0; i < n; ++i)  // symmetric up to the table's rounding
      for (int j = i + 1; j < n; ++j) W[i * n + j] = W[j * n + i] = 0.5 * (W[i * n + j] + W[j * n + i]);
    symmetricEigen(W, n, lambda, e);
  }
  std::vector<int> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) { return lambda[a] > lambda[b]; });

  kly_RingCascadeResult result;
  std::vector<double> betaQ(static_cast<std::size_t>(n));
  for (int m = 0; m < n; ++m) {
    betaQ[m] = std::sqrt(std::max(lambda[m], 0.0));
    double s = 0;
    for (int i = 0; i < n; ++i) s += e[i * n + m];
  }

  // Per cavity: coupling of each ring, its projection on each mode, the gap impedance.
  std::vector<std::vector<Complex>> projection(static_cast<std::size_t>(nc));  // (M . e_m) per mode
  std::vector<Complex> Z(static_cast<std::size_t>(nc));
  for (int c = 0; c < nc; ++c) {
    const kly_Cavity& cavity = tube.cavity(c);
    std::vector<Complex> M(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      if (beamAveraged || cavity.getFieldRings() == 0) {
        M[i] = cavity.getM();
      } else {
        // The ring's own coupling at beta_e, from its field profile.
        const int samples = 4000;
        const double a = cavity.getFieldZMin(), b = cavity.getFieldZMax(), dz = (b - a) / samples;
        Complex sum = 0;
        double integral = 0;
        for (int q = 0; q < samples; ++q) {
          const double z = a + (q + 0.5) * dz;
          const double f = cavity.getField(z, i);
          sum += f * std::exp(Complex(0, betaE * (z - cavity.getZCenter()))) * dz;
          integral += f * dz;
        }
        M[i] = sum / integral;
      }
    }
    projection[c].resize(static_cast<std::size_t>(n));
    for (int m = 0; m < n; ++m) {
      Complex p = 0;
      for (int i = 0; i < n; ++i) p += M[i] * e[i * n + m];
      projection[c][m] = p;
    }
    if (beamAveraged) {
      Z[c] = cavity.getGapImpedance();
      continue;
    }
    double gb = 0, bb = 0;
    for (int m = 0; m < n; ++m) {
      double gm, bm;
      beamLoading(g0, betaE, betaQ[m], sigma, cavity.getM(), cavity.getAlpha(), gm, bm);
      const double w = std::norm(projection[c][m]) / (n * cavity.getM() * cavity.getM());
      gb += w * gm;
      bb += w * bm;
    }
    const double rq = cavity.getRQ(), qo = cavity.getQo(), qe = cavity.getQe();
    const double qb = 1 / (rq * gb);
    const double f1 = cavity.getFrequency() / std::sqrt(1 + rq * bb);
    const double qt = qe >= kNoExternalLoadQe ? 1 / (1 / qo + 1 / qb) : 1 / (1 / qo + 1 / qe + 1 / qb);
    const double F = cavity.getHarmonic() * beam.getFrequency();
    Z[c] = rq / Complex(1 / qt, (F * F - f1 * f1) / (f1 * F));
  }

  // Drive voltage of the input gap, as the disk simulation sets it.
  const kly_Cavity& first = tube.cavity(0);
  const double f = beam.getFrequency(), f0 = d.cavities[0].frequency, rq0 = d.cavities[0].rq;
  const double B = first.getBb() + ((f * f - f0 * f0) / (f * f0)) / rq0;
  const double QL = 1 / (1 / d.cavities[0].qo + 1 / first.getQb());
  const Complex Y(1 / (rq0 * QL), B);
  const double Ge = 1 / (d.cavities[0].qe * rq0);
  const double gamma = std::abs((Ge - Y) / (Ge + Y));
  const double S = (1 + gamma) / (1 - gamma);
  const double Pin = d.beam.inputPower;

  std::vector<Complex> V(static_cast<std::size_t>(nc));
  V[0] = std::sqrt(2 * Pin * S * rq0 * QL) * 2 / (S + 1);
  for (int b = 1; b < nc; ++b) {
    Complex current = 0;
    for (int a = 0; a < b; ++a) {
      if (d.cavities[a].harmonic != 1) continue;  // a harmonic gap drives nothing at the fundamental
      const double dz = d.cavities[b].z - d.cavities[a].z;
      Complex modes = 0;
      for (int m = 0; m < n; ++m)
        modes += projection[b][m] * projection[a][m] / static_cast<double>(n) * std::sin(betaQ[m] * dz) / betaQ[m];
      const Complex coefficient = -betaE * g0 * modes / (sigma + sigma * sigma);
      current += Complex(0, 1) * coefficient * std::exp(Complex(0, -betaE * dz)) * V[a];
    }
    V[b] = Z[b] * current;
  }
  (void)omega;
  const int L = nc - 1;
  result.outputPower = std::norm(V[L]) / (2 * d.cavities[L].rq * d.cavities[L].qe);
  result.gain = 10 * std::log10(result.outputPower / Pin);
  for (int m = 0; m < n; ++m) {
    const int o = order[m];
    result.betaQ.push_back(betaQ[o]);
    double s = 0;
    for (int i = 0; i < n; ++i) s += e[i * n + o];
    result.weight.push_back(s * s / n);
  }
  for (const Complex& v : V) result.cavityVoltage.push_back(std::abs(v));
  result.rings = n;
  result.betaE = betaE;
  result.scale = -betaE * g0 / (sigma + sigma * sigma);
  result.I0 = I0;
  for (int c = 0; c < nc; ++c) {
    result.z.push_back(d.cavities[c].z);
    result.drives.push_back(d.cavities[c].harmonic == 1);
  }
  result.voltage = V;
  result.projection = projection;
  result.modeBetaQ = betaQ;
  result.shape = e;
  return result;
}

double kly_RingCascadeResult::bunching(double at, bool innerRing) const {
  const int n = rings;
  std::vector<Complex> ring(static_cast<std::size_t>(n));
  for (std::size_t a = 0; a < z.size(); ++a) {
    const double dz = at - z[a];
    if (dz <= 0 || !drives[a]) continue;
    for (int i = 0; i < n; ++i)
      for (int m = 0; m < n; ++m)
        ring[i] += Complex(0, 1) * scale / static_cast<double>(n) * shape[i * n + m] * projection[a][m] *
                   std::sin(modeBetaQ[m] * dz) / modeBetaQ[m] * std::exp(Complex(0, -betaE * dz)) * voltage[a];
  }
  if (innerRing) return std::abs(ring[0]) / (I0 / n);
  Complex total = 0;
  for (const Complex& c : ring) total += c;
  return std::abs(total) / I0;
}
