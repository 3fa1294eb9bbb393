#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class kly_Klystron;

// Operating point and geometry of a tube description.
struct kly_TubeBeam {
  double voltage = 0;     // beam voltage [V]
  double current = 0;     // beam current [A]
  double frequency = 0;   // drive frequency [Hz]
  double inputPower = 0;  // drive power [W]
  bool round = true;      // round beam in a round tube, else sheet beam in a rectangular tube
  double tubeRadius = 0;  // [m], round beam
  double beamRadius = 0;  // [m], round beam
  double beamWidth = 0;   // [m], sheet beam
  double beamHeight = 0;  // [m], sheet beam
  double tubeWidth = 0;   // [m], sheet beam
  double tubeHeight = 0;  // [m], sheet beam
};

struct kly_TubeCavity {
  double z = 0;                     // gap centre [m]
  double frequency = 0;             // resonant frequency [Hz]
  double qo = 0;                    // unloaded Q
  double qe = 0;                    // external Q; 90000 or more: no external load
  double rq = 0;                    // R/Q [ohm]
  double m = 0;                     // gap coupling coefficient
  double gapWidth = 0;              // [m]
  int harmonic = 1;                 // harmonic of the drive frequency
  std::string fieldFileName;        // as written in the tube file; empty for a Gaussian field
  std::filesystem::path fieldFile;  // resolved against the tube file's folder
  int fieldRings = 1;               // radial positions the file's field is tabulated at
};

struct kly_TubeImportBeam {
  std::string fileName;        // as written in the tube file
  std::filesystem::path file;  // resolved against the tube file's folder
  bool useGivenInjectionPosition = false;
  double injectionPosition = 0;  // [m]
};

struct kly_TubeSimulation {
  int disks = 0;          // disks per RF period
  int rings = 0;          // rings per disk
  int steps = 0;          // time steps per RF period
  int maxIterations = 0;  // pass limit
  std::optional<kly_TubeImportBeam> importBeam;
};

// One tube as a JSON tube file describes it.
struct kly_TubeDescription {
  std::string name;              // the file's "name", else the file name without extension
  std::filesystem::path source;  // the tube file as given
  kly_TubeBeam beam;
  std::vector<kly_TubeCavity> cavities;
  std::optional<kly_TubeSimulation> simulation;

  // Sets the operating point and geometry and adds the cavities (with their
  // field files) to an empty model.
  void applyTo(kly_Klystron& klystron) const;
};

// A tube file that cannot be used. what() holds one line per problem, each
// naming the file and the key path: `tube.json: cavities[2].qe: expected a
// number, found "abc"`.
class kly_TubeFileError : public std::runtime_error {
public:
  explicit kly_TubeFileError(std::vector<std::string> problems);
  const std::vector<std::string>& problems() const { return problems_; }

private:
  std::vector<std::string> problems_;
};

// Reader of the JSON tube description. Everything is checked before anything
// runs: unknown keys (most likely typos), missing keys, keys given twice,
// values of the wrong type, counts and physical values out of range, cavities
// out of order, field and beam files that cannot be opened. All problems of a
// file are reported together.
class kly_TubeFile {
public:
  static constexpr int kMaxCavities = 20;
  static constexpr int kMaxRings = 20;       // rings per disk of the simulation
  static constexpr int kMaxFieldRings = 50;  // radial positions of a field profile
  static constexpr int kMaxHarmonic = 4;

  // Reads and checks the tube file; throws kly_TubeFileError.
  static kly_TubeDescription read(const std::filesystem::path& file);
  // Checks a tube description given as text; `source` names it in messages
  // and its folder is the base of relative file names.
  static kly_TubeDescription parse(std::string_view text, const std::filesystem::path& source);
};
