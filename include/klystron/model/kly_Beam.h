#pragma once

#include <cstdint>

// Electron beam of the tube, derived from the operating point: either a round
// beam of radius b in a round drift tube of radius a, or a sheet beam of width
// w and height h in a rectangular drift tube of width W and height H.
//
// Every derived quantity is computed once by initRoundBeam or initSheetBeam;
// the accessors only read stored values. A default-constructed beam reads 0
// everywhere (beam type 0, not initialised). The beam owns nothing and is
// copied member-wise. Impossible inputs (a zero radius or frequency, a
// depression larger than the beam voltage) give IEEE infinities or NaN.
class kly_Beam {
public:
  kly_Beam() = default;
  virtual ~kly_Beam() = default;
  kly_Beam(const kly_Beam&) = default;
  kly_Beam& operator=(const kly_Beam&) = default;

  // Stores the five inputs, zeroes the four sheet dimensions and computes the
  // derived values: [V], [A], [Hz], [m], [m].
  void initRoundBeam(double beamVoltage, double beamCurrent, double frequency, double tubeRadius, double beamRadius);
  // Stores the seven inputs, zeroes the two radii and computes the derived
  // values: [V], [A], [Hz], then beam width, beam height, tube width, tube height [m].
  void initSheetBeam(double beamVoltage, double beamCurrent, double frequency, double beamWidth, double beamHeight,
                     double tubeWidth, double tubeHeight);

  // Derived values from the stored inputs of the respective geometry.
  void computeRoundBeam();
  void computeSheetBeam();
  // Sets the 21 derived values to 0.
  void clearDerived();

  std::int32_t getBeamType() const { return beamType; }  // 0 none, 1 round, 2 sheet
  double getBeamVoltage() const { return beamVoltage; }  // V0, cathode voltage [V]
  double getBeamCurrent() const { return beamCurrent; }  // I0 [A]
  double getFrequency() const { return frequency; }      // operating frequency [Hz]
  double getTubeRadius() const { return tubeRadius; }    // a [m] (round beam)
  double getBeamRadius() const { return beamRadius; }    // b [m] (round beam)
  double getBeamWidth() const { return beamWidth; }      // w [m] (sheet beam)
  double getBeamHeight() const { return beamHeight; }    // h, the thin dimension [m] (sheet beam)
  double getTubeWidth() const { return tubeWidth; }      // W [m] (sheet beam; enters no formula)
  double getTubeHeight() const { return tubeHeight; }    // H [m] (sheet beam)
  double getDepressedBeamVoltage() const {
    return depressedBeamVoltage;
  }                                                              // Vd, V0 less the space-charge depression [V]
  double getBeamConductance() const { return beamConductance; }  // G0 = I0 / Vd [S]
  double getCurrentDensity() const { return currentDensity; }    // I0 / cross-section [A/m^2]
  double getBeamVelocity() const { return beamVelocity; }        // u0 [m/s]
  double getVOverC() const { return vOverC; }                    // u0 / c
  double getPerveance() const { return perveance; }              // I0 / V0^1.5 [A/V^1.5]
  double getMicroPerveance() const { return microPerveance; }    // perveance * 1e6
  double getPlasmaReductionFactor() const { return plasmaReductionFactor; }  // R
  double getSigma() const { return sigma; }                                  // relativistic factor
  double getGamma() const { return gamma; }                      // radial propagation constant betaE / sigma [1/m]
  double getGammaA() const { return gammaA; }                    // round: gamma * a; sheet: gamma * H / 2
  double getGammaB() const { return gammaB; }                    // round: gamma * b; sheet: gamma * h / 2
  double getOmega() const { return omega; }                      // 2 pi f [rad/s]
  double getPlasmaFrequency() const { return plasmaFrequency; }  // omega_p [rad/s]
  double getReducedPlasmaFrequency() const { return reducedPlasmaFrequency; }    // omega_q = R omega_p [rad/s]
  double getBetaE() const { return betaE; }                                      // omega / u0 [rad/m]
  double getBetaP() const { return betaP; }                                      // omega_p / u0 [rad/m]
  double getBetaQ() const { return betaQ; }                                      // 2 pi / lambda_q [rad/m]
  double getRfWavelength() const { return rfWavelength; }                        // lambda_e = 2 pi / betaE [m]
  double getPlasmaWavelength() const { return plasmaWavelength; }                // lambda_p = 2 pi / betaP [m]
  double getReducedPlasmaWavelength() const { return reducedPlasmaWavelength; }  // lambda_q = 2 pi u0 / omega_q [m]

private:
  // Steps shared by both geometries once the depressed voltage is known.
  void computeVelocityAndWaveNumbers();
  void computeReducedPlasmaQuantities();

  std::int32_t beamType = 0;
  double beamVoltage = 0;
  double beamCurrent = 0;
  double frequency = 0;
  double tubeRadius = 0;
  double beamRadius = 0;
  double beamWidth = 0;
  double beamHeight = 0;
  double tubeWidth = 0;
  double tubeHeight = 0;
  double depressedBeamVoltage = 0;
  double beamConductance = 0;
  double currentDensity = 0;
  double beamVelocity = 0;
  double vOverC = 0;
  double perveance = 0;
  double microPerveance = 0;
  double plasmaReductionFactor = 0;
  double sigma = 0;
  double gamma = 0;
  double gammaA = 0;
  double gammaB = 0;
  double omega = 0;
  double plasmaFrequency = 0;
  double reducedPlasmaFrequency = 0;
  double betaE = 0;
  double betaP = 0;
  double betaQ = 0;
  double rfWavelength = 0;
  double plasmaWavelength = 0;
  double reducedPlasmaWavelength = 0;
};
