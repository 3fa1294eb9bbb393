#include "klystron/driver/kly_DescriptionText.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::string_view kHeader = "klystron tube 1";

class Writer {
public:
  void number(const char* key, double v) {
    char text[64];
    if (std::isnan(v)) {
      // With its bits: sign and payload.
      const char* end = std::to_chars(text, text + sizeof text, std::bit_cast<std::uint64_t>(v), 16).ptr;
      line(key, "nan:" + std::string(text, static_cast<std::size_t>(end - text)));
      return;
    }
    const char* end = std::to_chars(text, text + sizeof text, v, std::chars_format::hex).ptr;
    line(key, std::string_view(text, static_cast<std::size_t>(end - text)));
  }
  void integer(const char* key, long long v) { line(key, std::to_string(v)); }
  // Length first, so that any byte may be in a name.
  void text(const char* key, const std::string& v) { line(key, std::to_string(v.size()) + ":" + v); }
  std::string take() { return std::move(out_); }

private:
  void line(const char* key, std::string_view value) {
    out_ += key;
    out_ += '=';
    out_ += value;
    out_ += '\n';
  }
  std::string out_ = std::string(kHeader) + "\n";
};

class Reader {
public:
  explicit Reader(std::string_view text) : whole_(text), rest_(text) {
    if (nextLine() != kHeader) fail("the first line is not \"" + std::string(kHeader) + "\"");
  }

  std::string_view value(const char* key) {
    const std::string_view l = nextLine();
    const std::size_t eq = l.find('=');
    if (eq == std::string_view::npos || l.substr(0, eq) != key)
      fail("expected " + std::string(key) + "=..., found \"" + std::string(l.substr(0, 60)) + "\"");
    return l.substr(eq + 1);
  }
  double number(const char* key) {
    const std::string_view v = value(key);
    if (v.substr(0, 4) == "nan:") {
      std::uint64_t bits = 0;
      auto r = std::from_chars(v.data() + 4, v.data() + v.size(), bits, 16);
      if (r.ec != std::errc() || r.ptr != v.data() + v.size() || !std::isnan(std::bit_cast<double>(bits)))
        fail(std::string(key) + ": not a number");
      return std::bit_cast<double>(bits);
    }
    double x = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), x, std::chars_format::hex);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size()) fail(std::string(key) + ": not a number");
    return x;
  }
  long long integer(const char* key, long long lo, long long hi) {
    const std::string_view v = value(key);
    long long x = 0;
    auto r = std::from_chars(v.data(), v.data() + v.size(), x);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size() || x < lo || x > hi)
      fail(std::string(key) + ": not a whole number in range");
    return x;
  }
  bool flag(const char* key) { return integer(key, 0, 1) != 0; }
  std::string text(const char* key) {
    // The name may hold line breaks: take its length, then that many bytes
    // from where it starts.
    std::string_view v = value(key);
    const std::size_t colon = v.find(':');
    std::size_t n = 0;
    auto r = std::from_chars(v.data(), v.data() + colon, n);
    if (colon == std::string_view::npos || r.ec != std::errc() || r.ptr != v.data() + colon)
      fail(std::string(key) + ": no length");
    // Back to the start of the name, which may run past the line read.
    const std::size_t start = static_cast<std::size_t>(v.data() + colon + 1 - whole_.data());
    if (start + n + 1 > whole_.size() || whole_[start + n] != '\n') fail(std::string(key) + ": cut short");
    rest_ = whole_.substr(start + n + 1);
    return std::string(whole_.substr(start, n));
  }
  void end() {
    if (!rest_.empty()) fail("more after the end of the description");
  }

  [[noreturn]] static void fail(const std::string& why) {
    throw std::invalid_argument("not a tube description: " + why);
  }

private:
  std::string_view nextLine() {
    const std::size_t eol = rest_.find('\n');
    if (eol == std::string_view::npos) fail("it ends early");
    const std::string_view l = rest_.substr(0, eol);
    rest_ = rest_.substr(eol + 1);
    return l;
  }
  std::string_view whole_;
  std::string_view rest_;
};

}  // namespace

