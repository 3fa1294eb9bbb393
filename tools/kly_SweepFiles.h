#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/kly_OutputFolder.h"

class kly_SweepReport;

// What a sweep leaves in its output folder: sweep.csv and sweep.json (one
// row per point that ran: its values under their key paths, its status, the
// passes made, the simulation's flags, its wall time, its tube's fingerprint
// and every scalar result under its results.json name), the summary, and the
// plots of its kind. The journal of the points (kly_SweepJournal) is kept
// apart: it is written as the points finish.
class kly_SweepFiles {
public:
  static kly_OutputFolder collect(const kly_SweepReport& report, const std::filesystem::path& folder,
                                  const std::string& summary);
  // Every name a sweep may write here (kly_OutputFolder::write removes those of an earlier sweep this one does not
  // make).
  static const std::vector<std::string>& allNames();

  static std::string csv(const kly_SweepReport& report);
  static nlohmann::ordered_json json(const kly_SweepReport& report);
};
