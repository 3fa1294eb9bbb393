#pragma once

// Truth files of the example tubes: what of a results.json they pin, how a
// fresh run is held to them, and the report of what moved.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// One value that differs between a truth file and a fresh run.
struct kly_GoldenChange {
  std::string key;     // path in the file: simulatedGain, analyticQb[2], simulatedCavityCurrentPhase[3][1]
  std::string before;  // as the truth file has it; "(absent)" when it has none
  std::string after;   // as the fresh run has it; "(absent)" when it has none
  // The size of the change: relative to the value, to its array's largest
  // value (near 0), or of the phasor (phases); empty where it is no number.
  std::string change;
  bool beyondTolerance = false;  // fails the test
};

class kly_GoldenFile {
public:
  // Relative tolerance of every number that is not a count.
  static constexpr double kTolerance = 1e-9;

  // The part of a results.json a truth file holds: every scalar result and
  // every per-cavity array, in the file's order. Left out: the profiles
  // along z (objects of "z" and "value"; their features are pinned by the
  // scalars: maximum I1/I0 and its place) and the warnings (words; what
  // they report is pinned by the numbers and flags they are made from).
  static nlohmann::ordered_json truthOf(const nlohmann::ordered_json& results);

  // Every value that differs between `truth` and the truth of `fresh` (a
  // results.json or a truth file), in the truth file's order, then keys only
  // the fresh run has. Each is flagged beyond tolerance when:
  //  - integers (counts), booleans, strings and null differ at all, a value
  //    changes its type, an array its length, or a key is missing or new;
  //  - a number differs by more than kTolerance x the larger of its two
  //    values. In an array the allowance is at least kTolerance x the
  //    largest magnitude of the truth's array (its scale): a value near 0
  //    (z of the first gap, a field extent that passes through 0) is held to
  //    the accuracy of the quantity, not of its own few digits;
  //  - a phase (the ...Phase arrays) is compared as the phasor it forms with
  //    its magnitude (analyticCavityVoltage, simulatedCavityVoltage,
  //    simulatedCavityCurrentMagnitude): |m' e^(j p') - m e^(j p)| may be up
  //    to kTolerance x the larger magnitude, and at least kTolerance x the
  //    magnitudes' scale, so that -pi and pi are the same phase and the
  //    phase of a phasor near 0 (a harmonic the beam hardly carries) counts
  //    for as little as the phasor. A phase without its magnitude is
  //    compared on the circle, to kTolerance x pi.
  static std::vector<kly_GoldenChange> compare(const nlohmann::ordered_json& truth,
                                               const nlohmann::ordered_json& fresh);

  // A table of the changes for a reviewer: key, old, new, change, and a *
  // for those beyond tolerance; "unchanged" when there are none.
  static std::string report(const std::vector<kly_GoldenChange>& changes);
  static bool passes(const std::vector<kly_GoldenChange>& changes);

  // The key of the magnitudes that go with a phase key in `truth` (the key
  // less "Phase", or with "Magnitude" in its place), or an empty string.
  static std::string magnitudeOf(const nlohmann::ordered_json& truth, const std::string& phaseKey);
};
