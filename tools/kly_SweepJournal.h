#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "klystron/driver/kly_PointResult.h"

// The record of every finished point of a sweep, kept in the output folder
// as the points finish, so that a sweep stopped in any way (Ctrl-C, a kill, a
// crash) can be resumed without computing again what it had finished. One
// line per point: its tube's fingerprint, its number and its record
// (kly_PointResult::serialize), numbers exact. Each line is handed to the
// system in one write as its point finishes, so a killed process loses none;
// the file is flushed to the disk at most kSyncSeconds apart and at the end,
// so a machine that fails loses at most the last of them. A line cut short,
// the end of a file whose writer was killed mid-write, is ignored and
// overwritten.
class kly_SweepJournal {
public:
  static constexpr const char* kName = "sweep-journal.txt";
  static constexpr const char* kHeader = "klystron sweep journal 1";
  static constexpr double kSyncSeconds = 1.0;

  struct Contents {
    std::map<std::string, kly_PointResult> byHash;  // the last record of each fingerprint
    std::size_t lines = 0;                          // records read
    std::size_t ignored = 0;                        // lines that are no record (a torn last line)
  };

  // The records in the journal `file`; an absent file has none. Throws
  // std::runtime_error for a file that is not a sweep journal.
  static Contents read(const std::filesystem::path& file);

  // Opens the journal in `folder` for appending: after the records there
  // when `keep`, else empty. Throws std::runtime_error naming the file.
  kly_SweepJournal(const std::filesystem::path& folder, bool keep);
  ~kly_SweepJournal();
  kly_SweepJournal(const kly_SweepJournal&) = delete;
  kly_SweepJournal& operator=(const kly_SweepJournal&) = delete;

  // Appends a point's record; throws std::runtime_error when it cannot.
  void append(const std::string& hash, std::size_t point, const kly_PointResult& result);
  // Flushes everything appended to the disk.
  void sync();

  const std::filesystem::path& file() const { return file_; }

private:
  std::filesystem::path file_;
  int fd_ = -1;
  std::chrono::steady_clock::time_point lastSync_;
  bool dirty_ = false;
};
