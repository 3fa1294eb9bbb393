#pragma once

#include <ostream>
#include <string>
#include <vector>

class kly_TubeRun;

// The readable account of a run on standard output: the beam, every cavity's
// analytic and simulated voltage and phase, gain, output power and
// efficiencies of both models side by side, and warnings.
class kly_Summary {
public:
  static void print(std::ostream& out, const kly_TubeRun& run);
  // Warnings about the run, one sentence each: reflected disks, overlapping
  // gap fields, no convergence, results that are not numbers.
  static std::vector<std::string> warnings(const kly_TubeRun& run);
};
