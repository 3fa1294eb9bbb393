#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// A beam distribution produced by another calculation: one velocity and one
// axial position per disk, read from a beam file (format in the README).
// Row d of the file gives disk d of a run; rows run from the latest arrival
// (largest time) to the earliest, so that the disk index runs downstream.
class kly_BeamImport {
public:
  static constexpr int kHeaderNumbers = 10;
  static constexpr int kHeaderIntegers = 4;

  // Reads the file and parses its text (readBeamText). Throws kly_FileError
  // naming the file for one that cannot be opened or read or is a directory.
  void readBeamFile(const std::string& fileName);
  // Parses the text of a beam file and replaces what the record held;
  // `source` names the text in messages. On any failure it throws
  // kly_FileError naming the source, the line and the problem, and the record
  // keeps what it held.
  void readBeamText(std::string_view text, const std::string& source);

  int getRowCount() const { return static_cast<int>(rows_.size()); }  // N, 0 before a read

  // Per disk d, 0 .. N-1; std::out_of_range outside.
  double beta(int d) const;      // velocity over the speed of light
  double velocity(int d) const;  // beta * kly::kSpeedOfLight [m/s]
  double t(int d) const;         // arrival time after the earliest arrival [time steps]
  double z(int d) const;         // axial position relative to the earliest disk, <= 0 behind it [m]
  // Initial axial position of disk d [m]: z(d) plus the start position, which
  // is startPosition when overrideStart is set and the file's start position
  // otherwise.
  double initialPosition(int d, bool overrideStart, double startPosition) const;

  double getFileStartPosition() const { return fileStartPosition_; }  // the number after "=" [m]
  // Header number k (1 .. 10, in file order; 1 is the number after "v0:", 3 the
  // frequency [Hz] that converts times to distances) and header integer k
  // (1 .. 4; 1 is N, 3 the time steps per period). std::out_of_range outside.
  double headerNumber(int k) const;
  int headerInteger(int k) const;

private:
  struct Row {
    double beta;
    double t;  // shifted time t'
    double z;  // [m]
  };
  const Row& row(int d) const;

  std::vector<Row> rows_;
  double fileStartPosition_ = 0.0;
  std::array<double, kHeaderNumbers> headerNumbers_{};
  std::array<int, kHeaderIntegers> headerIntegers_{};
};
