#include "tools/kly_SweepJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

namespace {

std::string readAll(const std::filesystem::path& file, bool& exists) {
  std::ifstream in(file, std::ios::binary);
  exists = static_cast<bool>(in);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  return text.str();
}

void writeAll(int fd, const std::string& text, const std::filesystem::path& file) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error(fmt::format("cannot write '{}': {}", file.string(), std::strerror(errno)));
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

kly_SweepJournal::Contents kly_SweepJournal::read(const std::filesystem::path& file) {
  Contents contents;
  bool exists = false;
  const std::string text = readAll(file, exists);
  if (!exists) return contents;
  std::size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    // Without its line break a line was cut short.
    if (end == std::string::npos) {
      ++contents.ignored;
      break;
    }
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (first) {
      if (line != kHeader)
        throw std::runtime_error(
            fmt::format("'{}' is not a sweep journal (its first line is not \"{}\")", file.string(), kHeader));
      first = false;
      continue;
    }
    const std::size_t a = line.find(' ');
    const std::size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
    if (b == std::string_view::npos) {
      ++contents.ignored;
      continue;
    }
    try {
      kly_PointResult r = kly_PointResult::parse(line.substr(b + 1));
      contents.byHash[std::string(line.substr(0, a))] = std::move(r);
      ++contents.lines;
    } catch (const std::invalid_argument&) {
      ++contents.ignored;
    }
  }
  if (first && !text.empty()) throw std::runtime_error(fmt::format("'{}' is not a sweep journal", file.string()));
  return contents;
}

kly_SweepJournal::kly_SweepJournal(const std::filesystem::path& folder, bool keep)
    : file_(folder / kName), lastSync_(std::chrono::steady_clock::now()) {
  bool exists = false;
  std::string text = keep ? readAll(file_, exists) : std::string();
  // Keep whole lines only: a torn last line would run into the next record.
  const std::size_t whole = text.rfind('\n');
  const bool valid = exists && whole != std::string::npos && text.compare(0, std::strlen(kHeader), kHeader) == 0;
  fd_ = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw std::runtime_error(fmt::format("cannot write '{}': {}", file_.string(), std::strerror(errno)));
  const off_t length = valid ? static_cast<off_t>(whole + 1) : 0;
  if (::ftruncate(fd_, length) != 0 || ::lseek(fd_, length, SEEK_SET) != length) {
    const std::string reason = std::strerror(errno);
    ::close(fd_);
    throw std::runtime_error(fmt::format("cannot write '{}': {}", file_.string(), reason));
  }
  if (!valid) writeAll(fd_, std::string(kHeader) + "\n", file_);
  sync();
}

kly_SweepJournal::~kly_SweepJournal() {
  if (dirty_) ::fdatasync(fd_);
  ::close(fd_);
}

void kly_SweepJournal::append(const std::string& hash, std::size_t point, const kly_PointResult& result) {
  writeAll(fd_, fmt::format("{} {} {}\n", hash, point, result.serialize()), file_);
  dirty_ = true;
  const auto now = std::chrono::steady_clock::now();
  if (std::chrono::duration<double>(now - lastSync_).count() >= kSyncSeconds) sync();
}

void kly_SweepJournal::sync() {
  if (::fdatasync(fd_) != 0)
    throw std::runtime_error(fmt::format("cannot write '{}': {}", file_.string(), std::strerror(errno)));
  dirty_ = false;
  lastSync_ = std::chrono::steady_clock::now();
}
