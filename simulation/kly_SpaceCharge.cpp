#include "simulation/kly_SpaceCharge.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/kly_Format.h"
#include "klystron/core/kly_Errors.h"
#include "numeric/kly_SpecialFunctions.h"

namespace {

using kly::kEpsilon0;
using kly::kPi;
using kly::kSpeedOfLight;
constexpr double kPi2Epsilon0 = kPi * kPi * kEpsilon0;  // as the sheet-beam field uses it
static_assert(kPi2Epsilon0 == 8.738733104673498e-11);
constexpr int kRoundTerms = 70;     // Bessel series terms (zeros of J0) of the round-beam field
constexpr int kSheetModes = 39;     // modes across the width and across the height of the sheet-beam field
constexpr int kSheetAveraged = 20;  // the last partial sums over width modes that are averaged

using kly::formatNumber;

void checkRings(int rings, const char* what) {
  if (rings < 1 || rings > kly_SpaceCharge::kMaxRings)
    throw std::invalid_argument(std::string("space-charge table: ") + what + " count " + std::to_string(rings) +
                                " is outside 1 to " + std::to_string(kly_SpaceCharge::kMaxRings));
}

void checkCharge(double charge) {
  if (!std::isfinite(charge))
    throw std::invalid_argument("space-charge table: disk charge " + formatNumber(charge) + " C is not finite");
}

void checkVelocity(double velocity) {
  if (!(velocity > 0.0 && velocity < kSpeedOfLight))
    throw std::invalid_argument("space-charge table: beam velocity " + formatNumber(velocity) +
                                " m/s is not between 0 and the speed of light");
}

void checkLength(double value, const char* what) {
  if (!(value > 0.0 && std::isfinite(value)))
    throw std::invalid_argument(std::string("space-charge table: ") + what + " " + formatNumber(value) +
                                " m is not a positive length");
}

void checkInside(double beam, double tube, const char* beamName, const char* tubeName) {
  if (beam > tube)
    throw std::invalid_argument(std::string("space-charge table: ") + beamName + " " + formatNumber(beam) +
                                " m exceeds " + tubeName + " " + formatNumber(tube) + " m");
}

// Relativistic factor of the beam; the tabulated axial range contracts with it.
double lorentzFactor(double velocity) {
  const double beta = velocity / kSpeedOfLight;
  return 1 / std::sqrt(1 - beta * beta);
}

double distance(int k, double zmax) { return static_cast<double>(k) / kly_SpaceCharge::kIntervals * zmax; }

}  // namespace

