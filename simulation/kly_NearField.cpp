#include "simulation/kly_NearField.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kly_nearField {

namespace {

double reach(Kernel kind, double thickness) { return kind == Kernel::cubic ? kReach * thickness : thickness; }

// int over [lo, hi] of w(s) (1 - |c - s| / h), both factors polynomial of
// degree at most 3 and 1 on the interval (no knot inside): three Gauss points
// integrate it exactly.
double piece(Kernel kind, double thickness, double c, double h, double lo, double hi) {
  static constexpr double kNode = 0.7745966692414834;  // sqrt(3/5)
  static constexpr double kWeight[3] = {5.0 / 9, 8.0 / 9, 5.0 / 9};
  const double mid = 0.5 * (lo + hi), half = 0.5 * (hi - lo);
  const double s[3] = {mid - kNode * half, mid, mid + kNode * half};
  double sum = 0;
  for (int q = 0; q < 3; ++q) sum += kWeight[q] * kernel(kind, s[q], thickness) * (1 - std::abs(c - s[q]) / h);
  return half * sum;
}

}  // namespace

double kernel(Kernel kind, double s, double thickness) {
  const double t = std::abs(s) / thickness;
  if (kind == Kernel::slab) return t < 1 ? (1 - t) / thickness : 0.0;
  if (t < 1) return ((1.5 * t - 2.5) * t * t + 1) / thickness;
  if (t < 2) return (((-0.5 * t + 2.5) * t - 4) * t + 2) / thickness;
  return 0.0;
}

std::vector<double> regularise(const std::vector<double>& thin, double spacing, double thickness, Kernel kind) {
  const int n = static_cast<int>(thin.size());
  std::vector<double> out(thin.size(), 0.0);
  if (n < 2) return out;
  const double h = spacing;
  const double R = reach(kind, thickness);

  // The thin column is a sum of hat functions of width h at the grid points,
  // the last one (where the table ends) only its rising half. Convolved with
  // w, the hat at grid point m gives weight[j] at grid point m + j,
  // j = -J .. J, and the last one half[j]:
  //   weight[j] = int w(s) hat(j h - s) ds,  half[j] = the same over s >= j h.
  const int J = static_cast<int>(std::min(R / h, static_cast<double>(2 * n))) + 1;
  std::vector<double> weight(static_cast<std::size_t>(2 * J + 1)), half(weight.size());
  for (int j = -J; j <= J; ++j) {
    const double c = j * h;
    const double lo = std::max(c - h, -R), hi = std::min(c + h, R);
    if (!(lo < hi)) continue;
    // Knots of the integrand: the hat's apex and ends, the kernel's at 0, +-Delta, +-2 Delta.
    double knots[8] = {lo, hi, c, 0.0, -thickness, thickness, -2 * thickness, 2 * thickness};
    std::sort(knots, knots + 8);
    double sum = 0, upper = 0;
    for (int q = 0; q + 1 < 8; ++q) {
      const double a = std::max(knots[q], lo), b = std::min(knots[q + 1], hi);
      if (!(a < b)) continue;
      const double part = piece(kind, thickness, c, h, a, b);
      sum += part;
      if (a >= c) upper += part;
    }
    weight[static_cast<std::size_t>(j + J)] = sum;
    half[static_cast<std::size_t>(j + J)] = upper;
  }

  // The odd extension of the column at grid point m (any sign) and the
  // weight of its hat at distance j.
  const int last = n - 1;
  for (int k = 1; k < n; ++k) {
    double sum = 0;
    for (int j = -J; j <= J; ++j) {
      const int m = k - j;
      if (m < -last || m > last || m == 0) continue;
      const auto q = static_cast<std::size_t>(j + J);
      const auto r = static_cast<std::size_t>(-j + J);
      if (m == last)
        sum += half[q] * thin[static_cast<std::size_t>(last)];
      else if (m == -last)
        sum -= half[r] * thin[static_cast<std::size_t>(last)];  // the mirror image: w is even
      else
        sum += weight[q] * (m < 0 ? -thin[static_cast<std::size_t>(-m)] : thin[static_cast<std::size_t>(m)]);
    }
    out[static_cast<std::size_t>(k)] = sum;
  }
  return out;
}

}  // namespace kly_nearField
