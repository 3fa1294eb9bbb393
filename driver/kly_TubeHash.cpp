#include "klystron/driver/kly_TubeHash.h"

#include "klystron/driver/kly_DescriptionText.h"

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
  // Settings the evaluation does not use leave the fingerprint alone.
  const bool runs = simulate && tube.simulation.has_value();
  kly_TubeDescription used = tube;
  if (!runs) used.simulation.reset();
  std::string out = "klystron tube point\nevaluation=" + std::to_string(kEvaluationVersion) +
                    "\nsimulate=" + std::to_string(runs) + "\n" + kly_DescriptionText::write(used);
  for (const kly_CavityDescription& c : used.cavities) {
    if (c.hasFieldFile) out += "fieldFileContents=" + fileHash(c.fieldFile) + "\n";
  }
  if (runs && used.simulation->importBeam)
    out += "importBeamContents=" + fileHash(used.simulation->importBeam->file) + "\n";
  return out;
}

std::string kly_TubeHash::of(const kly_TubeDescription& tube, bool simulate) {
  return fnv128(canonical(tube, simulate));
}
