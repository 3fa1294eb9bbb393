#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How the evaluation of one tube point ended.
enum class kly_PointStatus {
  ok,            // every model asked for ran to its end
  notConverged,  // the simulation stopped at its pass limit before the output voltage settled
  failed,        // refused or a model error: see the message
};

// The record of one evaluated tube point: every scalar result under its
// results.json name, the per-cavity results as arrays over the cavities, the
// passes made, the simulation's flags, the wall time and how it ended. A
// record can be written as one line of text and read back to the same bits
// (serialize, parse), so that it can be kept in a journal or sent to another
// process; NaN payloads and signed zeros included.
struct kly_PointResult {
  using Scalar = std::pair<std::string, double>;
  using Array = std::pair<std::string, std::vector<double>>;

  kly_PointStatus status = kly_PointStatus::failed;
  std::string message;         // why the point failed; empty otherwise
  bool simulated = false;      // the disk simulation ran
  int passes = 0;              // simulation passes made (results.json: simulatedIterations)
  bool diskReflected = false;  // the simulation's flags; false when it did not run
  bool fieldOverlapping = false;
  double seconds = 0;           // wall time of the evaluation [s]
  std::vector<Scalar> scalars;  // in the order of results.json
  std::vector<Array> cavityArrays;

  // The scalar of that name, or nullptr when the record has none (a
  // simulated result of an analytic-only point, any result of a failure).
  const double* find(std::string_view name) const;
  const std::vector<double>* findArray(std::string_view name) const;

  // "ok", "not converged" or "failed: <message>".
  std::string statusText() const;

  // One line, without a line break: the record's every field, numbers as
  // hexadecimal floating point (non-finite ones by name, NaN with its bits).
  std::string serialize() const;
  // The record of a line that serialize wrote; std::invalid_argument for
  // anything else, a line cut short included.
  static kly_PointResult parse(std::string_view line);

  // Field by field, numbers compared bit for bit.
  bool identical(const kly_PointResult& other) const;
};

// The status as serialize writes it and back.
const char* kly_pointStatusName(kly_PointStatus status);
