#pragma once

// The files of two sweeps, or of two optimisations, compared as a user
// compares them: every file but the journal and the checkpoint, without what
// differs from run to run (the wall times, the workers, the points taken
// from a journal).

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kly_Files.h"

namespace kly_test {

// A file of a sweep or an optimisation without the wall times, the workers
// and the journal.
inline std::string withoutTimes(const std::string& name, const std::string& text) {
  if (name.size() > 4 && name.substr(name.size() - 4) == ".csv") {
    const auto rows = csvRows(text);
    std::size_t column = 0;
    if (rows.empty()) return text;
    while (column < rows[0].size() && rows[0][column] != "seconds") ++column;
    std::string out;
    for (auto row : rows) {
      if (column < row.size()) row.erase(row.begin() + static_cast<std::ptrdiff_t>(column));
      for (const std::string& cell : row) out += cell + "|";
      out += "\n";
    }
    return out;
  }
  if (name == "sweep.json") {
    nlohmann::json j = nlohmann::json::parse(text);
    for (nlohmann::json& p : j["points"]) p.erase("seconds");
    return j.dump(1);
  }
  if (name == "summary.txt") {
    std::string out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (line.find(" worker") == std::string::npos && line.find("journal") == std::string::npos) out += line + "\n";
    }
    return out;
  }
  return text;
}

// The names of the files that differ between the runs in folders a and b
// (and their subfolders), or are in one of them only; empty when they agree.
inline std::vector<std::string> sweepDifferences(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::set<std::string> names;
  for (const auto& folder : {a, b})
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name != "sweep-journal.txt" && name != "checkpoint.txt")
        names.insert(std::filesystem::relative(entry.path(), folder).string());
    }
  std::vector<std::string> differ;
  for (const std::string& name : names) {
    if (!std::filesystem::exists(a / name) || !std::filesystem::exists(b / name) ||
        withoutTimes(std::filesystem::path(name).filename().string(), readText((a / name).string())) !=
            withoutTimes(std::filesystem::path(name).filename().string(), readText((b / name).string())))
      differ.push_back(name);
  }
  return differ;
}

}  // namespace kly_test
