#include "tools/kly_Text.h"

#include <array>
#include <cctype>
#include <cmath>

#include <fmt/format.h>

namespace kly_text {

namespace {

std::string nonFinite(double v, std::string_view none) {
  if (std::isnan(v)) return std::string(none);
  return v > 0 ? "inf" : "-inf";
}

// Drops the sign of a printed zero ("-0.00", "-0").
std::string unsignedZero(std::string text) {
  if (text.size() > 1 && text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) text.erase(0, 1);
  return text;
}

}  // namespace

std::string fixed(double v, int decimals, std::string_view none) {
  if (!std::isfinite(v)) return nonFinite(v, none);
  return unsignedZero(fmt::format("{:.{}f}", v, decimals));
}

std::string general(double v, int digits) {
  if (!std::isfinite(v)) return nonFinite(v, "nan");
  return unsignedZero(fmt::format("{:.{}g}", v, digits));
}

std::string quantity(double v, std::string_view unit) {
  if (!std::isfinite(v) || v == 0) return fmt::format("{} {}", general(v, 4), unit);
  static constexpr std::array<const char*, 9> kPrefixes = {"p", "n", "u", "m", "", "k", "M", "G", "T"};
  int power = static_cast<int>(std::floor(std::log10(std::fabs(v)) / 3));
  power = std::max(-4, std::min(4, power));
  double scaled = v / std::pow(10.0, 3 * power);
  // 999.96 rounds to "1000" in four digits: take the next prefix instead.
  if (std::fabs(scaled) >= 999.95 && power < 4) {
    ++power;
    scaled = v / std::pow(10.0, 3 * power);
  }
  return fmt::format("{} {}{}", general(scaled, 4), kPrefixes[static_cast<std::size_t>(power + 4)], unit);
}

std::string bytes(double v) {
  static constexpr std::array<const char*, 5> kUnits = {"B", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  while (std::fabs(v) >= 1024 && unit + 1 < kUnits.size()) {
    v /= 1024;
    ++unit;
  }
  return fmt::format("{} {}", general(v, 3), kUnits[unit]);
}

std::string duration(double seconds) {
  if (!std::isfinite(seconds)) return general(seconds) + " s";
  if (seconds < 120) return fmt::format("{} s", general(seconds, seconds < 10 ? 2 : 3));
  if (seconds < 3600) return fmt::format("{} min", general(seconds / 60, 2));
  if (seconds < 2 * 86400) return fmt::format("{} h", general(seconds / 3600, 2));
  const double days = seconds / 86400;
  return fmt::format("{} days", days < 10 ? general(days, 2) : fixed(days, 0));
}

std::vector<std::string> wrap(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t j = i;
    while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
    if (j == i) break;
    const std::string_view word = text.substr(i, j - i);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(std::move(line));
      line.clear();
    }
    if (!line.empty()) line += ' ';
    line += word;
    i = j;
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace kly_text
