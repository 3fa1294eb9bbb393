#pragma once

// The tubes the tests run, each defined once: the four-cavity S-band
// round-beam tube of the examples (110 kV, 90 A, 2.856 GHz) with its input,
// idler, second-harmonic buncher and loaded output, its two-cavity form at
// 10 kV driven far beyond the beam voltage, and the three-cavity X-band
// sheet-beam tube (75 kV, 30 A, 11.424 GHz).

#include "klystron/model/kly_Klystron.h"
#include "klystron/model/kly_TubeDescription.h"

#include <string>

namespace kly_test {

inline kly_CavityDescription cavity(double z, double frequency, double m, int harmonic, double gapWidth, double rq,
                                    double qo, double qe) {
  kly_CavityDescription c;
  c.z = z;
  c.frequency = frequency;
  c.m = m;
  c.harmonic = harmonic;
  c.gapWidth = gapWidth;
  c.rq = rq;
  c.qo = qo;
  c.qe = qe;
  return c;
}

inline kly_TubeDescription sBandDescription(double inputPower = 60.0) {
  kly_TubeDescription d;
  d.beam.voltage = 110000;
  d.beam.current = 90;
  d.beam.frequency = 2.856e9;
  d.beam.inputPower = inputPower;
  d.beam.tubeRadius = 0.0095;
  d.beam.beamRadius = 0.0062;
  d.cavities = {
      cavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300), cavity(0.12, 2.870e9, 0.82, 1, 0.010, 110, 2500, 100000),
      cavity(0.30, 5.750e9, 0.70, 2, 0.008, 60, 2500, 100000), cavity(0.48, 2.856e9, 0.80, 1, 0.012, 100, 2500, 25)};
  return d;
}

// The S-band tube with a simulation small enough for every test run.
inline kly_TubeDescription smallSimulatedTube() {
  kly_TubeDescription d = sBandDescription();
  kly_SimulationSettings s;
  s.disks = 8;
  s.rings = 2;
  s.steps = 16;
  s.maxIterations = 40;
  d.simulation = s;
  return d;
}

// The S-band tube's input gap and a loaded second gap at 10 kV and 1 A,
// driven with 20 kW: disks stop and turn back.
inline kly_TubeDescription turningBackDescription() {
  kly_TubeDescription d = sBandDescription(20000);
  d.beam.voltage = 10000;
  d.beam.current = 1;
  d.cavities = {cavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300),
                cavity(0.20, 2.856e9, 0.82, 1, 0.010, 110, 2500, 25)};
  return d;
}

inline kly_TubeDescription xBandSheetDescription() {
  kly_TubeDescription d;
  d.beam.voltage = 75000;
  d.beam.current = 30;
  d.beam.frequency = 11.424e9;
  d.beam.inputPower = 5;
  d.beam.round = false;
  d.beam.beamWidth = 0.020;
  d.beam.beamHeight = 0.0016;
  d.beam.tubeWidth = 0.024;
  d.beam.tubeHeight = 0.0032;
  d.cavities = {cavity(0.000, 11.424e9, 0.85, 1, 0.0030, 60, 3000, 400),
                cavity(0.045, 11.460e9, 0.85, 1, 0.0030, 60, 3000, 100000),
                cavity(0.090, 11.424e9, 0.85, 1, 0.0030, 60, 3000, 30)};
  return d;
}

// Describes `d` to a model through the setters, as the Java class does.
inline void describe(kly_Klystron& k, const kly_TubeDescription& d) {
  const kly_BeamDescription& b = d.beam;
  if (b.round)
    k.setOperatingParameters(b.voltage, b.current, b.frequency, b.inputPower, b.tubeRadius, b.beamRadius);
  else
    k.setOperatingParameters(b.voltage, b.current, b.frequency, b.inputPower, b.beamWidth, b.beamHeight, b.tubeWidth,
                             b.tubeHeight);
  for (const kly_CavityDescription& c : d.cavities) {
    k.addCavity(c.z, c.frequency, c.m, c.harmonic, c.gapWidth, c.rq, c.qo, c.qe);
    if (c.hasFieldFile) k.loadCavityField(k.getCavityCount() - 1, c.fieldFile, 0.0, c.fieldRings);
  }
}

// A cavity's gap field from a field file tabulated at `rings` positions.
inline kly_CavityDescription withFieldFile(kly_CavityDescription c, const std::string& file, int rings) {
  c.hasFieldFile = true;
  c.fieldFile = file;
  c.fieldRings = rings;
  return c;
}

inline void sBandTube(kly_Klystron& k, double inputPower = 60.0) { describe(k, sBandDescription(inputPower)); }

// The S-band tube's operating point and geometry only, for tubes of other cavities.
inline void sBandBeam(kly_Klystron& k, double inputPower = 60.0) {
  kly_TubeDescription d = sBandDescription(inputPower);
  d.cavities.clear();
  describe(k, d);
}

}  // namespace kly_test
