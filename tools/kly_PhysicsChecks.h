#pragma once

#include <string>
#include <vector>

#include "klystron/model/kly_TubeDescription.h"
#include "tools/kly_TubeFile.h"

class kly_TubeRun;

// Something in a tube or its results that makes the numbers doubtful, though
// they can be computed: a cavity tuned far from its harmonic of the drive, an
// output without load, a simulation that did not converge.
struct kly_Warning {
  std::string key;      // key path in the tube file ("cavities[2].frequency"); empty: the run as a whole
  std::string message;  // what is doubtful, with the value

  std::string text() const { return key.empty() ? message : key + ": " + message; }
  bool operator==(const kly_Warning&) const = default;
};

// Checks of a tube's physics, beyond the tube file's ranges (kly_TubeFile).
class kly_PhysicsChecks {
public:
  // A cavity more than this far (relative) from its harmonic of the drive
  // frequency is most likely a slip of unit or harmonic.
  static constexpr double kFrequencyTolerance = 0.2;
  // An imported beam made for a beam differing from the tube's by more than
  // this (relative) in frequency, voltage or current is reported.
  static constexpr double kImportTolerance = 1e-3;

  // The largest current [A] that the beam of `beam`, at its voltage, can
  // carry through its drift tube: beyond it the depression of the beam's own
  // space charge has no consistent solution (docs/space-charge-limit.md).
  static double spaceChargeLimit(const kly_BeamDescription& beam);

  // Refuses a beam that the models cannot compute with: derived quantities
  // that are not finite, a depressed voltage of 0 or below, a current beyond
  // the space-charge limit. Throws kly_TubeFileError naming the file, each
  // key path and its value.
  static void checkBeam(const kly_TubeFileContents& tube);

  // Refuses an imported beam that the simulation could not start from: a beam
  // file that cannot be read, or one with fewer rows than the run has disks.
  // Throws kly_TubeFileError naming the file and the key path.
  static void checkImportedBeam(const kly_TubeFileContents& tube);

  // Warnings about the tube itself, before anything runs: cavity frequencies
  // far from their harmonic of the drive, an output cavity without external
  // load and, when `simulate`, an imported beam made for another frequency,
  // voltage or current (an unreadable beam file is left to the simulation).
  static std::vector<kly_Warning> tubeWarnings(const kly_TubeFileContents& tube, bool simulate);

  // Warnings about the results of a run: analytic gap voltages at or above the
  // beam voltage, a simulation that stopped at its pass limit without
  // converging or that diverged, turned-back disks, overlapping gap fields,
  // gains that are not finite.
  static std::vector<kly_Warning> runWarnings(const kly_TubeRun& run);
};
