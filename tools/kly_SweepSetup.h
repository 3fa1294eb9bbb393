#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "klystron/driver/kly_Sweep.h"
#include "tools/kly_SweepKeys.h"
#include "tools/kly_TubeFile.h"

// What a sweep was asked for, as `klystron sweep` reads it.
struct kly_SweepRequest {
  std::filesystem::path tube;     // the tube file
  std::vector<std::string> vary;  // KEY=RANGE, one or two
  bool noSim = false;             // the analytic model only
  std::string nearField;          // "thin" or "finite"; empty: the tube file's
  std::optional<int> maxPasses;   // replaces simulation.maxIterations
  bool force = false;             // points whose estimate is over the limits run all the same
};

// A sweep made ready from a tube file: every point's tube file, the base
// with its values put in at their key paths, read and checked as `klystron
// run` reads and checks a tube file, before anything runs. A point whose
// values its checks refuse is kept in the plan as refused, with the reasons.
struct kly_SweepSetup {
  static constexpr std::size_t kMaxAxes = 2;

  kly_TubeFileContents base;   // the tube file as it is
  std::vector<kly_Vary> vary;  // one per axis
  kly_SweepPlan plan;

  // Throws kly_TubeFileError when the tube file itself cannot be used and
  // kly_VaryError for a --vary option that cannot (or none, or more than
  // two, or one key twice).
  static kly_SweepSetup prepare(const kly_SweepRequest& request);

  // Whether the sweep varies exactly this one key.
  bool varies(std::string_view key) const { return vary.size() == 1 && vary[0].key.text == key; }
};
