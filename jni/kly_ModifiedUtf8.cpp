#include "jni/kly_ModifiedUtf8.h"

#include <cstdint>
#include <stdexcept>

namespace kly_jni {
namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence at bytes[i] and its code point;
// 0 when the bytes there are not one (overlong forms, surrogates, values
// beyond U+10FFFF and cut-off sequences included).
std::size_t utf8Sequence(std::string_view bytes, std::size_t i, std::uint32_t& cp) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char c = at(i);
  const std::size_t left = bytes.size() - i;
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  if (c >= 0xC2 && c <= 0xDF && left >= 2 && isContinuation(at(i + 1))) {
    cp = (c & 0x1Fu) << 6 | (at(i + 1) & 0x3Fu);
    return 2;
  }
  if (c >= 0xE0 && c <= 0xEF && left >= 3 && isContinuation(at(i + 1)) && isContinuation(at(i + 2))) {
    cp = (c & 0x0Fu) << 12 | (at(i + 1) & 0x3Fu) << 6 | (at(i + 2) & 0x3Fu);
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4 && left >= 4 && isContinuation(at(i + 1)) && isContinuation(at(i + 2)) &&
      isContinuation(at(i + 3))) {
    cp = (c & 0x07u) << 18 | (at(i + 1) & 0x3Fu) << 12 | (at(i + 2) & 0x3Fu) << 6 | (at(i + 3) & 0x3Fu);
    if (cp < 0x10000 || cp > 0x10FFFF) return 0;
    return 4;
  }
  return 0;
}

// One UTF-16 code unit of modified UTF-8 at bytes[i]: its length (0 when
// malformed) and value.
std::size_t modifiedUnit(std::string_view bytes, std::size_t i, std::uint32_t& unit) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char c = at(i);
  const std::size_t left = bytes.size() - i;
  if (c >= 0x01 && c < 0x80) {
    unit = c;
    return 1;
  }
  if ((c & 0xE0) == 0xC0 && left >= 2 && isContinuation(at(i + 1))) {
    unit = (c & 0x1Fu) << 6 | (at(i + 1) & 0x3Fu);
    return unit == 0 || unit >= 0x80 ? 2 : 0;
  }
  if ((c & 0xF0) == 0xE0 && left >= 3 && isContinuation(at(i + 1)) && isContinuation(at(i + 2))) {
    unit = (c & 0x0Fu) << 12 | (at(i + 1) & 0x3Fu) << 6 | (at(i + 2) & 0x3Fu);
    return unit >= 0x800 ? 3 : 0;
  }
  return 0;
}

bool isHighSurrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

[[noreturn]] void refuse(const char* what, std::size_t index, const char* problem) {
  throw std::invalid_argument(std::string(what) + " has " + problem + " at index " + std::to_string(index));
}

}  // namespace

std::string fromModifiedUtf8(std::string_view bytes, const char* what) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t index = 0;  // of the current character in the Java string (UTF-16 units)
  for (std::size_t i = 0; i < bytes.size();) {
    std::uint32_t unit = 0;
    const std::size_t n = modifiedUnit(bytes, i, unit);
    if (n == 0) refuse(what, index, "bytes that are not modified UTF-8");
    if (unit == 0) refuse(what, index, "a NUL character");
    if (isLowSurrogate(unit)) refuse(what, index, "an unpaired surrogate");
    if (isHighSurrogate(unit)) {
      std::uint32_t low = 0;
      const std::size_t m = i + n < bytes.size() ? modifiedUnit(bytes, i + n, low) : 0;
      if (m == 0 || !isLowSurrogate(low)) refuse(what, index, "an unpaired surrogate");
      appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      i += n + m;
      index += 2;
      continue;
    }
    appendUtf8(out, unit);
    i += n;
    ++index;
  }
  return out;
}

std::string toModifiedUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (std::size_t i = 0; i < bytes.size();) {
    std::uint32_t cp = 0;
    const std::size_t n = utf8Sequence(bytes, i, cp);
    if (n == 0) {
      appendUtf8(out, 0xFFFD);  // the replacement character
      ++i;
    } else if (cp == 0) {
      out += "\xC0\x80";
      ++i;
    } else if (n == 4) {
      const std::uint32_t v = cp - 0x10000;
      appendUtf8(out, 0xD800 + (v >> 10));
      appendUtf8(out, 0xDC00 + (v & 0x3FF));
      i += 4;
    } else {
      out.append(bytes.substr(i, n));
      i += n;
    }
  }
  return out;
}

}  // namespace kly_jni
