#pragma once

// Files of the tests: the sample files in tests/data, reading a file whole,
// the cells of a CSV table, and the one scratch folder helper for files a
// test writes.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kly_test {

// A file of tests/data.
inline std::string dataFile(const std::string& name) { return std::string(KLY_TEST_DATA_DIR) + "/" + name; }

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The cells of each line of a CSV table; a quoted cell may hold commas and
// doubled quotes.
inline std::vector<std::vector<std::string>> csvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cells.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        cells.emplace_back();
      } else {
        cells.back() += c;
      }
    }
    rows.push_back(cells);
  }
  return rows;
}

// A folder of its own in the system's temporary folder, for this process and
// `tag`, emptied when made and removed with everything in it when the object
// goes.
class ScratchDir {
public:
  explicit ScratchDir(const std::string& tag)
      : path_(std::filesystem::temp_directory_path() / ("kly-" + tag + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `text` to the file `name` in the folder and returns its path.
  std::string write(const std::string& name, const std::string& text) const {
    const std::string path = (path_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

private:
  std::filesystem::path path_;
};

}  // namespace kly_test
