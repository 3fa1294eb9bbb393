#pragma once

// Averages a cavity's gap field over the cross-section of the beam: the field
// of the cavity body falls off away from the axis (J0 across a round beam,
// cos across a sheet beam), the gap field rises towards the drift-tube wall
// (I0, cosh). Turns the on-axis coupling coefficient M and R/Q into
// beam-averaged values and finds the equivalent radius at which the
// transverse field factor equals its beam average.
//
// Filled by exactly one of the two operations; a second one overwrites every
// result. Nothing is checked: a zero beam radius, height or frequency makes
// the field factor NaN.
class kly_CavityAverageParameterValues {
public:
  kly_CavityAverageParameterValues() = default;
  virtual ~kly_CavityAverageParameterValues() = default;

  // Round beam of radius beamRadius [m] in a tube of radius tubeRadius [m]
  // (stored, not used); m, rq [ohm], beamVoltage (depressed) [V], frequency [Hz].
  void averageRound(double m, double rq, double beamVoltage, double frequency, double tubeRadius, double beamRadius);
  // Sheet beam of height beamHeight [m] in a tube of height tubeHeight [m]
  // (stored, not used); other arguments as for averageRound.
  void averageSheet(double m, double rq, double beamVoltage, double frequency, double tubeHeight, double beamHeight);

  double getFieldFactor() const { return fieldFactor; }            // beam average of the transverse field shape
  double getEquivalentRadius() const { return equivalentRadius; }  // where the shape equals its average [m]
  double getAveragedRQ() const { return averagedRQ; }              // [ohm]
  double getAveragedCoupling() const { return averagedCoupling; }  // beam-averaged M

private:
  // Free-space wave number and the beam's relativistic constants.
  void computeWaveNumbers();

  double m = 0;
  double rq = 0;           // [ohm]
  double beamVoltage = 0;  // [V]
  double frequency = 0;    // [Hz]
  double tubeHeight = 0;   // [m]
  double beamHeight = 0;   // [m]
  double tubeRadius = 0;   // [m]
  double beamRadius = 0;   // [m]
  bool isRound = true;
  double fieldFactor = 0;
  double equivalentRadius = 0;  // [m]
  double averagedRQ = 0;        // [ohm]
  double averagedCoupling = 0;
  double k0 = 0;  // [rad/m]
  double sigma = 0;
  double velocity = 0;  // [m/s]
  double betaE = 0;     // [rad/m]
  double gamma = 0;     // [1/m]
};
