#include "klystron/driver/kly_SweepAnalysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The samples (x, y[, z]) whose x and y are finite (and x positive where it
// goes on a log scale), in increasing x.
struct Samples {
  std::vector<double> x, y, z;
};

Samples usable(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z,
               bool positiveX) {
  if (x.size() != y.size() || (!z.empty() && z.size() != x.size()))
    throw std::invalid_argument("sweep curves of different lengths");
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::isfinite(x[i]) && std::isfinite(y[i]) && (!positiveX || x[i] > 0)) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&x](std::size_t a, std::size_t b) { return x[a] < x[b]; });
  Samples s;
  for (std::size_t i : order) {
    s.x.push_back(x[i]);
    s.y.push_back(y[i]);
    if (!z.empty()) s.z.push_back(z[i]);
  }
  return s;
}

double dB(double ratio) { return 10 * std::log10(ratio); }

double interpolate(double x0, double y0, double x1, double y1, double x) {
  if (x1 == x0) return y0;
  return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

}  // namespace

kly_Saturation kly_SweepAnalysis::saturation(const std::vector<double>& drive, const std::vector<double>& outputPower,
                                             const std::vector<double>& efficiency) {
  const Samples s = usable(drive, outputPower, efficiency, true);
  kly_Saturation r;
  if (s.x.empty()) return r;
  r.found = true;
  const std::size_t n = s.x.size();
  const std::size_t k = static_cast<std::size_t>(std::max_element(s.y.begin(), s.y.end()) - s.y.begin());
  const bool hasEfficiency = !s.z.empty();
  r.drive = s.x[k];
  r.outputPower = s.y[k];
  r.efficiency = hasEfficiency ? s.z[k] : kNaN;
  r.atEnd = k == 0 || k == n - 1;
  if (!r.atEnd) {
    // Vertex of the parabola through (u, y) at k-1, k, k+1, u = log10(drive).
    const double u0 = std::log10(s.x[k - 1]), u1 = std::log10(s.x[k]), u2 = std::log10(s.x[k + 1]);
    const double y0 = s.y[k - 1], y1 = s.y[k], y2 = s.y[k + 1];
    const double d01 = (y1 - y0) / (u1 - u0), d12 = (y2 - y1) / (u2 - u1);
    const double a = (d12 - d01) / (u2 - u0);  // curvature: below 0 where y1 is the largest
    if (a < 0 && std::isfinite(a)) {
      const double b = d01 - a * (u0 + u1);
      const double u = -b / (2 * a);
      const double c = y0 - (a * u0 + b) * u0;
      r.drive = std::pow(10.0, u);
      r.outputPower = (a * u + b) * u + c;
      if (hasEfficiency) {
        r.efficiency =
            u <= u1 ? interpolate(u0, s.z[k - 1], u1, s.z[k], u) : interpolate(u1, s.z[k], u2, s.z[k + 1], u);
      }
    }
  }
  r.gain = dB(r.outputPower / r.drive);
  return r;
}

kly_Compression kly_SweepAnalysis::compression(const std::vector<double>& drive, const std::vector<double>& outputPower,
                                               double compression) {
  Samples s = usable(drive, outputPower, {}, true);
  kly_Compression r;
  // Gains need a positive output power too.
  Samples g;
  for (std::size_t i = 0; i < s.x.size(); ++i) {
    if (s.y[i] > 0) {
      g.x.push_back(dB(s.x[i] / 1e-3));  // dBm
      g.y.push_back(dB(s.y[i] / s.x[i]));
    }
  }
  if (g.x.empty()) return r;
  r.measured = true;
  r.smallSignalGain = g.y[0];
  const double level = r.smallSignalGain - compression;
  for (std::size_t i = 1; i < g.x.size(); ++i) {
    if (g.y[i] > level) continue;
    // The gain crosses the level between samples i-1 (above) and i (at or below).
    const double t = (g.y[i - 1] - level) / (g.y[i - 1] - g.y[i]);
    const double dBm = g.x[i - 1] + t * (g.x[i] - g.x[i - 1]);
    r.found = true;
    r.drive = 1e-3 * std::pow(10.0, dBm / 10);
    r.outputPower = r.drive * std::pow(10.0, level / 10);
    return r;
  }
  return r;
}

kly_Band kly_SweepAnalysis::band(const std::vector<double>& frequency, const std::vector<double>& gain, double drop) {
  const Samples s = usable(frequency, gain, {}, false);
  kly_Band r;
  r.drop = drop;
  if (s.x.empty()) return r;
  r.found = true;
  const std::size_t n = s.x.size();
  const std::size_t k = static_cast<std::size_t>(std::max_element(s.y.begin(), s.y.end()) - s.y.begin());
  r.peakGain = s.y[k];
  r.peakFrequency = s.x[k];
  const double level = r.peakGain - drop;
  std::size_t lo = k;
  while (lo > 0 && s.y[lo - 1] >= level) --lo;
  if (lo == 0) {
    r.lower = s.x[0];
    r.lowerOpen = true;
  } else {
    r.lower = interpolate(s.y[lo - 1], s.x[lo - 1], s.y[lo], s.x[lo], level);
  }
  std::size_t hi = k;
  while (hi + 1 < n && s.y[hi + 1] >= level) ++hi;
  if (hi == n - 1) {
    r.upper = s.x[n - 1];
    r.upperOpen = true;
  } else {
    r.upper = interpolate(s.y[hi], s.x[hi], s.y[hi + 1], s.x[hi + 1], level);
  }
  return r;
}