void kly_SpaceCharge::buildRoundBeamTable(double charge, double velocity, double beamRadius, double tubeRadius,
                                          int rings) {
  checkRings(rings, "ring");
  checkCharge(charge);
  checkVelocity(velocity);
  checkLength(beamRadius, "beam radius");
  checkLength(tubeRadius, "tube radius");
  checkInside(beamRadius, tubeRadius, "beam radius", "tube radius");

  const int n = rings;
  const double q = charge;
  const double ab = beamRadius;
  const double b = tubeRadius;
  const double zmax = 4 * b / lorentzFactor(velocity);

  // Field of a uniformly charged disk of radius rho_j in the tube, averaged over
  // ring i: a series over the zeros p of J0 whose terms decay as exp(-p |z| / b).
  // C[(i * n + (j - 1)) * kRoundTerms + t] is the coefficient of term t.
  std::vector<double> coefficient(static_cast<std::size_t>(n) * n * kRoundTerms);
  std::vector<double> scale(static_cast<std::size_t>(n) * n);  // the factor in front of the series
  for (int i = 0; i < n; ++i) {
    const double h = ab * std::sqrt(static_cast<double>(i) / n);      // inner radius of ring i
    const double m = ab * std::sqrt(static_cast<double>(i + 1) / n);  // outer radius of ring i
    for (int j = 1; j <= n; ++j) {
      const double rho = ab * std::sqrt(static_cast<double>(j) / n);  // radius of the source disk
      double* c = &coefficient[(static_cast<std::size_t>(i) * n + (j - 1)) * kRoundTerms];
      for (int t = 0; t < kRoundTerms; ++t) {
        const double p = kly::besselJ0Zeros[t];
        const double d = kly::besselJ1(p) * p;
        c[t] = kly::besselJ1(p * rho / b) * (m * kly::besselJ1(p * m / b) - h * kly::besselJ1(p * h / b)) / (d * d);
      }
      scale[static_cast<std::size_t>(i) * n + (j - 1)] = 2 * q * rho;
    }
  }

  std::vector<double> table(static_cast<std::size_t>(kTablePoints) * (n + 1) * n, 0.0);
  double decay[kRoundTerms];
  for (int k = 1; k < kTablePoints; ++k) {
    const double z = std::abs(distance(k, zmax));
    for (int t = 0; t < kRoundTerms; ++t) decay[t] = std::exp(-kly::besselJ0Zeros[t] * z / b);
    for (int i = 0; i < n; ++i) {
      const double h = ab * std::sqrt(static_cast<double>(i) / n);
      const double m = ab * std::sqrt(static_cast<double>(i + 1) / n);
      const double denominator = kPi * kEpsilon0 * (ab * ab) * (m * m - h * h);
      for (int j = 1; j <= n; ++j) {
        const std::size_t pair = static_cast<std::size_t>(i) * n + (j - 1);
        const double* c = &coefficient[pair * kRoundTerms];
        double s = 0;
        for (int t = 0; t < kRoundTerms; ++t) s += c[t] * decay[t];
        table[(static_cast<std::size_t>(k) * (n + 1) + j) * n + i] = scale[pair] * s / denominator;
      }
    }
  }
  install(std::move(table), zmax, n);
}

