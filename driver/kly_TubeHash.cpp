#include "klystron/driver/kly_TubeHash.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace {

// Two 64-bit FNV-1a hashes of the text with different starting values, the
// second over the bytes in reverse order, as 32 hexadecimal digits.
std::string fnv128(const std::string& text) {
  constexpr std::uint64_t kPrime = 0x100000001b3ULL;
  std::uint64_t a = 0xcbf29ce484222325ULL;
  std::uint64_t b = 0x84222325cbf29ce4ULL;
  for (unsigned char c : text) a = (a ^ c) * kPrime;
  for (auto it = text.rbegin(); it != text.rend(); ++it) b = (b ^ static_cast<unsigned char>(*it)) * kPrime;
  char out[33];
  for (int i = 0; i < 16; ++i) {
    static constexpr char kHex[] = "0123456789abcdef";
    out[i] = kHex[(a >> (60 - 4 * i)) & 15];
    out[16 + i] = kHex[(b >> (60 - 4 * i)) & 15];
  }
  return std::string(out, 32);
}

void put(std::string& out, const char* key, double v) {
  char text[64];
  auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::hex);
  out += key;
  out += '=';
  out.append(text, r.ptr);
  out += '\n';
}

void put(std::string& out, const char* key, long long v) {
  out += key;
  out += '=';
  out += std::to_string(v);
  out += '\n';
}

void put(std::string& out, const char* key, const std::string& v) {
  out += key;
  out += '=';
  out += std::to_string(v.size());
  out += ':';
  out += v;
  out += '\n';
}

}  // namespace

std::string kly_TubeHash::ofText(const std::string& text) { return fnv128(text); }

std::string kly_TubeHash::fileHash(const std::string& name) {
  auto it = files_.find(name);
  if (it != files_.end()) return it->second;
  std::ifstream in(name, std::ios::binary);
  std::string hash = "unreadable";
  if (in) {
    std::ostringstream text;
    text << in.rdbuf();
    if (!in.bad()) hash = fnv128(text.str());
  }
  files_.emplace(name, hash);
  return hash;
}

std::string kly_TubeHash::canonical(const kly_TubeDescription& tube, bool simulate) {
  std::string out = "klystron tube point\n";
  put(out, "evaluation", static_cast<long long>(kEvaluationVersion));
  // Settings the evaluation does not use leave the fingerprint alone.
  const bool runs = simulate && tube.simulation.has_value();
  put(out, "simulate", static_cast<long long>(runs));
  const kly_BeamDescription& b = tube.beam;
  put(out, "beam.voltage", b.voltage);
  put(out, "beam.current", b.current);
  put(out, "beam.frequency", b.frequency);
  put(out, "beam.inputPower", b.inputPower);
  put(out, "beam.round", static_cast<long long>(b.round));
  put(out, "beam.tubeRadius", b.tubeRadius);
  put(out, "beam.beamRadius", b.beamRadius);
  put(out, "beam.beamWidth", b.beamWidth);
  put(out, "beam.beamHeight", b.beamHeight);
  put(out, "beam.tubeWidth", b.tubeWidth);
  put(out, "beam.tubeHeight", b.tubeHeight);
  put(out, "cavities", static_cast<long long>(tube.cavities.size()));
  for (const kly_CavityDescription& c : tube.cavities) {
    put(out, "z", c.z);
    put(out, "frequency", c.frequency);
    put(out, "m", c.m);
    put(out, "gapWidth", c.gapWidth);
    put(out, "rq", c.rq);
    put(out, "qe", c.qe);
    put(out, "qo", c.qo);
    put(out, "harmonic", static_cast<long long>(c.harmonic));
    put(out, "hasFieldFile", static_cast<long long>(c.hasFieldFile));
    if (c.hasFieldFile) {
      put(out, "fieldRings", static_cast<long long>(c.fieldRings));
      put(out, "fieldFile", c.fieldFile);
      put(out, "fieldFileContents", fileHash(c.fieldFile));
    }
  }
  if (runs) {
    const kly_SimulationSettings& s = *tube.simulation;
    put(out, "disks", static_cast<long long>(s.disks));
    put(out, "rings", static_cast<long long>(s.rings));
    put(out, "steps", static_cast<long long>(s.steps));
    put(out, "maxIterations", static_cast<long long>(s.maxIterations));
    put(out, "nearField", static_cast<long long>(s.nearField));
    if (s.importBeam) {
      put(out, "importBeam.file", s.importBeam->file);
      put(out, "importBeam.contents", fileHash(s.importBeam->file));
      put(out, "importBeam.useGivenInjectionPosition", static_cast<long long>(s.importBeam->useGivenInjectionPosition));
      put(out, "importBeam.injectionPosition", s.importBeam->injectionPosition);
    }
  }
  return out;
}

std::string kly_TubeHash::of(const kly_TubeDescription& tube, bool simulate) {
  return fnv128(canonical(tube, simulate));
}
