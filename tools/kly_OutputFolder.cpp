#include "tools/kly_OutputFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <fmt/format.h>
#include <unistd.h>

kly_OutputFolder::kly_OutputFolder(std::filesystem::path folder) : folder_(clean(folder)) {}

std::filesystem::path kly_OutputFolder::clean(const std::filesystem::path& folder) {
  std::filesystem::path p = folder.lexically_normal();
  // "out/" normalises to "out/" (an empty last part): drop it, but keep "/".
  if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  return p.empty() ? std::filesystem::path(".") : p;
}

void kly_OutputFolder::prepare() const {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec || !fs::is_directory(folder_)) {
    throw std::runtime_error(fmt::format("cannot create the output folder '{}': {}", folder_.string(),
                                         ec ? ec.message() : "a file of that name exists"));
  }
  // A file made and removed again: a folder may exist and still refuse files.
  const fs::path probe = folder_ / fmt::format(".klystron-probe-{}", ::getpid());
  std::ofstream out(probe, std::ios::binary | std::ios::trunc);
  const std::string reason = out ? "" : std::strerror(errno);
  out.close();
  fs::remove(probe, ec);
  if (!reason.empty())
    throw std::runtime_error(fmt::format("cannot write into the output folder '{}': {}", folder_.string(), reason));
}

bool kly_OutputFolder::holdsResults() const {
  std::error_code ec;
  return std::filesystem::exists(folder_ / "results.json", ec);
}

void kly_OutputFolder::add(const std::string& name, std::string content) { files_[name] = std::move(content); }

std::vector<std::string> kly_OutputFolder::names() const {
  std::vector<std::string> n;
  for (const auto& [name, content] : files_) n.push_back(name);
  return n;
}

void kly_OutputFolder::write(const std::vector<std::string>& ownNames) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec || !fs::is_directory(folder_)) {
    throw std::runtime_error(fmt::format("cannot create the output folder '{}': {}", folder_.string(),
                                         ec ? ec.message() : "a file of that name exists"));
  }
  std::vector<fs::path> written;
  auto discard = [&written] {
    std::error_code ignored;
    for (const fs::path& p : written) fs::remove(p, ignored);
  };
  for (const auto& [name, content] : files_) {
    const fs::path temporary = folder_ / (name + ".part");
    if (temporary.parent_path() != folder_) fs::create_directories(temporary.parent_path(), ec);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (out) out.close();
    if (!out) {
      const std::string reason = std::strerror(errno);
      written.push_back(temporary);
      discard();
      throw std::runtime_error(fmt::format("cannot write '{}': {}", (folder_ / name).string(), reason));
    }
    written.push_back(temporary);
  }
  for (const auto& [name, content] : files_) {
    fs::rename(folder_ / (name + ".part"), folder_ / name, ec);
    if (ec) {
      discard();
      throw std::runtime_error(fmt::format("cannot write '{}': {}", (folder_ / name).string(), ec.message()));
    }
  }
  for (const std::string& name : ownNames) {
    if (!files_.contains(name)) fs::remove(folder_ / name, ec);
  }
}
