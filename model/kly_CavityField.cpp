#include "klystron/model/kly_CavityField.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <ios>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "klystron/core/kly_Errors.h"

namespace {

// Relative tolerance of the axial grid: a point may lie this fraction of the
// spacing away from its place on the uniform grid. Solvers print coordinates
// to five or six digits; a graded mesh is off by far more.
constexpr double kGridTolerance = 0.01;

// The farthest a point of a profile may lie from the file's origin. A gap
// field spans centimetres; positions many decades beyond a tube's length are
// a corrupt file, and the phase of the coupling integral would overflow.
constexpr double kMaxAxialPosition = 1000.0;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string fileContext(const std::string& fileName) { return "field file '" + fileName + "'"; }

// Reads the field file with the stream's own token and line rules, keeping
// track of where each read started so that problems name their line.
class FieldFileReader {
public:
  FieldFileReader(std::string fileName, std::string text)
      : fileName_(std::move(fileName)), text_(std::move(text)), in_(text_) {}

  // Offset of the next character the stream will read.
  std::size_t position() {
    const auto p = in_.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    return p < 0 ? text_.size() : static_cast<std::size_t>(p);
  }

  // Offset of the first non-blank character at or after `from`.
  std::size_t nextTokenStart(std::size_t from) const {
    while (from < text_.size() && isSpace(text_[from])) ++from;
    return from;
  }

  int lineAt(std::size_t offset) const {
    if (offset >= text_.size()) return lastLine();
    return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
  }

  int lastLine() const {
    const int newlines = static_cast<int>(std::count(text_.begin(), text_.end(), '\n'));
    return std::max(1, newlines + (!text_.empty() && text_.back() != '\n' ? 1 : 0));
  }

  [[noreturn]] void fail(std::size_t offset, const std::string& problem) const {
    throw kly_FileError(fileContext(fileName_) + " line " + std::to_string(lineAt(offset)) + ": " + problem);
  }

  // A whitespace-delimited token of at most `width` characters; false at the end.
  bool token(std::string& t, int width) {
    in_ >> std::setw(width) >> t;
    return static_cast<bool>(in_);
  }

  template <class T, class Describe>
  T number(Describe&& what) {
    const std::size_t before = position();
    T v{};
    if (in_ >> v) return v;
    in_.clear();
    const std::size_t start = nextTokenStart(before);
    if (start >= text_.size()) fail(start, "the file ends early: expected " + what());
    std::size_t end = start;
    while (end < text_.size() && !isSpace(text_[end])) ++end;
    std::string found = text_.substr(start, std::min<std::size_t>(end - start, 40));
    if (end - start > 40) found += "...";
    errno = 0;
    char* stop = nullptr;
    const std::string whole = text_.substr(start, end - start);
    std::strtod(whole.c_str(), &stop);
    if (errno == ERANGE && stop == whole.c_str() + whole.size()) {
      fail(start, what() + " is out of range: \"" + found + "\"");
    }
    fail(start, "expected " + what() + ", found \"" + found + "\"");
  }

  // Skips the rest of the current line, which may hold at most 99 characters.
  void skipLine(const char* which) {
    const std::size_t before = position();
    char buffer[100];
    in_.getline(buffer, sizeof buffer);
    if (!in_.fail()) return;
    if (in_.eof()) fail(before, std::string("the file ends early: expected ") + which);
    fail(before, std::string(which) + " is longer than 99 characters");
  }

  std::size_t size() const { return text_.size(); }

private:
  std::string fileName_;
  std::string text_;
  std::istringstream in_;
};

// The whole file; what cannot be read at all fails here, an empty file in the parse.
std::string readWholeFile(const std::string& fileName) {
  // A directory opens like a file on Linux and then reads as nothing.
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) throw kly_FileError(fileContext(fileName) + ": is a directory");
  std::ifstream file(fileName, std::ios::binary);
  if (!file) {
    const int err = errno;
    throw kly_FileError(fileContext(fileName) + ": cannot be opened" +
                        (err != 0 ? std::string(" (") + std::strerror(err) + ")" : std::string()));
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) throw kly_FileError(fileContext(fileName) + ": read error");
  return std::move(text).str();
}