void kly_SpaceCharge::buildSheetBeamTable(double charge, double velocity, double beamWidth, double beamHeight,
                                          double tubeWidth, double tubeHeight, int strips) {
  checkRings(strips, "strip");
  checkCharge(charge);
  checkVelocity(velocity);
  checkLength(beamWidth, "beam width");
  checkLength(beamHeight, "beam height");
  checkLength(tubeWidth, "tube width");
  checkLength(tubeHeight, "tube height");
  checkInside(beamWidth, tubeWidth, "beam width", "tube width");
  checkInside(beamHeight, tubeHeight, "beam height", "tube height");

  const int n = strips;
  const double q = charge;
  const double Wb = beamWidth;
  const double Hb = beamHeight;
  const double W = tubeWidth;
  const double H = tubeHeight;
  const double zmax = 3 / (lorentzFactor(velocity) * std::sqrt(1 / (W * W) + 1 / (H * H)));

  // Field of a slab of charge in the rectangular tube averaged over a strip: a
  // double series over the modes (k across the width, l across the height)
  // whose terms decay as exp(-pi |z| sqrt((k/W)^2 + (l/H)^2)).
  // c[((i * n + (j - 1)) * 39 + (k - 1)) * 39 + (l - 1)] is the coefficient of mode (k, l).
  constexpr int kModes2 = kSheetModes * kSheetModes;
  std::vector<double> coefficient(static_cast<std::size_t>(n) * n * kModes2);
  const double x1 = (W - Wb) / 2;  // beam edges across the width
  const double x2 = (W + Wb) / 2;
  double width[kSheetModes];  // the factor of each width mode
  for (int k = 1; k <= kSheetModes; ++k) width[k - 1] = std::cos(k * kPi * x2 / W) - std::cos(k * kPi * x1 / W);
  for (int i = 0; i < n; ++i) {
    // Strip i: the slabs from U0 to U1 above the mid-plane and from L1 to L0 below it.
    const double U0 = (H + i * Hb / n) / 2;
    const double U1 = (H + (i + 1) * Hb / n) / 2;
    const double L1 = (H - (i + 1) * Hb / n) / 2;
    const double L0 = (H - i * Hb / n) / 2;
    for (int j = 1; j <= n; ++j) {
      const double v = j * Hb / n;  // height of the central source slab
      const double S0 = (H - v) / 2;
      const double S1 = (H + v) / 2;
      double* c = &coefficient[(static_cast<std::size_t>(i) * n + (j - 1)) * kModes2];
      // The factors of the height modes, each formed once for all width modes.
      double source[kSheetModes], target[kSheetModes];
      for (int l = 1; l <= kSheetModes; ++l) {
        source[l - 1] = std::cos(l * kPi * S1 / H) - std::cos(l * kPi * S0 / H);
        target[l - 1] = (std::cos(l * kPi * U1 / H) - std::cos(l * kPi * U0 / H)) +
                        (std::cos(l * kPi * L0 / H) - std::cos(l * kPi * L1 / H));
      }
      for (int k = 1; k <= kSheetModes; ++k) {
        for (int l = 1; l <= kSheetModes; ++l) {
          const double w = width[k - 1];
          c[(k - 1) * kSheetModes + (l - 1)] =
              H * W * source[l - 1] * target[l - 1] * (w * w) / (static_cast<double>(k * k) * (l * l) * (kPi * kPi));
        }
      }
    }
  }

  // The same sums, arranged for speed without changing an operation or the
  // order of any sum: each mode's decay rate sqrt((k/W)^2 + (l/H)^2) is
  // formed once; the coefficients lie mode by mode with the n^2 (strip,
  // slab) pairs side by side, so that the pairs' sums, independent of each
  // other, advance together (one vector lane each) while every pair adds
  // its terms in the order above; kBlock distances share each read of
  // the coefficients; and a mode whose coefficient is 0 for every pair (the
  // width or height modes that a centred beam does not excite, where the two
  // cosines come out equal) is left out with its exponential: its terms are
  // zeros, which leave the sums unchanged (a sum that starts at +0 is never -0).
  const std::size_t P = static_cast<std::size_t>(n) * n;
  std::vector<double> byMode(P * kModes2);  // [mode][pair]
  std::vector<char> excited(kModes2, 0);
  for (std::size_t pair = 0; pair < P; ++pair)
    for (std::size_t m = 0; m < static_cast<std::size_t>(kModes2); ++m) {
      byMode[m * P + pair] = coefficient[pair * kModes2 + m];
      if (coefficient[pair * kModes2 + m] != 0) excited[m] = 1;
    }
  std::vector<double> rate(kModes2);
  for (int k = 1; k <= kSheetModes; ++k) {
    for (int l = 1; l <= kSheetModes; ++l) {
      const double kw = k / W;
      const double lh = l / H;
      rate[(k - 1) * kSheetModes + (l - 1)] = std::sqrt(kw * kw + lh * lh);
    }
  }
  std::vector<double> denominator(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double U0 = (H + i * Hb / n) / 2;
    const double U1 = (H + (i + 1) * Hb / n) / 2;
    denominator[static_cast<std::size_t>(i)] = Hb * (Wb * Wb) * kPi2Epsilon0 * (U1 - U0);
  }

  constexpr int kBlock = 8;
  std::vector<double> table(static_cast<std::size_t>(kTablePoints) * (n + 1) * n, 0.0);
  std::vector<double> decay(static_cast<std::size_t>(kBlock) * kModes2);
  std::vector<double> partial(kBlock * P), partials(kBlock * P);
  for (int first = 1; first < kTablePoints; first += kBlock) {
    const int count = std::min(kBlock, kTablePoints - first);
    for (int b = 0; b < count; ++b) {
      const double z = std::abs(distance(first + b, zmax));
      const double exponent = -kPi * z;
      for (int m = 0; m < kModes2; ++m)
        if (excited[static_cast<std::size_t>(m)]) decay[b * kModes2 + m] = std::exp(exponent * rate[m]);
    }
    std::fill(partial.begin(), partial.end(), 0.0);
    std::fill(partials.begin(), partials.end(), 0.0);
    for (int k = 1; k <= kSheetModes; ++k) {
      for (int l = 0; l < kSheetModes; ++l) {
        const int m = (k - 1) * kSheetModes + l;
        if (!excited[static_cast<std::size_t>(m)]) continue;
        const double* c = &byMode[static_cast<std::size_t>(m) * P];
        for (int b = 0; b < count; ++b) {
          const double d = decay[b * kModes2 + m];
          double* s = &partial[b * P];
          for (std::size_t pair = 0; pair < P; ++pair) s[pair] += c[pair] * d;
        }
      }
      if (k >= kSheetModes - kSheetAveraged + 1)
        for (std::size_t e = 0; e < partial.size(); ++e) partials[e] += partial[e];
    }
    for (int b = 0; b < count; ++b) {
      const int kz = first + b;
      for (int i = 0; i < n; ++i) {
        for (int j = 1; j <= n; ++j) {
          const double G = 1.0 / kSheetAveraged * partials[b * P + static_cast<std::size_t>(i) * n + (j - 1)];
          table[(static_cast<std::size_t>(kz) * (n + 1) + j) * n + i] =
              q * G / denominator[static_cast<std::size_t>(i)];
        }
      }
    }
  }
  install(std::move(table), zmax, n);
}

