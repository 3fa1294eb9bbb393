#pragma once

#include <ostream>

class kly_TubeRun;

// The readable account of a run on standard output: the beam, every cavity's
// analytic and simulated voltage and phase, gain, output power and
// efficiencies of both models side by side, the simulation's estimate and
// course, and the run's warnings.
class kly_Summary {
public:
  static void print(std::ostream& out, const kly_TubeRun& run);
};