void checkSampleCount(const std::string& source, std::span<const double> samplePositions) {
  if (samplePositions.empty() || samplePositions.size() > static_cast<std::size_t>(kly_CavityField::kMaxRings)) {
    throw std::invalid_argument(fileContext(source) + ": " + std::to_string(samplePositions.size()) +
                                " sample positions requested; from 1 to " + std::to_string(kly_CavityField::kMaxRings) +
                                " are possible");
  }
}

double unitsPerMetre(const std::string& unit) {
  if (unit == "(m)") return 1.0;
  if (unit == "(ft)") return 3.2808398950131235;
  if (unit == "(in)") return 39.37007874015748;
  if (unit == "(cm)") return 100.0;
  if (unit == "(mm)") return 1000.0;
  return 1.0;
}

std::string pointName(const char* quantity, std::int64_t i, int nz, int j, int nr) {
  return std::string(quantity) + " of axial point " + std::to_string(i + 1) + " of " + std::to_string(nz) +
         " on radial line " + std::to_string(j + 1) + " of " + std::to_string(nr);
}

std::string formatLength(double v) {
  std::ostringstream s;
  s << std::setprecision(9) << v << " m";
  return s.str();
}

// The counts of the grid and the length unit, from the header of the file.
struct Header {
  int nz = 1;  // axial points
  int nr = 1;  // radial lines
  double unitsPerMetre = 1.0;
};

Header readHeader(FieldFileReader& in) {
  // Everything up to "increments:" is free text.
  std::string tok;
  bool found = false;
  while (in.token(tok, 119)) {
    if (tok == "increments:") {
      found = true;
      break;
    }
  }
  if (!found) in.fail(in.size(), "no \"increments:\" token in the file");

  const std::size_t axialAt = in.nextTokenStart(in.position());
  const int axial = in.number<int>([] { return std::string("the number of axial increments"); });
  if (axial < 1) in.fail(axialAt, "the number of axial increments must be at least 1, found " + std::to_string(axial));
  if (axial == INT_MAX) in.fail(axialAt, "too many axial increments");

  const std::size_t radialAt = in.nextTokenStart(in.position());
  if (!in.token(tok, 115)) in.fail(radialAt, "the file ends early: expected the number of radial increments or X");
  int radial = 0;
  if (tok != "X") {
    // The leading integer of the token; 0 when it has none.
    errno = 0;
    const long value = std::strtol(tok.c_str(), nullptr, 10);
    if (value < 0) in.fail(radialAt, "the number of radial increments is negative: " + std::to_string(value));
    if (errno == ERANGE || value >= INT_MAX) in.fail(radialAt, "too many radial increments: \"" + tok + "\"");
    radial = static_cast<int>(value);
    in.skipLine("the rest of the increments line");
    in.skipLine("the line after the increments line");
  }
  Header h;
  h.nz = axial + 1;
  h.nr = radial + 1;
  in.skipLine(radial == 0 && tok == "X" ? "the rest of the increments line" : "the column header line");

  const std::size_t unitAt = in.nextTokenStart(in.position());
  if (!in.token(tok, 119)) in.fail(unitAt, "the file ends early: expected the length unit");
  h.unitsPerMetre = unitsPerMetre(tok);
  in.skipLine("the line of the length unit");
  return h;
}

// The points in file order, radial line by radial line, each in axial order:
// positions in metres, the field in V/m, and where each point starts.
struct Points {
  std::vector<double> z, r, e;
  std::vector<std::size_t> start;
};

