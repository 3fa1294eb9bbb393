#include "klystron/simulation/kly_BeamImport.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "core/kly_Format.h"
#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"

namespace {

using kly::kSpeedOfLight;

using kly::formatNumber;

// Whitespace-separated tokens of a text file with the line each came from;
// line breaks carry no meaning beyond that.
class TokenReader {
public:
  TokenReader(std::istream& in, const std::string& fileName) : in_(in), fileName_(fileName) {}

  // The next token, or false at the end of the file.
  bool next(std::string& token) {
    while (pos_ >= line_.size() || !skipBlanks()) {
      if (!std::getline(in_, line_)) {
        if (in_.bad()) fail("read failure");
        return false;
      }
      ++lineNumber_;
      pos_ = 0;
    }
    const std::size_t start = pos_;
    while (pos_ < line_.size() && !blank(line_[pos_])) ++pos_;
    token.assign(line_, start, pos_ - start);
    return true;
  }

  // Skips tokens up to and including `wanted`; the end of the file is an error.
  void skipTo(const char* wanted) {
    std::string token;
    while (next(token))
      if (token == wanted) return;
    fail(std::string("end of file before \"") + wanted + "\"");
  }

  std::string expectToken(const std::string& what) {
    std::string token;
    if (!next(token)) fail("end of file, expected " + what);
    return token;
  }

  double expectNumber(const std::string& what) {
    const std::string token = expectToken(what);
    const char* first = token.data();
    const char* last = first + token.size();
    if (last - first > 1 && *first == '+' && first[1] != '-' && first[1] != '+') ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) fail(what + " \"" + token + "\" is out of the range of a double");
    if (ec != std::errc() || end != last) fail("expected a number (" + what + "), found \"" + token + "\"");
    if (!std::isfinite(value)) fail(what + " \"" + token + "\" is not a finite number");
    return value;
  }

  int expectInteger(const std::string& what) {
    const std::string token = expectToken(what);
    const char* first = token.data();
    const char* last = first + token.size();
    if (last - first > 1 && *first == '+' && first[1] != '-' && first[1] != '+') ++first;
    int value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) fail(what + " \"" + token + "\" is out of the range of an integer");
    if (ec != std::errc() || end != last) fail("expected an integer (" + what + "), found \"" + token + "\"");
    return value;
  }

  [[noreturn]] void fail(const std::string& problem) const { failAt(lineNumber_, problem); }
  [[noreturn]] void failAt(int line, const std::string& problem) const {
    if (line == 0) throw kly_FileError("beam file '" + fileName_ + "': the file is empty: " + problem);
    throw kly_FileError("beam file '" + fileName_ + "' line " + std::to_string(line) + ": " + problem);
  }
  int line() const { return lineNumber_; }  // line of the last token read

private:
  static bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
  bool skipBlanks() {
    while (pos_ < line_.size() && blank(line_[pos_])) ++pos_;
    return pos_ < line_.size();
  }

  std::istream& in_;
  const std::string& fileName_;
  std::string line_;
  std::size_t pos_ = 0;
  int lineNumber_ = 0;
};

}  // namespace

void kly_BeamImport::readBeamFile(const std::string& fileName) {
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) throw kly_FileError("beam file '" + fileName + "': is a directory");
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw kly_FileError("beam file '" + fileName + "': cannot be opened for reading");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw kly_FileError("beam file '" + fileName + "': read failure");
  readBeamText(std::move(text).str(), fileName);
}

