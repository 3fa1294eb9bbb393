#pragma once

#include <vector>

class kly_TubeRun;

// Where the power of the beam goes in a simulated run, from its results (all
// in W):
//   launched      the kinetic power the beam carries as launched: the disk
//                 rings' kinetic energies at their first time step, times
//                 the beam current over the charge of a period. For a beam
//                 launched at u0 it is I0 Vd (the beam model's kinetic
//                 energy is e Vd), to rounding.
//   cavity[k]     the power cavity k takes from the beam at its harmonic
//                 n = |h_k|, -Re(V_k conj(I_k,n)) / 2 with the gap voltage
//                 and the induced current the run reports; negative where
//                 the gap gives power to the beam (the driven input). For
//                 the output cavity the fundamental, as the efficiencies
//                 take it: electronic efficiency x I0 Vd.
//   output        simulatedOutputPower, the output cavity's share that
//                 reaches its load, Qo / (Qo + Qe) of cavity[last].
//   outputWalls   cavity[last] - output, lost in its walls.
//   otherCavities the sum of cavity[k] over the cavities before the output:
//                 their wall losses (and loads), less what the input gap gave.
//   spent         launched - output - outputWalls - otherCavities: what the
//                 beam still carries, by the balance.
//   spentMeasured the kinetic power of the disk rings as they leave the
//                 output cavity's field (their exit velocities), formed as
//                 `launched` is. It differs from `spent` by what the balance
//                 does not hold: the energy still stored in the bunched
//                 beam's space-charge field at that plane and the tails of
//                 the gap fields beyond it.
struct kly_PowerBalance {
  double launched = 0;
  std::vector<double> cavity;
  double output = 0;
  double outputWalls = 0;
  double otherCavities = 0;
  double spent = 0;
  double spentMeasured = 0;
  int notLeft = 0;  // disk rings without an exit velocity (turned back), left out of spentMeasured

  // Of a run whose simulation ran; throws kly_StateError otherwise.
  static kly_PowerBalance of(const kly_TubeRun& run);
};
