// klystron_golden compare TRUTH.json RESULTS.json
// klystron_golden update TRUTH.json RESULTS.json
//
// compare: holds the results.json of a fresh run to a truth file and prints
// every value that moved; exit status 1 when one is beyond the tolerance
// (kly_GoldenFile::compare), 0 otherwise.
// update: prints the same report and writes the fresh run's truth into
// TRUTH.json (made when missing, rewritten only when something moved).
// Exit status 2 for a usage error or a file that cannot be read or written.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "kly_GoldenFile.h"

namespace {

using nlohmann::ordered_json;

struct Failure {
  std::string message;
};

ordered_json readJson(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure{fmt::format("{}: cannot open", path.string())};
  std::ostringstream text;
  text << in.rdbuf();
  try {
    return ordered_json::parse(text.str());
  } catch (const ordered_json::exception& e) {
    throw Failure{fmt::format("{}: not JSON: {}", path.string(), e.what())};
  }
}

// Written under a temporary name and renamed into place, never half-written.
void writeText(const std::filesystem::path& path, const std::string& text) {
  const std::filesystem::path temporary = path.string() + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw Failure{fmt::format("{}: cannot write", temporary.string())};
  }
  std::error_code e;
  std::filesystem::rename(temporary, path, e);
  if (e) throw Failure{fmt::format("{}: cannot rename into place: {}", path.string(), e.message())};
}

int run(const std::string& mode, const std::filesystem::path& truthPath, const std::filesystem::path& resultsPath) {
  const ordered_json results = readJson(resultsPath);
  if (mode == "compare") {
    if (!std::filesystem::exists(truthPath)) {
      std::cout << fmt::format("{}: no truth file; make it with scripts/update-golden.sh\n", truthPath.string());
      return 1;
    }
    const auto changes = kly_GoldenFile::compare(readJson(truthPath), results);
    std::cout << truthPath.string() << ": " << kly_GoldenFile::report(changes);
    return kly_GoldenFile::passes(changes) ? 0 : 1;
  }
  const ordered_json truth = kly_GoldenFile::truthOf(results);
  if (!std::filesystem::exists(truthPath)) {
    writeText(truthPath, truth.dump(2) + "\n");
    std::cout << fmt::format("{}: new truth file of {} results\n", truthPath.string(), truth.size());
    return 0;
  }
  const auto changes = kly_GoldenFile::compare(readJson(truthPath), results);
  std::cout << truthPath.string() << ": " << kly_GoldenFile::report(changes);
  if (!changes.empty()) writeText(truthPath, truth.dump(2) + "\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc != 4 || (mode != "compare" && mode != "update")) {
    std::cerr << "usage: klystron_golden compare|update TRUTH.json RESULTS.json\n";
    return 2;
  }
  try {
    return run(mode, argv[2], argv[3]);
  } catch (const Failure& f) {
    std::cerr << "klystron_golden: " << f.message << '\n';
  }
  return 2;
}