void kly_SpaceCharge::install(std::vector<double>&& table, double zmax, int rings) {
  table_ = std::move(table);
  zmax_ = zmax;
  thickness_ = 0.0;
  rings_ = rings;
}

void kly_SpaceCharge::regulariseNearField(double thickness, kly_nearField::Kernel kernel) {
  if (!isBuilt()) throw kly_StateError("space charge: no table has been built");
  if (thickness_ > 0) throw kly_StateError("space charge: the table's near field is already finite");
  if (!(thickness > 0.0 && std::isfinite(thickness)))
    throw std::invalid_argument("space charge: disk thickness " + formatNumber(thickness) +
                                " m is not a positive length");
  const double spacing = zmax_ / kIntervals;
  std::vector<double> table = table_;
  std::vector<double> column(kTablePoints);
  const kly_nearField::Convolution convolution(column.size(), spacing, thickness, kernel);
  for (int j = 1; j <= rings_; ++j) {
    for (int i = 0; i < rings_; ++i) {
      for (int k = 0; k < kTablePoints; ++k) column[static_cast<std::size_t>(k)] = table_[index(k, j, i)];
      const std::vector<double> finite = convolution.apply(column);
      for (int k = 0; k < kTablePoints; ++k) table[index(k, j, i)] = finite[static_cast<std::size_t>(k)];
    }
  }
  table_ = std::move(table);
  thickness_ = thickness;
}

void kly_SpaceCharge::badRing(const char* which, int ring) const {
  if (!isBuilt()) throw kly_StateError("space charge: no table has been built");
  throw std::out_of_range(std::string("space charge: ") + which + " ring " + std::to_string(ring) +
                          " is outside 0 to " + std::to_string(rings_ - 1));
}

double kly_SpaceCharge::tableValue(int k, int j, int i) const {
  if (!isBuilt()) throw kly_StateError("space charge: no table has been built");
  if (k < 0 || k >= kTablePoints || j < 0 || j > rings_ || i < 0 || i >= rings_)
    throw std::out_of_range("space charge: table entry [" + std::to_string(k) + "][" + std::to_string(j) + "][" +
                            std::to_string(i) + "] is outside [0.." + std::to_string(kIntervals) + "][0.." +
                            std::to_string(rings_) + "][0.." + std::to_string(rings_ - 1) + "]");
  return table_[index(k, j, i)];
}
