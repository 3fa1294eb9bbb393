#include "simulation/kly_NearField.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace kly_nearField {

namespace {

double reachOf(Kernel kind, double thickness) { return kind == Kernel::cubic ? kReach * thickness : thickness; }

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

Convolution::Convolution(std::size_t points, double spacing, double thickness, Kernel kind) : points_(points) {
  const int n = static_cast<int>(points);
  if (n < 2) return;
  const double h = spacing;
  const double R = reachOf(kind, thickness);

  // The thin column is a sum of hat functions of width h at the grid points,
  // the last one (where the table ends) only its rising half. Convolved with
  // w, the hat at grid point m gives weight[j] at grid point m + j,
  // j = -J .. J, and the last one half[j]:
  //   weight[j] = int w(s) hat(j h - s) ds,  half[j] = the same over s >= j h.
  J_ = static_cast<int>(std::min(R / h, static_cast<double>(2 * n))) + 1;
  weight_.assign(static_cast<std::size_t>(2 * J_ + 1), 0.0);
  half_.assign(weight_.size(), 0.0);
  for (int j = -J_; j <= J_; ++j) {
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
    weight_[static_cast<std::size_t>(j + J_)] = sum;
    half_[static_cast<std::size_t>(j + J_)] = upper;
  }
}

// Point k of the result is the sum over j = -J .. J, in that order, of the
// weight of the hat at distance j times the odd extension of the column at
// grid point m = k - j (any sign): weight[j] thin[m] for 0 < m < n - 1,
// -weight[j] thin[-m] for 0 < -m < n - 1, half[j] thin[n - 1] for m = n - 1,
// -half[-j] thin[n - 1] for m = -(n - 1), nothing for m = 0 or beyond the
// column. The sums of all points advance together, j after j, each point
// taking its terms in that order: the odd extension is laid out once with
// zeros where a point takes nothing or the end's half weight, so that every
// point takes weight[j] times its value (a zero leaves a sum unchanged: a sum
// that starts at +0 is never -0; and -(w t) = w (-t)), and the ends' terms
// follow for the two points that take them.
std::vector<double> Convolution::apply(const std::vector<double>& thin) const {
  std::vector<double> out(thin.size(), 0.0);
  if (thin.size() != points_)
    throw std::invalid_argument("near field: a column of " + std::to_string(thin.size()) +
                                " points for a convolution of " + std::to_string(points_));
  const int n = static_cast<int>(points_);
  if (n < 2) return out;
  const int last = n - 1;
  const int J = J_;
  const int from = 1 - J;  // least m = k - j
  std::vector<double> odd(static_cast<std::size_t>(last + J - from + 1), 0.0);
  for (int m = 1; m < last; ++m) {
    odd[static_cast<std::size_t>(m - from)] = thin[static_cast<std::size_t>(m)];
    if (-m >= from) odd[static_cast<std::size_t>(-m - from)] = -thin[static_cast<std::size_t>(m)];
  }
  double* __restrict sum = out.data();
  const double end = thin[static_cast<std::size_t>(last)];
  for (int j = -J; j <= J; ++j) {
    const double w = weight_[static_cast<std::size_t>(j + J)];
    const double* __restrict t = odd.data() + (1 - j - from);  // t[k - 1] = the extension at m = k - j
    for (int k = 1; k <= last; ++k) sum[k] += w * t[k - 1];
    const int atEnd = last + j;  // the point whose m is n - 1
    if (atEnd >= 1 && atEnd <= last) sum[atEnd] += half_[static_cast<std::size_t>(j + J)] * end;
    const int atMirror = j - last;  // the point whose m is -(n - 1): w is even
    if (atMirror >= 1 && atMirror <= last) sum[atMirror] -= half_[static_cast<std::size_t>(-j + J)] * end;
  }
  return out;
}

std::vector<double> regularise(const std::vector<double>& thin, double spacing, double thickness, Kernel kind) {
  return Convolution(thin.size(), spacing, thickness, kind).apply(thin);
}

}  // namespace kly_nearField