std::string kly_DescriptionText::write(const kly_TubeDescription& tube) {
  Writer w;
  const kly_BeamDescription& b = tube.beam;
  w.number("beam.voltage", b.voltage);
  w.number("beam.current", b.current);
  w.number("beam.frequency", b.frequency);
  w.number("beam.inputPower", b.inputPower);
  w.integer("beam.round", b.round);
  w.number("beam.tubeRadius", b.tubeRadius);
  w.number("beam.beamRadius", b.beamRadius);
  w.number("beam.beamWidth", b.beamWidth);
  w.number("beam.beamHeight", b.beamHeight);
  w.number("beam.tubeWidth", b.tubeWidth);
  w.number("beam.tubeHeight", b.tubeHeight);
  w.integer("cavities", static_cast<long long>(tube.cavities.size()));
  for (const kly_CavityDescription& c : tube.cavities) {
    w.number("z", c.z);
    w.number("frequency", c.frequency);
    w.number("m", c.m);
    w.number("gapWidth", c.gapWidth);
    w.number("rq", c.rq);
    w.number("qe", c.qe);
    w.number("qo", c.qo);
    w.integer("harmonic", c.harmonic);
    w.integer("hasFieldFile", c.hasFieldFile);
    w.integer("fieldRings", c.fieldRings);
    w.text("fieldFile", c.fieldFile);
  }
  w.integer("simulation", tube.simulation.has_value());
  if (tube.simulation) {
    const kly_SimulationSettings& s = *tube.simulation;
    w.integer("disks", s.disks);
    w.integer("rings", s.rings);
    w.integer("steps", s.steps);
    w.integer("maxIterations", s.maxIterations);
    w.integer("nearField", s.nearField == kly_NearField::finite);
    w.integer("importBeam", s.importBeam.has_value());
    if (s.importBeam) {
      w.text("importBeam.file", s.importBeam->file);
      w.integer("importBeam.useGivenInjectionPosition", s.importBeam->useGivenInjectionPosition);
      w.number("importBeam.injectionPosition", s.importBeam->injectionPosition);
    }
  }
  return w.take();
}

kly_TubeDescription kly_DescriptionText::read(std::string_view text) {
  Reader r(text);
  kly_TubeDescription tube;
  kly_BeamDescription& b = tube.beam;
  b.voltage = r.number("beam.voltage");
  b.current = r.number("beam.current");
  b.frequency = r.number("beam.frequency");
  b.inputPower = r.number("beam.inputPower");
  b.round = r.flag("beam.round");
  b.tubeRadius = r.number("beam.tubeRadius");
  b.beamRadius = r.number("beam.beamRadius");
  b.beamWidth = r.number("beam.beamWidth");
  b.beamHeight = r.number("beam.beamHeight");
  b.tubeWidth = r.number("beam.tubeWidth");
  b.tubeHeight = r.number("beam.tubeHeight");
  const long long n = r.integer("cavities", 0, 1 << 20);
  for (long long i = 0; i < n; ++i) {
    kly_CavityDescription c;
    c.z = r.number("z");
    c.frequency = r.number("frequency");
    c.m = r.number("m");
    c.gapWidth = r.number("gapWidth");
    c.rq = r.number("rq");
    c.qe = r.number("qe");
    c.qo = r.number("qo");
    c.harmonic = static_cast<int>(r.integer("harmonic", INT32_MIN, INT32_MAX));
    c.hasFieldFile = r.flag("hasFieldFile");
    c.fieldRings = static_cast<int>(r.integer("fieldRings", INT32_MIN, INT32_MAX));
    c.fieldFile = r.text("fieldFile");
    tube.cavities.push_back(std::move(c));
  }
  if (r.flag("simulation")) {
    kly_SimulationSettings s;
    s.disks = static_cast<int>(r.integer("disks", INT32_MIN, INT32_MAX));
    s.rings = static_cast<int>(r.integer("rings", INT32_MIN, INT32_MAX));
    s.steps = static_cast<int>(r.integer("steps", INT32_MIN, INT32_MAX));
    s.maxIterations = static_cast<int>(r.integer("maxIterations", INT32_MIN, INT32_MAX));
    s.nearField = r.flag("nearField") ? kly_NearField::finite : kly_NearField::thin;
    if (r.flag("importBeam")) {
      kly_BeamImportSettings import;
      import.file = r.text("importBeam.file");
      import.useGivenInjectionPosition = r.flag("importBeam.useGivenInjectionPosition");
      import.injectionPosition = r.number("importBeam.injectionPosition");
      s.importBeam = import;
    }
    tube.simulation = s;
  }
  r.end();
  return tube;
}
