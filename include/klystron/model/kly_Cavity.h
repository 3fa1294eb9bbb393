#pragma once

#include <complex>
#include <memory>
#include <string>

#include "klystron/model/kly_Beam.h"
#include "klystron/model/kly_CavityField.h"

// Computed model of one resonant cavity, made by the rebuild of the tube
// model from the cavity's parameters and the beam of that rebuild: the axial
// shape of its gap field (a Gaussian fixed by M and the harmonic, or a
// profile from a field-solver file), the beam-loading conductance and
// susceptance, the quality factors, the beam-loaded resonant frequency and
// the circuit and gap impedances. Once built it is only queried.
//
// Nothing is validated: M outside (0, 1), a harmonic of 0 or zero quality
// factors give IEEE infinities or NaN. A beam without current loads the
// cavity with nothing: Gb = Bb = 0, Qb infinite, QT = QL. A cavity with an
// external Q of kly::kNoExternalLoadQe or more has no external load.
class kly_Cavity {
public:
  // zCenter [m], frequency (cold resonance) [Hz], m (gap coupling
  // coefficient), harmonic of the drive frequency, gapWidth [m], rq [ohm],
  // qo, qe; the beam of the current rebuild.
  kly_Cavity(double zCenter, double frequency, double m, int harmonic, double gapWidth, double rq, double qo, double qe,
             const kly_Beam& beam);
  ~kly_Cavity();
  kly_Cavity(const kly_Cavity&) = delete;
  kly_Cavity& operator=(const kly_Cavity&) = delete;

  // Takes the gap field from a field-solver file, tabulated at `rings` (1 to
  // 50) radial sample positions across the beam and moved so that the file's
  // z = 0 lies at the gap centre (after subtracting `shift` [m]). Replaces M
  // by the coupling of the profile and recomputes everything that depends on
  // it. Throws kly_FileError for a file that cannot be used and
  // std::invalid_argument for a ring count outside 1 to 50; the cavity is then
  // unchanged.
  void loadField(const std::string& fileName, double shift, int rings, const kly_Beam& beam);

  double getM() const { return m_; }             // gap coupling coefficient
  double getGb() const { return gb_; }           // beam-loading conductance [S]
  double getBb() const { return bb_; }           // beam-loading susceptance [S]
  double getQb() const { return qb_; }           // beam-loading Q
  double getFieldZMin() const { return zmin_; }  // start of the gap field [m]
  double getFieldZMax() const { return zmax_; }  // end of the gap field [m]
  // Normalised axial field shape [1/m] at z [m] for radial sample index ring.
  // A Gaussian field is not cut off at its extent and ignores the ring; a
  // file profile is 0 outside (zmin, zmax) and throws std::out_of_range for a
  // ring outside 0 to getFieldRings() - 1.
  double getField(double z, int ring) const;
  // Integral over z of the field shape at sample index ring: 1 for a
  // Gaussian field.
  double getFieldIntegral(int ring) const;
  std::complex<double> getGapImpedance() const { return zg_; }      // with beam loading [ohm]
  std::complex<double> getCircuitImpedance() const { return zc_; }  // circuit loading only [ohm]
  // Magnitude of the gap voltage [V] that a drive of inputPower [W] at the
  // operating frequency [Hz] sets up across this cavity through its external
  // load: the power that the mismatch between the load and the beam-loaded,
  // detuned gap does not reflect. The drive voltage of an input cavity.
  double driveVoltage(double frequency, double inputPower) const;

  int getHarmonic() const { return harmonic_; }
  double getZCenter() const { return zCenter_; }                  // [m]
  double getFrequency() const { return frequency_; }              // cold resonant frequency [Hz]
  double getLoadedFrequency() const { return loadedFrequency_; }  // shifted by Bb [Hz]
  double getRQ() const { return rq_; }                            // [ohm]
  double getQo() const { return qo_; }
  double getQe() const { return qe_; }
  double getQL() const { return ql_; }                              // circuit Q (Qo with Qe)
  double getQT() const { return qt_; }                              // total Q (QL with Qb)
  double getAlpha() const { return alpha_; }                        // Gaussian field parameter [1/m]
  double getAmplitude() const { return amplitude_; }                // peak of the Gaussian, alpha / sqrt(pi) [1/m]
  double getSigma() const { return sigma_; }                        // the beam's relativistic factor
  double getBetaE() const { return betaE_; }                        // electronic propagation constant [rad/m]
  double getEquivalentRadius() const { return equivalentRadius_; }  // normalisation radius of a file profile [m]
  double getCouplingRatio() const { return couplingRatio_; }        // beam-averaged M over M
  double getGapWidth() const { return gapWidth_; }                  // [m]
  bool hasFieldFromFile() const { return fieldFromFile_; }
  // Ring count the file profile was tabulated for; 0 for a Gaussian field,
  // which answers any ring.
  int getFieldRings() const { return field_ ? field_->getRings() : 0; }

private:
  void setGaussian();
  void computeBeamLoading(const kly_Beam& beam);
  void computeImpedances(const kly_Beam& beam);

  int harmonic_ = 0;
  double equivalentRadius_ = 0;  // [m]
  double couplingRatio_ = 0;
  bool fieldFromFile_ = false;
  double frequency_ = 0;        // [Hz]
  double loadedFrequency_ = 0;  // [Hz]
  double zCenter_ = 0;          // [m]
  double m_ = 0;
  double betaE_ = 0;     // [rad/m]
  double gapWidth_ = 0;  // [m]
  double rq_ = 0;        // [ohm]
  double qo_ = 0;
  double qe_ = 0;
  double qb_ = 0;
  double ql_ = 0;
  double qt_ = 0;
  double gb_ = 0;  // [S]
  double bb_ = 0;  // [S]
  double sigma_ = 0;
  double alpha_ = 0;         // [1/m]
  double amplitude_ = 0;     // [1/m]
  double zmin_ = 0;          // [m]
  double zmax_ = 0;          // [m]
  std::complex<double> zc_;  // [ohm]
  std::complex<double> zg_;  // [ohm]
  std::unique_ptr<kly_CavityField> field_;
};
