#pragma once

#include <optional>
#include <vector>

class kly_DiskSimulation;

// Where and when the disk rings of a simulation's last pass were, as phases:
// the arrival phase of a disk ring at position z and time t is
//   psi = omega t - betaE (z - zStart)   [rad],
// the phase by which it arrives later than an electron that left zStart at
// t = 0 and moves at the beam velocity u0 (betaE = omega / u0). A disk ring
// that drifts at u0 keeps its phase; a faster one loses phase, a slower one
// gains it; disks bunch where their phases draw together and overtake where
// their lines cross. The launch spreads the disks of one RF period over one
// turn of phase.
class kly_BeamPhases {
public:
  // `rfWavelength`: the beam's u0 / f [m].
  kly_BeamPhases(const kly_DiskSimulation& simulation, double rfWavelength);

  // The arrival phase [rad] of disk ring (disk, ring) at time step `step`, not wrapped.
  double atStep(int disk, int ring, int step) const;

  // The disk ring's first forward crossing of the plane z, between two time
  // steps (interpolated linearly): its arrival phase [rad, not wrapped] and
  // its velocity there [m/s]; none when it never crosses.
  struct Crossing {
    double phase;
    double velocity;
  };
  std::optional<Crossing> crossing(int disk, int ring, double z) const;

  // The arrival phases [rad, not wrapped] of the disk ring at the planes
  // (in increasing order), as `crossing` gives them; NaN at a plane it never
  // reaches.
  std::vector<double> atPlanes(int disk, int ring, const std::vector<double>& planes) const;

  // The phase of the bunch centre at the plane z [rad, in (-pi, pi]]: the
  // mean direction of the ring-0 arrival phases there, which is the phase of
  // the fundamental of the beam current (ring 0) with its sign turned; 0
  // when no disk crosses the plane or the beam is not bunched at all.
  double bunchCentre(double z) const;

  // The last time step up to which the disk ring moves forward, at most the
  // first one beyond the plane zStop: a ring turned back stays where it
  // stopped, and its phase would rise without meaning.
  int lastStep(int disk, int ring, double zStop) const;

private:
  const kly_DiskSimulation& s_;
  double lambda_;
};

// x wrapped into [centre - pi, centre + pi).
double kly_wrapPhase(double x, double centre);
