#pragma once

#include <map>
#include <string>

#include "klystron/model/kly_TubeDescription.h"

// A fingerprint of everything a point's results are computed from: every
// value of the description, bit for bit, the contents of the field and beam
// files it names, whether the simulation runs, and the version of the
// evaluation. Two points with the same fingerprint give the same results, so
// a result kept under it can stand for a new evaluation (a resumed sweep).
// 128 bits as 32 hexadecimal digits; not a cryptographic hash.
class kly_TubeHash {
public:
  // Changes whenever an evaluation would give other results or other names
  // for the same description.
  static constexpr int kEvaluationVersion = 1;

  // Files are read once per object: a sweep hashes all its points with one.
  std::string of(const kly_TubeDescription& tube, bool simulate);

  // The text that is hashed: the evaluation's version, whether the
  // simulation runs, the description (kly_DescriptionText, without its
  // simulation settings when the simulation does not run) and the hashes of
  // the files' contents; for tests and for reading what two fingerprints
  // differ in.
  std::string canonical(const kly_TubeDescription& tube, bool simulate);

  // The fingerprint of any text.
  static std::string ofText(const std::string& text);

private:
  std::string fileHash(const std::string& name);
  std::map<std::string, std::string> files_;
};