Points readPoints(FieldFileReader& in, const Header& h) {
  const int nz = h.nz;
  const int nr = h.nr;
  const std::int64_t total = static_cast<std::int64_t>(nz) * nr;
  // Each point takes at least twelve characters, so a count the file cannot
  // hold is not allocated up front.
  const auto reserve =
      static_cast<std::size_t>(std::min<std::int64_t>(total, static_cast<std::int64_t>(in.size() / 12 + 1)));
  Points p;
  p.z.reserve(reserve);
  p.r.reserve(reserve);
  p.e.reserve(reserve);
  p.start.reserve(reserve);
  const double s = h.unitsPerMetre;
  for (int j = 0; j < nr; ++j) {
    for (int i = 0; i < nz; ++i) {
      p.start.push_back(in.nextTokenStart(in.position()));
      if (p.start.back() >= in.size()) {
        in.fail(in.size(), "the file ends early: expected " + std::to_string(total) + " points (" + std::to_string(nz) +
                               " axial by " + std::to_string(nr) + " radial), found " +
                               std::to_string(static_cast<std::int64_t>(j) * nz + i));
      }
      const double zi = in.number<double>([&] { return pointName("z", i, nz, j, nr); });
      const double ri = in.number<double>([&] { return pointName("r", i, nz, j, nr); });
      const double ei = in.number<double>([&] { return pointName("the axial field", i, nz, j, nr); });
      for (int k = 0; k < 3; ++k) in.number<double>([&] { return pointName("a field column", i, nz, j, nr); });
      p.z.push_back(zi / s);
      p.r.push_back(ri / s);
      p.e.push_back(ei * 1e6);
    }
  }
  return p;
}

// The field is looked up by position on a uniform axial grid, so a graded or
// reordered grid would be read at the wrong places.
void checkAxialGrid(const FieldFileReader& in, const Points& p, const Header& h) {
  for (std::size_t k = 0; k < p.z.size(); ++k) {
    if (!(std::fabs(p.z[k]) <= kMaxAxialPosition)) {
      const int j = static_cast<int>(k / static_cast<std::size_t>(h.nz));
      const int i = static_cast<int>(k % static_cast<std::size_t>(h.nz));
      in.fail(p.start[k], pointName("z", i, h.nz, j, h.nr) + " is " + formatLength(p.z[k]) +
                              ": a field profile must lie within " + formatLength(kMaxAxialPosition) +
                              " of the file's origin");
    }
  }
  const double zmin = *std::min_element(p.z.begin(), p.z.end());
  const double zmax = *std::max_element(p.z.begin(), p.z.end());
  const double dz = (zmax - zmin) / (h.nz - 1);
  if (!(dz > 0.0)) {
    in.fail(p.start.front(), "all points have the same z (" + formatLength(zmin) + "): the axial grid has no length");
  }
  for (int j = 0; j < h.nr; ++j) {
    for (int i = 0; i < h.nz; ++i) {
      const std::size_t k = static_cast<std::size_t>(j) * h.nz + i;
      const double expected = zmin + i * dz;
      const double actual = p.z[k];
      if (!(std::fabs(actual - expected) <= kGridTolerance * dz)) {
        in.fail(p.start[k], "the z spacing is not uniform: " + pointName("z", i, h.nz, j, h.nr) + " is " +
                                formatLength(actual) + ", but a uniform grid from " + formatLength(zmin) + " to " +
                                formatLength(zmax) + " places it at " + formatLength(expected));
      }
    }
  }
}

}  // namespace

void kly_CavityField::load(const std::string& fileName, double shiftBy, std::span<const double> samplePositions,
                           double normalisationRadius) {
  checkSampleCount(fileName, samplePositions);
  loadText(readWholeFile(fileName), fileName, shiftBy, samplePositions, normalisationRadius);
}

void kly_CavityField::loadText(std::string_view text, const std::string& source, double shiftBy,
                               std::span<const double> samplePositions, double normalisationRadius) {
  checkSampleCount(source, samplePositions);
  if (text.empty()) throw kly_FileError(fileContext(source) + ": the file is empty");
  FieldFileReader in(source, std::string(text));
  const Header header = readHeader(in);
  const Points points = readPoints(in, header);
  checkAxialGrid(in, points, header);

  kly_CavityField next;
  next.fileName_ = source;
  next.takeGrid(header.nz, header.nr, header.unitsPerMetre, points.z, points.r, points.e);
  next.shift(shiftBy);
  next.normalise(normalisationRadius, source);
  next.tabulate(samplePositions);
  next.checkFinite(normalisationRadius, samplePositions[0]);
  *this = std::move(next);
}

