#pragma once

#include <memory>
#include <string>

#include "klystron/model/kly_Beam.h"
#include "klystron/model/kly_BuiltTube.h"
#include "klystron/model/kly_Cavity.h"
#include "klystron/model/kly_TubeDescription.h"

// The tube as the Java class describes it, one setter at a time: a tube
// description (operating point, drift-tube and beam geometry, cavities) and
// the built tube (beam and cavity objects) of its last rebuild. Setters only
// change the description; the rebuild (initializeInternalData), which both
// calculations run first, builds it afresh.
//
// Per-cavity operations take a cavity index from 0 to getCavityCount() - 1 and
// throw std::out_of_range for any other index.
class kly_Klystron {
public:
  kly_Klystron();
  // A model holding `description` (its simulation settings are not used) and
  // no built objects yet.
  explicit kly_Klystron(kly_TubeDescription description);
  virtual ~kly_Klystron();
  kly_Klystron(const kly_Klystron&) = delete;
  kly_Klystron& operator=(const kly_Klystron&) = delete;

  // Operating point and round-beam geometry; zeroes the sheet dimensions.
  void setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                              double tubeRadius, double beamRadius);
  // Operating point and sheet-beam geometry; zeroes the two radii.
  void setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                              double beamWidth, double beamHeight, double tubeWidth, double tubeHeight);

  void setBeamVoltage(double v) { description_.beam.voltage = v; }    // [V]
  void setBeamCurrent(double v) { description_.beam.current = v; }    // [A]
  void setFrequency(double v) { description_.beam.frequency = v; }    // operating (drive) frequency [Hz]
  void setInputPower(double v) { description_.beam.inputPower = v; }  // drive power [W]
  void setTubeRadius(double v) { description_.beam.tubeRadius = v; }  // [m]
  void setBeamRadius(double v) { description_.beam.beamRadius = v; }  // [m]
  void setTubeWidth(double v) { description_.beam.tubeWidth = v; }    // [m]
  void setBeamWidth(double v) { description_.beam.beamWidth = v; }    // [m]
  void setTubeHeight(double v) { description_.beam.tubeHeight = v; }  // [m]
  void setBeamHeight(double v) { description_.beam.beamHeight = v; }  // [m]
  void setRoundBeam(bool v) { description_.beam.round = v; }

  double getBeamVoltage() const { return description_.beam.voltage; }
  double getBeamCurrent() const { return description_.beam.current; }
  double getOperatingFrequency() const { return description_.beam.frequency; }
  double getInputPower() const { return description_.beam.inputPower; }
  double getTubeRadius() const { return description_.beam.tubeRadius; }
  double getBeamRadius() const { return description_.beam.beamRadius; }
  double getTubeWidth() const { return description_.beam.tubeWidth; }
  double getTubeHeight() const { return description_.beam.tubeHeight; }
  double getBeamWidth() const { return description_.beam.beamWidth; }
  double getBeamHeight() const { return description_.beam.beamHeight; }
  bool isRoundBeam() const { return description_.beam.round; }

  // Appends a cavity; a harmonic of 0 adds nothing. The new cavity has no
  // field file and one field ring.
  void addCavity(double zCenter, double frequency, double m, int harmonic, double gapWidth, double rq, double qo,
                 double qe);
  // Removes the last cavity's parameters (nothing when there is none). The
  // cavity objects keep describing the last rebuild.
  void deleteLastCavity();
  // Removes every cavity object and every per-cavity parameter; the beam of
  // the last rebuild stays.
  void deleteAllCavities();
  // Takes the cavity's gap field from a field-profile file, tabulated at
  // `rings` radial positions. The file is read by every later rebuild; the
  // third argument carries no meaning.
  void loadCavityField(int cavity, const std::string& fileName, double ignored, int rings);

  int getCavityCount() const { return static_cast<int>(description_.cavities.size()); }

  void setCavityZCenter(int cavity, double v) { at(cavity).z = v; }            // gap centre [m]
  void setCavityFrequency(int cavity, double v) { at(cavity).frequency = v; }  // resonant frequency [Hz]
  void setCavityM(int cavity, double v) { at(cavity).m = v; }                  // gap coupling coefficient
  void setCavityGapWidth(int cavity, double v) { at(cavity).gapWidth = v; }    // axial gap width [m]
  void setCavityRQ(int cavity, double v) { at(cavity).rq = v; }                // R/Q [ohm]
  void setCavityQe(int cavity, double v) { at(cavity).qe = v; }                // external Q
  void setCavityQo(int cavity, double v) { at(cavity).qo = v; }                // unloaded Q
  void setCavityHarmonic(int cavity, int v) { at(cavity).harmonic = v; }       // harmonic of the drive frequency

  double getZ(int cavity) const { return at(cavity).z; }
  double getFrequency(int cavity) const { return at(cavity).frequency; }
  // After a rebuild with a field file: the coefficient of the profile.
  double getM(int cavity) const { return at(cavity).m; }
  double getGapWidth(int cavity) const { return at(cavity).gapWidth; }
  double getRQ(int cavity) const { return at(cavity).rq; }
  double getQe(int cavity) const { return at(cavity).qe; }
  double getQo(int cavity) const { return at(cavity).qo; }
  int getHarmonic(int cavity) const { return at(cavity).harmonic; }
  bool hasFieldFile(int cavity) const { return at(cavity).hasFieldFile; }
  int getFieldRings(int cavity) const { return at(cavity).fieldRings; }
  const std::string& getFieldFileName(int cavity) const { return at(cavity).fieldFile; }

  // Everything the setters have set, M as the last rebuild left it.
  const kly_TubeDescription& getDescription() const { return description_; }

  // The rebuild: builds the description (kly_BuiltTube::build) and keeps the
  // result as the beam and cavity objects; for a cavity with a field file the
  // M of the description takes the coefficient of the profile. All or
  // nothing: when a field file cannot be used (kly_FileError) or a field ring
  // count lies outside 1 to 50 (std::invalid_argument), the error names the
  // cavity, and the beam, the cavity objects and the description stay as they
  // were.
  void initializeInternalData();

  // The beam and cavity objects of the last rebuild: a tube without cavities
  // and with a beam that is not set up before any.
  const std::shared_ptr<const kly_BuiltTube>& getBuiltTube() const { return built_; }
  // The beam of the last rebuild.
  const kly_Beam& getBeam() const { return built_->beam(); }
  // Number of cavity objects built by the last rebuild (0 before any).
  int getCavityObjectCount() const { return built_->cavityCount(); }
  // Cavity object of the last rebuild; throws std::out_of_range outside
  // 0 to getCavityObjectCount() - 1.
  const kly_Cavity& getCavity(int cavity) const;

private:
  kly_CavityDescription& at(int cavity);
  const kly_CavityDescription& at(int cavity) const;

  kly_TubeDescription description_;
  std::shared_ptr<const kly_BuiltTube> built_;
};
