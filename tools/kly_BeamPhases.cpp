#include "tools/kly_BeamPhases.h"

#include <cmath>
#include <complex>
#include <limits>

#include "klystron/core/kly_Constants.h"
#include "klystron/simulation/kly_DiskSimulation.h"

kly_BeamPhases::kly_BeamPhases(const kly_DiskSimulation& simulation, double rfWavelength)
    : s_(simulation), lambda_(rfWavelength) {}

double kly_BeamPhases::atStep(int disk, int ring, int step) const {
  const double z = s_.getSimulatedDiskPosition(disk, ring, step);
  return kly::kTwoPi * (static_cast<double>(step) / s_.getSteps() - (z - s_.getZStart()) / lambda_);
}

std::optional<kly_BeamPhases::Crossing> kly_BeamPhases::crossing(int disk, int ring, double z) const {
  const int steps = s_.getSimulatedMaxTimeStep();
  for (int i = 1; i < steps; ++i) {
    const double a = s_.getSimulatedDiskPosition(disk, ring, i - 1), b = s_.getSimulatedDiskPosition(disk, ring, i);
    if (a <= z && z < b) {
      const double f = (z - a) / (b - a);
      const double va = s_.getSimulatedDiskVelocity(disk, ring, i - 1), vb = s_.getSimulatedDiskVelocity(disk, ring, i);
      const double t = (i - 1 + f) / s_.getSteps();
      return Crossing{kly::kTwoPi * (t - (z - s_.getZStart()) / lambda_), va + f * (vb - va)};
    }
  }
  return std::nullopt;
}

std::vector<double> kly_BeamPhases::atPlanes(int disk, int ring, const std::vector<double>& planes) const {
  std::vector<double> out(planes.size(), std::numeric_limits<double>::quiet_NaN());
  const int steps = s_.getSimulatedMaxTimeStep();
  std::size_t j = 0;
  // One walk along the trajectory: each plane at the first forward step
  // across it after the plane before.
  for (int i = 1; i < steps && j < planes.size(); ++i) {
    const double a = s_.getSimulatedDiskPosition(disk, ring, i - 1), b = s_.getSimulatedDiskPosition(disk, ring, i);
    while (j < planes.size() && planes[j] < a) ++j;  // behind the ring already: never crossed forward
    while (j < planes.size() && planes[j] < b) {
      const double t = (i - 1 + (planes[j] - a) / (b - a)) / s_.getSteps();
      out[j] = kly::kTwoPi * (t - (planes[j] - s_.getZStart()) / lambda_);
      ++j;
    }
  }
  return out;
}

double kly_BeamPhases::bunchCentre(double z) const {
  std::complex<double> sum = 0;
  for (int d = 0; d < s_.getDisks(); ++d) {
    if (const auto c = crossing(d, 0, z)) sum += std::polar(1.0, c->phase);
  }
  return std::abs(sum) > 1e-9 * s_.getDisks() ? std::arg(sum) : 0.0;
}

int kly_BeamPhases::lastStep(int disk, int ring, double zStop) const {
  const int steps = s_.getSimulatedMaxTimeStep();
  for (int i = 1; i < steps; ++i) {
    const double z = s_.getSimulatedDiskPosition(disk, ring, i);
    if (!(z > s_.getSimulatedDiskPosition(disk, ring, i - 1))) return i - 1;
    if (z > zStop) return i;
  }
  return steps - 1;
}

double kly_wrapPhase(double x, double centre) {
  return x - kly::kTwoPi * std::floor((x - centre + kly::kPi) / kly::kTwoPi);
}
