#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/kly_Beam.h"
#include "model/kly_Cavity.h"

// The device description of one tube: operating point, drift-tube and beam
// geometry (round beam in a round tube, or sheet beam in a rectangular tube)
// and the list of cavities. Setters only store; the beam and the cavity
// objects are derived from the stored values by the rebuild
// (initializeInternalData), which both calculations run first.
//
// Per-cavity operations take a cavity index from 0 to getCavityCount() - 1 and
// throw std::out_of_range for any other index.
class kly_Klystron {
public:
  kly_Klystron();
  virtual ~kly_Klystron();
  kly_Klystron(const kly_Klystron&) = delete;
  kly_Klystron& operator=(const kly_Klystron&) = delete;

  // Operating point and round-beam geometry; zeroes the sheet dimensions.
  void setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                              double tubeRadius, double beamRadius);
  // Operating point and sheet-beam geometry; zeroes the two radii.
  void setOperatingParameters(double beamVoltage, double beamCurrent, double frequency, double inputPower,
                              double beamWidth, double beamHeight, double tubeWidth, double tubeHeight);

  void setBeamVoltage(double v) { beamVoltage_ = v; }  // [V]
  void setBeamCurrent(double v) { beamCurrent_ = v; }  // [A]
  void setFrequency(double v) { frequency_ = v; }      // operating (drive) frequency [Hz]
  void setInputPower(double v) { inputPower_ = v; }    // drive power [W]
  void setTubeRadius(double v) { tubeRadius_ = v; }    // [m]
  void setBeamRadius(double v) { beamRadius_ = v; }    // [m]
  void setTubeWidth(double v) { tubeWidth_ = v; }      // [m]
  void setBeamWidth(double v) { beamWidth_ = v; }      // [m]
  void setTubeHeight(double v) { tubeHeight_ = v; }    // [m]
  void setBeamHeight(double v) { beamHeight_ = v; }    // [m]
  void setRoundBeam(bool v) { roundBeam_ = v; }

  double getBeamVoltage() const { return beamVoltage_; }
  double getBeamCurrent() const { return beamCurrent_; }
  double getOperatingFrequency() const { return frequency_; }
  double getInputPower() const { return inputPower_; }
  double getTubeRadius() const { return tubeRadius_; }
  double getBeamRadius() const { return beamRadius_; }
  double getTubeWidth() const { return tubeWidth_; }
  double getTubeHeight() const { return tubeHeight_; }
  double getBeamWidth() const { return beamWidth_; }
  double getBeamHeight() const { return beamHeight_; }
  bool isRoundBeam() const { return roundBeam_; }

  // Appends a cavity; a harmonic of 0 adds nothing. The new cavity has no
  // field file and one field ring.
  void addCavity(double zCenter, double frequency, double m, int harmonic, double gapWidth, double rq, double qo,
                 double qe);
  // Removes the last cavity's parameters (nothing when there is none). The
  // cavity objects keep describing the last rebuild.
  void deleteLastCavity();
  // Removes every cavity object and every per-cavity parameter.
  void deleteAllCavities();
  // Takes the cavity's gap field from a field-profile file, tabulated at
  // `rings` radial positions. The file is read by every later rebuild; the
  // third argument carries no meaning.
  void loadCavityField(int cavity, const std::string& fileName, double ignored, int rings);

  int getCavityCount() const { return static_cast<int>(rq_.size()); }

  void setCavityZCenter(int cavity, double v);    // gap centre [m]
  void setCavityFrequency(int cavity, double v);  // resonant frequency [Hz]
  void setCavityM(int cavity, double v);          // gap coupling coefficient
  void setCavityGapWidth(int cavity, double v);   // axial gap width [m]
  void setCavityRQ(int cavity, double v);         // R/Q [ohm]
  void setCavityQe(int cavity, double v);         // external Q
  void setCavityQo(int cavity, double v);         // unloaded Q
  void setCavityHarmonic(int cavity, int v);      // harmonic of the drive frequency

  double getZ(int cavity) const;
  double getFrequency(int cavity) const;
  double getM(int cavity) const;  // after a rebuild with a field file: the coefficient of the profile
  double getGapWidth(int cavity) const;
  double getRQ(int cavity) const;
  double getQe(int cavity) const;
  double getQo(int cavity) const;
  int getHarmonic(int cavity) const;
  bool hasFieldFile(int cavity) const;
  int getFieldRings(int cavity) const;
  const std::string& getFieldFileName(int cavity) const;

  // The rebuild: sets up the beam from the operating point and builds one
  // cavity object per cavity, reading each named field file; for a cavity
  // with a field file the M list takes the coefficient of the profile. All or
  // nothing: when a field file cannot be used (kly_FileError) or a field ring
  // count lies outside 1 to 50 (std::invalid_argument), the error names the
  // cavity, and the beam, the cavity objects and the M list stay as they were.
  void initializeInternalData();

  // The beam of the last rebuild.
  const kly_Beam& getBeam() const { return beam_; }
  // Number of cavity objects built by the last rebuild (0 before any).
  int getCavityObjectCount() const { return static_cast<int>(cavities_.size()); }
  // Cavity object of the last rebuild; throws std::out_of_range outside
  // 0 to getCavityObjectCount() - 1.
  const kly_Cavity& getCavity(int cavity) const;

private:
  void checkCavity(int cavity) const;

  std::vector<std::unique_ptr<kly_Cavity>> cavities_;  // built by the last rebuild, in cavity order
  kly_Beam beam_;

  std::vector<double> zCenter_;          // [m]
  std::vector<double> cavityFrequency_;  // [Hz]
  std::vector<double> m_;
  std::vector<double> gapWidth_;  // [m]
  std::vector<double> rq_;        // [ohm]
  std::vector<double> qe_;
  std::vector<double> qo_;
  std::vector<int> harmonic_;
  std::vector<bool> hasFieldFile_;
  std::vector<int> fieldRings_;
  std::vector<std::string> fieldFileName_;

  double beamVoltage_ = 0;  // [V]
  double beamCurrent_ = 0;  // [A]
  double frequency_ = 0;    // operating frequency [Hz]
  double inputPower_ = 0;   // [W]
  double tubeRadius_ = 0;   // [m]
  double beamRadius_ = 0;   // [m]
  double beamWidth_ = 0;    // [m]
  double beamHeight_ = 0;   // [m]
  double tubeWidth_ = 0;    // [m]
  double tubeHeight_ = 0;   // [m]
  bool roundBeam_ = true;
};