void kly_CavityField::takeGrid(int nz, int nr, double unitsPerMetre, const std::vector<double>& z,
                               const std::vector<double>& r, const std::vector<double>& e) {
  nz_ = nz;
  nr_ = nr;
  unitsPerMetre_ = unitsPerMetre;
  // Stored [axial][radial]; the file runs radial line by radial line.
  const std::size_t total = static_cast<std::size_t>(nz) * nr;
  z_.resize(total);
  r_.resize(total);
  e_.resize(total);
  for (int j = 0; j < nr; ++j) {
    for (int i = 0; i < nz; ++i) {
      const std::size_t from = static_cast<std::size_t>(j) * nz + i;
      at(z_, i, j) = z[from];
      at(r_, i, j) = r[from];
      at(e_, i, j) = e[from];
    }
  }
  zmin_ = *std::min_element(z.begin(), z.end());
  zmax_ = *std::max_element(z.begin(), z.end());
  rmin_ = *std::min_element(r.begin(), r.end());
  rmax_ = *std::max_element(r.begin(), r.end());
  dz_ = (zmax_ - zmin_) / (nz - 1);
  dr_ = nr < 2 ? 1000.0 : (rmax_ - rmin_) / (nr - 1);
}

void kly_CavityField::checkFinite(double normalisationRadius, double firstSamplePosition) const {
  // A grid spacing near the smallest double, or field values many decades
  // apart, can make the normalised field overflow: such a profile would feed
  // infinities into every later result.
  const auto finite = [](double v) { return std::isfinite(v); };
  if (!std::all_of(e_.begin(), e_.end(), finite) || !std::all_of(profile_.begin(), profile_.end(), finite) ||
      !std::all_of(integrals_.begin(), integrals_.end(), finite)) {
    throw kly_FileError(fileContext(fileName_) + ": the axial field normalised to unit integral at " +
                        formatLength(normalisationRadius) + " from the axis exceeds the range of a double (" +
                        "grid spacing " + formatLength(dz_) + ")");
  }
  if (!(integrals_[0] > 0.0)) {
    throw kly_FileError(fileContext(fileName_) + ": the field at the innermost sample position (" +
                        formatLength(firstSamplePosition) + " from the axis) is zero everywhere along z");
  }
}

void kly_CavityField::shift(double d) {
  if (d == 0.0) return;
  // Near a large position a double resolves less than a fine grid's spacing:
  // the grid would collapse onto a few positions, or onto one.
  const double zmin = zmin_ - d;
  const double zmax = zmax_ - d;
  // A move that is not a number or infinite is carried through as such, like
  // any position of the model.
  if (std::isfinite(d) && !(std::fabs((zmax - zmin) - (zmax_ - zmin_)) <= kGridTolerance * dz_)) {
    throw kly_FileError(fileContext(fileName_) + ": the axial grid from " + formatLength(zmin_) + " to " +
                        formatLength(zmax_) + " (spacing " + formatLength(dz_) + ") cannot be moved by " +
                        formatLength(-d) + ": the positions there cannot resolve its spacing");
  }
  for (double& v : z_) v -= d;
  zmin_ = zmin;
  zmax_ = zmax;
}

void kly_CavityField::normalise(double radius, const std::string& fileName) {
  // Weight: the integral over z of |E| at the normalisation radius, found by
  // linear interpolation between the two radial lines around it.
  const double q = radius / dr_;
  double sum = 0.0;
  // Without a line beyond the one the radius falls on (or for a radius that
  // cannot be placed on the grid), the on-axis line sets the weight.
  const bool between = nr_ >= 2 && q > -1.0 && q < nr_ - 1.0;
  if (!between) {
    for (int i = 1; i < nz_; ++i) {
      sum += (at(z_, i, 0) - at(z_, i - 1, 0)) * 0.5 * std::fabs(at(e_, i, 0) + at(e_, i - 1, 0));
    }
  } else {
    const int idx = static_cast<int>(q);
    const double frac = q - idx;
    for (int i = 1; i < nz_; ++i) {
      const double c = 0.5 * std::fabs(at(e_, i, idx) + at(e_, i - 1, idx));
      const double c1 = 0.5 * std::fabs(at(e_, i, idx + 1) + at(e_, i - 1, idx + 1));
      sum += (at(z_, i, 0) - at(z_, i - 1, 0)) * (c + (c1 - c) * frac);
    }
  }
  if (!(sum > 0.0) || !std::isfinite(sum)) {
    throw kly_FileError(fileContext(fileName) + ": the axial field cannot be normalised at " + formatLength(radius) +
                        " from the axis: its integral over z there is " + std::to_string(sum));
  }
  for (double& v : e_) v /= sum;
}

