#pragma once

// The tube most tests run: the four-cavity S-band round-beam tube of the
// examples (110 kV, 90 A, 2.856 GHz): input, idler, a second-harmonic buncher
// and the loaded output.

#include "model/kly_Klystron.h"

namespace kly_test {

inline void addSBandCavities(kly_Klystron& k) {
  k.addCavity(0.00, 2.856e9, 0.82, 1, 0.010, 110, 2500, 300);
  k.addCavity(0.12, 2.870e9, 0.82, 1, 0.010, 110, 2500, 100000);
  k.addCavity(0.30, 5.750e9, 0.70, 2, 0.008, 60, 2500, 100000);
  k.addCavity(0.48, 2.856e9, 0.80, 1, 0.012, 100, 2500, 25);
}

inline void sBandTube(kly_Klystron& k, double inputPower = 60.0) {
  k.setOperatingParameters(110000, 90, 2.856e9, inputPower, 0.0095, 0.0062);
  addSBandCavities(k);
}

}  // namespace kly_test
