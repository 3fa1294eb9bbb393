#include "klystron/driver/kly_PointResult.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace {

constexpr std::string_view kTag = "KP1";
constexpr std::string_view kEnd = "END";

// ---- writing -----------------------------------------------------------------

void putNumber(std::string& out, double v) {
  out += ' ';
  if (std::isnan(v)) {
    char bits[17];
    auto r = std::to_chars(bits, bits + sizeof bits, std::bit_cast<std::uint64_t>(v), 16);
    out += "nan:";
    out.append(bits, r.ptr);
  } else if (std::isinf(v)) {
    out += v > 0 ? "inf" : "-inf";
  } else {
    char text[64];
    auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::hex);
    out.append(text, r.ptr);
  }
}

void putInteger(std::string& out, long long v) {
  out += ' ';
  out += std::to_string(v);
}

void putWord(std::string& out, std::string_view word) {
  out += ' ';
  out += word;
}

// Any byte that is not printable ASCII, the space and % as %XX; "m" first so
// that an empty message is a token too.
std::string escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "m";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '%') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// ---- reading -----------------------------------------------------------------

class Tokens {
public:
  explicit Tokens(std::string_view line) : rest_(line) {}

  std::string_view next() {
    if (rest_.empty()) fail("the line ends early");
    const std::size_t end = rest_.find(' ');
    std::string_view token = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    if (token.empty()) fail("two spaces in a row");
    return token;
  }
  bool atEnd() const { return rest_.empty(); }

  long long integer(long long lo, long long hi) {
    const std::string_view t = next();
    long long v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || v < lo || v > hi)
      fail("expected a whole number, found \"" + std::string(t) + "\"");
    return v;
  }

  double number() {
    const std::string_view t = next();
    if (t == "inf") return HUGE_VAL;
    if (t == "-inf") return -HUGE_VAL;
    if (t.substr(0, 4) == "nan:") {
      std::uint64_t bits = 0;
      auto r = std::from_chars(t.data() + 4, t.data() + t.size(), bits, 16);
      const double v = std::bit_cast<double>(bits);
      if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isnan(v))
        fail("bad NaN \"" + std::string(t) + "\"");
      return v;
    }
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::hex);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
      fail("expected a number, found \"" + std::string(t) + "\"");
    return v;
  }

  std::string message() {
    const std::string_view t = next();
    if (t.empty() || t[0] != 'm') fail("expected the message");
    std::string out;
    for (std::size_t i = 1; i < t.size(); ++i) {
      if (t[i] != '%') {
        out += t[i];
        continue;
      }
      unsigned value = 0;
      if (i + 2 >= t.size()) fail("bad escape in the message");
      auto r = std::from_chars(t.data() + i + 1, t.data() + i + 3, value, 16);
      if (r.ec != std::errc() || r.ptr != t.data() + i + 3) fail("bad escape in the message");
      out += static_cast<char>(value);
      i += 2;
    }
    return out;
  }

  [[noreturn]] static void fail(const std::string& why) { throw std::invalid_argument("not a point record: " + why); }

private:
  std::string_view rest_;
};

constexpr long long kMaxEntries = 1 << 20;

}  // namespace

const char* kly_pointStatusName(kly_PointStatus status) {
  switch (status) {
    case kly_PointStatus::ok:
      return "ok";
    case kly_PointStatus::notConverged:
      return "not converged";
    case kly_PointStatus::failed:
      break;
  }
  return "failed";
}

const double* kly_PointResult::find(std::string_view name) const {
  for (const Scalar& s : scalars) {
    if (s.first == name) return &s.second;
  }
  return nullptr;
}

const std::vector<double>* kly_PointResult::findArray(std::string_view name) const {
  for (const Array& a : cavityArrays) {
    if (a.first == name) return &a.second;
  }
  return nullptr;
}

std::string kly_PointResult::statusText() const {
  if (status == kly_PointStatus::failed) return "failed: " + message;
  return kly_pointStatusName(status);
}

std::string kly_PointResult::serialize() const {
  std::string out(kTag);
  putInteger(out, static_cast<int>(status));
  putInteger(out, simulated);
  putInteger(out, passes);
  putInteger(out, diskReflected);
  putInteger(out, fieldOverlapping);
  putNumber(out, seconds);
  putInteger(out, static_cast<long long>(scalars.size()));
  for (const Scalar& s : scalars) {
    putWord(out, s.first);
    putNumber(out, s.second);
  }
  putInteger(out, static_cast<long long>(cavityArrays.size()));
  for (const Array& a : cavityArrays) {
    putWord(out, a.first);
    putInteger(out, static_cast<long long>(a.second.size()));
    for (double v : a.second) putNumber(out, v);
  }
  putWord(out, escape(message));
  putWord(out, kEnd);
  return out;
}

kly_PointResult kly_PointResult::parse(std::string_view line) {
  Tokens t(line);
  if (t.next() != kTag) Tokens::fail("it does not start with " + std::string(kTag));
  kly_PointResult r;
  r.status = static_cast<kly_PointStatus>(t.integer(0, 2));
  r.simulated = t.integer(0, 1) != 0;
  r.passes = static_cast<int>(t.integer(0, INT32_MAX));
  r.diskReflected = t.integer(0, 1) != 0;
  r.fieldOverlapping = t.integer(0, 1) != 0;
  r.seconds = t.number();
  const long long scalars = t.integer(0, kMaxEntries);
  for (long long i = 0; i < scalars; ++i) {
    std::string name(t.next());
    r.scalars.emplace_back(std::move(name), t.number());
  }
  const long long arrays = t.integer(0, kMaxEntries);
  for (long long i = 0; i < arrays; ++i) {
    std::string name(t.next());
    const long long n = t.integer(0, kMaxEntries);
    std::vector<double> values;
    for (long long k = 0; k < n; ++k) values.push_back(t.number());
    r.cavityArrays.emplace_back(std::move(name), std::move(values));
  }
  r.message = t.message();
  if (t.next() != kEnd || !t.atEnd()) Tokens::fail("it does not end with " + std::string(kEnd));
  return r;
}

bool kly_PointResult::identical(const kly_PointResult& other) const {
  const auto same = [](double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
  };
  if (status != other.status || message != other.message || simulated != other.simulated || passes != other.passes ||
      diskReflected != other.diskReflected || fieldOverlapping != other.fieldOverlapping ||
      !same(seconds, other.seconds) || scalars.size() != other.scalars.size() ||
      cavityArrays.size() != other.cavityArrays.size())
    return false;
  for (std::size_t i = 0; i < scalars.size(); ++i) {
    if (scalars[i].first != other.scalars[i].first || !same(scalars[i].second, other.scalars[i].second)) return false;
  }
  for (std::size_t i = 0; i < cavityArrays.size(); ++i) {
    const auto& a = cavityArrays[i];
    const auto& b = other.cavityArrays[i];
    if (a.first != b.first || a.second.size() != b.second.size()) return false;
    for (std::size_t k = 0; k < a.second.size(); ++k) {
      if (!same(a.second[k], b.second[k])) return false;
    }
  }
  return true;
}
