#pragma once

#include <optional>
#include <string>
#include <vector>

// The description of one tube as plain values: the operating point and the
// beam geometry, the cavities with their field-file settings and, when a disk
// simulation is to run, its counts and the beam it may start from. A copy is
// independent of the original, so a sweep copies a description and changes
// one number per point; two descriptions compare equal when every value does
// (IEEE comparison: a NaN anywhere makes them differ).
//
// Nothing is checked here. What each calculation needs is checked when it
// runs: the build of a tube (kly_BuiltTube) refuses unusable field files and
// ring counts, the models their cavity counts, harmonics and run counts.
// Units are SI throughout.

// Operating point and geometry: a round beam of radius beamRadius in a round
// drift tube of radius tubeRadius, or a sheet beam of width beamWidth and
// height beamHeight in a rectangular tube of width tubeWidth and height
// tubeHeight. The dimensions of the other geometry are not used.
struct kly_BeamDescription {
  double voltage = 0;     // beam (cathode) voltage [V]
  double current = 0;     // beam current [A]
  double frequency = 0;   // operating (drive) frequency [Hz]
  double inputPower = 0;  // drive power [W]
  bool round = true;      // round beam in a round tube; false: sheet beam in a rectangular tube
  double tubeRadius = 0;  // [m]
  double beamRadius = 0;  // [m]
  double beamWidth = 0;   // [m]
  double beamHeight = 0;  // [m], the thin dimension
  double tubeWidth = 0;   // [m]
  double tubeHeight = 0;  // [m]

  bool operator==(const kly_BeamDescription&) const = default;
};

struct kly_CavityDescription {
  double z = 0;          // gap centre [m]
  double frequency = 0;  // cold resonant frequency [Hz]
  double m = 0;          // gap coupling coefficient; a build with a field file takes the profile's
  double gapWidth = 0;   // axial width of the gap [m]
  double rq = 0;         // R/Q [ohm]
  double qe = 0;         // external Q; kly::kNoExternalLoadQe or more: no external load
  double qo = 0;         // unloaded Q
  int harmonic = 1;      // harmonic of the drive frequency the cavity is tuned to (signed)
  // The gap field from a field-solver file, tabulated at fieldRings radial
  // positions, instead of the Gaussian fixed by m and the harmonic.
  bool hasFieldFile = false;
  int fieldRings = 1;
  std::string fieldFile;  // name of the file, opened as given

  bool operator==(const kly_CavityDescription&) const = default;
};

// How the disk simulation treats the space-charge field of neighbouring disk
// rings at short range: thin disks, the model the Java methods compute, or
// disks of finite thickness.
enum class kly_NearField { thin, finite };

// A simulation that starts from a beam distribution in a beam file.
struct kly_BeamImportSettings {
  std::string file;                        // name of the beam file, opened as given
  bool useGivenInjectionPosition = false;  // place the disks relative to injectionPosition, not the file's start
  double injectionPosition = 0;            // [m]

  bool operator==(const kly_BeamImportSettings&) const = default;
};

struct kly_SimulationSettings {
  int disks = 0;                                     // disks per RF period
  int rings = 0;                                     // rings (strips of a sheet beam) per disk
  int steps = 0;                                     // time steps per RF period
  int maxIterations = 0;                             // pass limit
  std::optional<kly_BeamImportSettings> importBeam;  // none: an unmodulated beam driven by the input cavity
  kly_NearField nearField = kly_NearField::thin;

  bool operator==(const kly_SimulationSettings&) const = default;
};

struct kly_TubeDescription {
  kly_BeamDescription beam;
  std::vector<kly_CavityDescription> cavities;  // in order along the tube
  std::optional<kly_SimulationSettings> simulation;

  // Member by member (out of line: GCC 12 warns about the optional member
  // wherever the inline form is expanded).
  bool operator==(const kly_TubeDescription&) const;
};