void kly_CavityField::tabulate(std::span<const double> samplePositions) {
  rings_ = static_cast<int>(samplePositions.size());
  profile_.assign(static_cast<std::size_t>(nz_) * rings_, 0.0);
  const double rFirst = at(r_, 0, 0);
  const double rLast = at(r_, 0, nr_ - 1);
  // Interpolation lines and fraction, kept for a position that falls between
  // no pair of lines.
  int lo = 0;
  int hi = 0;
  double a = 0.0;
  for (int q = 0; q < rings_; ++q) {
    const double p = samplePositions[static_cast<std::size_t>(q)];
    double* column = profile_.data() + q;
    if (p <= rFirst) {
      for (int i = 0; i < nz_; ++i) column[static_cast<std::size_t>(i) * rings_] = at(e_, i, 0);
    } else if (p >= rLast) {
      for (int i = 0; i < nz_; ++i) column[static_cast<std::size_t>(i) * rings_] = at(e_, i, nr_ - 1);
    } else {
      for (int j = 1; j < nr_; ++j) {
        const double r0 = at(r_, 0, j - 1);
        const double r1 = at(r_, 0, j);
        if (r0 <= p && p <= r1) {
          a = (p - r0) / (r1 - r0);
          lo = j - 1;
          hi = j;
          break;
        }
      }
      for (int i = 0; i < nz_; ++i) {
        column[static_cast<std::size_t>(i) * rings_] = at(e_, i, lo) + a * (at(e_, i, hi) - at(e_, i, lo));
      }
    }
  }
  integrals_.fill(0.0);
  for (int q = 0; q < rings_; ++q) {
    double sum = 0.0;
    for (int j = 1; j < nz_; ++j) sum += 0.5 * std::fabs(profile(j, q) + profile(j - 1, q));
    integrals_[static_cast<std::size_t>(q)] = dz_ * sum;
  }
}

void kly_CavityField::checkRing(int ring) const {
  if (ring < 0 || ring >= rings_) {
    throw std::out_of_range("field ring " + std::to_string(ring) + " is out of range: the profile has " +
                            std::to_string(rings_) + (rings_ == 1 ? " ring" : " rings"));
  }
}

double kly_CavityField::getField(double z, int ring) const {
  checkRing(ring);
  if (!(zmin_ < z && z < zmax_)) return 0.0;
  const double pos = (nz_ - 1) * std::fabs((z - zmin_) / (zmax_ - zmin_));
  const int i = static_cast<int>(pos);
  // Rounding can put a z just below zmax onto the last grid point.
  if (i >= nz_ - 1) return profile(nz_ - 1, ring);
  return profile(i, ring) + (pos - i) * (profile(i + 1, ring) - profile(i, ring));
}

double kly_CavityField::getFieldIntegral(int ring) const {
  checkRing(ring);
  return integrals_[static_cast<std::size_t>(ring)];
}

double kly_CavityField::getCoupling(double beta) const {
  // |Fourier component| of the field at beta over its absolute integral, on
  // the first sample position.
  std::complex<double> p(0.0, 0.0);
  double w = 0.0;
  for (int i = 0; i + 1 < nz_; ++i) {
    const double mid = 0.5 * (at(z_, i + 1, 0) + at(z_, i, 0));
    const double mean = 0.5 * (profile(i + 1, 0) + profile(i, 0));
    p += mean * dz_ * std::complex<double>(std::cos(beta * mid), std::sin(beta * mid));
    w += std::fabs(mean) * dz_;
  }
  return std::abs(p) / w;
}
