#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/kly_OutputFolder.h"

class kly_TubeRun;

// What a run leaves in its output folder: results.json, the CSV tables, the
// SVG plots and the summary text.
class kly_RunFiles {
public:
  static kly_OutputFolder collect(const kly_TubeRun& run, const std::filesystem::path& folder,
                                  const std::string& summary);
  // Every name a run may write, simulated or not.
  static const std::vector<std::string>& allNames();
};
