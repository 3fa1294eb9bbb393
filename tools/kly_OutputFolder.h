#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The files of one run, written together into the output folder. Each file
// is written under a temporary name and renamed into place, so a file is
// either the old one or the complete new one; files of an earlier run that
// this run does not produce (the simulation's, after a run with --no-sim) are
// removed, so the folder never mixes two runs. Other files are left alone. A
// name may lie in a subfolder ("best/00.json"), which is made as needed.
class kly_OutputFolder {
public:
  explicit kly_OutputFolder(std::filesystem::path folder);  // cleaned

  // The folder as given, without "." parts, doubled or trailing separators.
  static std::filesystem::path clean(const std::filesystem::path& folder);

  // Creates the folder if needed and checks that files can be made in it,
  // before anything is computed; throws std::runtime_error naming the folder
  // and the reason.
  void prepare() const;
  // Whether the folder holds results.json of an earlier run.
  bool holdsResults() const;

  void add(const std::string& name, std::string content);
  // Creates the folder if needed and writes every file; throws
  // std::runtime_error naming the file and the reason.
  void write(const std::vector<std::string>& ownNames) const;

  const std::filesystem::path& folder() const { return folder_; }
  std::vector<std::string> names() const;

private:
  std::filesystem::path folder_;
  std::map<std::string, std::string> files_;
};