void kly_BeamImport::readBeamText(std::string_view text, const std::string& source) {
  std::istringstream in{std::string(text)};
  TokenReader reader(in, source);

  std::array<double, kHeaderNumbers> numbers{};
  std::array<int, kHeaderIntegers> integers{};
  reader.skipTo("v0:");
  numbers[0] = reader.expectNumber("header number 1");
  for (int k = 1; k < kHeaderNumbers; ++k) {
    const std::string what = "header number " + std::to_string(k + 1);
    reader.expectToken("the label of " + what);
    numbers[k] = reader.expectNumber(what);
  }
  std::array<int, kHeaderIntegers> lines{};
  for (int k = 0; k < kHeaderIntegers; ++k) {
    const std::string what = "header integer " + std::to_string(k + 1);
    reader.expectToken("the label of " + what);
    integers[k] = reader.expectInteger(what);
    lines[k] = reader.line();
  }
  const int rowCount = integers[0];
  if (rowCount < 1)
    reader.failAt(lines[0], "row count (header integer 1) is " + std::to_string(rowCount) + ", below 1");
  // Times are in time steps: 1/(steps per period * frequency) seconds.
  const double frequency = numbers[2];
  const int steps = integers[2];
  if (!(steps * frequency > 0))
    reader.failAt(lines[2], "time steps per period (header integer 3) " + std::to_string(steps) + " times frequency " +
                                "(header number 3) " + formatNumber(frequency) + " Hz is not positive");

  reader.skipTo("=");
  const double startPosition = reader.expectNumber("start position");
  reader.skipTo("Time");

  // Rows are collected as they are read, so that a row count far beyond the
  // rows present fails at the end of the file rather than in the allocation.
  std::vector<Row> rows;
  std::vector<int> timeLines;
  for (int d = 0; d < rowCount; ++d) {
    const std::string where = " of row " + std::to_string(d + 1) + " of " + std::to_string(rowCount);
    reader.expectNumber("first column" + where);
    const double b = reader.expectNumber("beta" + where);
    if (!(b > 0 && b < 1)) reader.fail("beta" + where + " is " + formatNumber(b) + ", not between 0 and 1");
    const double time = reader.expectNumber("time" + where);
    rows.push_back(Row{b, time, 0.0});
    timeLines.push_back(reader.line());
  }

  double tMin = rows[0].t;
  for (const Row& r : rows)
    if (r.t < tMin) tMin = r.t;
  for (std::size_t d = 0; d < rows.size(); ++d) {
    Row& r = rows[d];
    const double time = r.t;
    r.t = r.t - tMin;
    const double v = r.beta * kSpeedOfLight;
    r.z = -r.t * v / (steps * frequency);
    // Finite times can still lie so far apart that the distance overflows.
    if (!std::isfinite(r.t) || !std::isfinite(r.z))
      reader.failAt(timeLines[d], "time of row " + std::to_string(d + 1) + " of " + std::to_string(rowCount) + " (" +
                                      formatNumber(time) + ") lies too far from the earliest arrival (" +
                                      formatNumber(tMin) + ") for a position along the tube");
  }

  rows_ = std::move(rows);
  fileStartPosition_ = startPosition;
  headerNumbers_ = numbers;
  headerIntegers_ = integers;
}

const kly_BeamImport::Row& kly_BeamImport::row(int d) const {
  if (d < 0 || d >= getRowCount())
    throw std::out_of_range("beam import: disk " + std::to_string(d) + " is outside 0 to " +
                            std::to_string(getRowCount() - 1) + " (" + std::to_string(getRowCount()) + " rows read)");
  return rows_[static_cast<std::size_t>(d)];
}

double kly_BeamImport::beta(int d) const { return row(d).beta; }
double kly_BeamImport::velocity(int d) const { return row(d).beta * kSpeedOfLight; }
double kly_BeamImport::t(int d) const { return row(d).t; }
double kly_BeamImport::z(int d) const { return row(d).z; }

double kly_BeamImport::initialPosition(int d, bool overrideStart, double startPosition) const {
  const double z0 = overrideStart ? startPosition : fileStartPosition_;
  return row(d).z + z0;
}

double kly_BeamImport::headerNumber(int k) const {
  if (k < 1 || k > kHeaderNumbers)
    throw std::out_of_range("beam import: header number " + std::to_string(k) + " is outside 1 to " +
                            std::to_string(kHeaderNumbers));
  return headerNumbers_[static_cast<std::size_t>(k - 1)];
}

int kly_BeamImport::headerInteger(int k) const {
  if (k < 1 || k > kHeaderIntegers)
    throw std::out_of_range("beam import: header integer " + std::to_string(k) + " is outside 1 to " +
                            std::to_string(kHeaderIntegers));
  return headerIntegers_[static_cast<std::size_t>(k - 1)];
}
