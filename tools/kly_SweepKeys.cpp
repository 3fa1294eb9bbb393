#include "tools/kly_SweepKeys.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <fmt/format.h>

#include "tools/kly_Closest.h"

using nlohmann::json;

namespace {

// Keys of the tube file that hold whole numbers.
bool integerKey(std::string_view name) {
  return name == "disks" || name == "rings" || name == "steps" || name == "maxIterations" || name == "harmonic" ||
         name == "fieldRings";
}

// Optional numbers the tube file may leave out, by the object that holds them.
bool optionalKey(const std::string& parent, std::string_view name) {
  if (name == "fieldRings") return parent.rfind("cavities[", 0) == 0 && parent.find('.') == std::string::npos;
  if (name == "injectionPosition") return parent == "simulation.importBeam";
  return false;
}

struct Segment {
  std::string name;  // empty for an index
  std::size_t index = 0;
};

std::vector<Segment> split(std::string_view path) {
  std::vector<Segment> segments;
  std::size_t i = 0;
  const auto bad = [&path](const std::string& why) {
    return kly_VaryError(fmt::format("bad key path \"{}\": {}", path, why));
  };
  if (path.empty()) throw kly_VaryError("the key path is empty");
  while (i < path.size()) {
    if (path[i] == '[') {
      const std::size_t close = path.find(']', i);
      if (close == std::string_view::npos) throw bad("a [ without ]");
      const std::string_view digits = path.substr(i + 1, close - i - 1);
      std::size_t index = 0;
      auto r = std::from_chars(digits.data(), digits.data() + digits.size(), index);
      if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
        throw bad(fmt::format("expected a whole number between [ and ], found \"{}\"", digits));
      if (segments.empty()) throw bad("an index must follow a key");
      segments.push_back(Segment{"", index});
      i = close + 1;
      if (i < path.size() && path[i] != '.' && path[i] != '[') throw bad("expected . or [ after ]");
      if (i < path.size() && path[i] == '.') ++i;
      continue;
    }
    std::size_t end = path.find_first_of(".[", i);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(i, end - i);
    if (name.empty()) throw bad("an empty key between two dots");
    segments.push_back(Segment{std::string(name), 0});
    i = end;
    if (i < path.size() && path[i] == '.') {
      ++i;
      if (i == path.size()) throw bad("it ends with a dot");
    }
  }
  return segments;
}

std::string describe(const json& v) {
  if (v.is_object()) return "an object";
  if (v.is_array()) return fmt::format("a list of {}", v.size());
  if (v.is_boolean()) return fmt::format("{}, a true-or-false setting", v.get<bool>());
  std::string text = v.dump();
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return text;
}

void collect(const json& v, const std::string& path, std::vector<std::string>& out) {
  if (v.is_number()) {
    out.push_back(path);
  } else if (v.is_object()) {
    for (const auto& [key, member] : v.items()) collect(member, path.empty() ? key : path + "." + key, out);
  } else if (v.is_array()) {
    for (std::size_t i = 0; i < v.size(); ++i) collect(v[i], fmt::format("{}[{}]", path, i), out);
  }
}

double number(std::string_view text, std::string_view what) {
  std::string s(text);
  // Surrounding blanks are allowed, nothing else.
  const std::size_t first = s.find_first_not_of(" \t");
  const std::size_t last = s.find_last_not_of(" \t");
  s = first == std::string::npos ? "" : s.substr(first, last - first + 1);
  double v = 0;
  const char* begin = s.data();
  if (!s.empty() && s[0] == '+') ++begin;
  auto r = std::from_chars(begin, s.data() + s.size(), v);
  if (s.empty() || r.ec == std::errc::invalid_argument || r.ptr != s.data() + s.size())
    throw kly_VaryError(fmt::format("{} \"{}\" is not a number", what, text));
  if (r.ec == std::errc::result_out_of_range || !std::isfinite(v))
    throw kly_VaryError(fmt::format("{} \"{}\" is not a finite number", what, text));
  return v;
}

std::size_t count(std::string_view text) {
  const double v = number(text, "the count");
  if (v == 0) throw kly_VaryError("the count is 0: a range needs at least 1 point");
  if (v < 0 || v != std::floor(v))
    throw kly_VaryError(fmt::format("the count must be a whole number of at least 1, found \"{}\"", text));
  if (v > static_cast<double>(kly_SweepKeys::kMaxValues))
    throw kly_VaryError(
        fmt::format("the count {} is more than the {} points a parameter may have", text, kly_SweepKeys::kMaxValues));
  return static_cast<std::size_t>(v);
}

std::vector<std::string_view> fields(std::string_view text, char separator) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    out.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

}  // namespace

std::string kly_SweepKeys::unit(std::string_view path) {
  const std::string_view name =
      path.substr(path.find_last_of('.') == std::string_view::npos ? 0 : path.find_last_of('.') + 1);
  if (name == "voltage") return "V";
  if (name == "current") return "A";
  if (name == "frequency") return "Hz";
  if (name == "inputPower") return "W";
  if (name == "rq") return "ohm";
  if (name == "z" || name == "gapWidth" || name == "injectionPosition" ||
      name.find("Radius") != std::string_view::npos || name.find("Width") != std::string_view::npos ||
      name.find("Height") != std::string_view::npos)
    return "m";
  return "";
}

std::vector<std::string> kly_SweepKeys::numericPaths(const json& tube) {
  std::vector<std::string> out;
  collect(tube, "", out);
  return out;
}

kly_KeyPath kly_SweepKeys::resolve(const json& tube, std::string_view path) {
  const std::vector<Segment> segments = split(path);
  kly_KeyPath key;
  key.text = std::string(path);
  const json* at = &tube;
  std::string walked;
  for (std::size_t s = 0; s < segments.size(); ++s) {
    const Segment& seg = segments[s];
    const bool last = s + 1 == segments.size();
    if (seg.name.empty()) {
      if (!at->is_array())
        throw kly_VaryError(fmt::format("\"{}\" is {}, not a list: it takes no index", walked, describe(*at)));
      if (seg.index >= at->size()) {
        throw kly_VaryError(at->empty()
                                ? fmt::format("\"{}\" is an empty list", walked)
                                : fmt::format("{}[{}]: {} has {} entries in the tube file, {}[0] to {}[{}]", walked,
                                              seg.index, walked, at->size(), walked, walked, at->size() - 1));
      }
      walked += fmt::format("[{}]", seg.index);
      key.pointer /= seg.index;
      at = &(*at)[seg.index];
      continue;
    }
    const std::string parent = walked;
    walked += walked.empty() ? seg.name : "." + seg.name;
    if (!at->is_object())
      throw kly_VaryError(fmt::format("\"{}\" is {}: it has no key \"{}\"", parent, describe(*at), seg.name));
    key.pointer /= seg.name;
    auto it = at->find(seg.name);
    if (it == at->end()) {
      if (last && optionalKey(parent, seg.name)) {
        key.integer = integerKey(seg.name);
        return key;
      }
      const std::vector<std::string> paths = numericPaths(tube);
      const std::vector<std::string_view> known(paths.begin(), paths.end());
      const std::string closest = kly_closest(path, known, std::max<std::size_t>(4, path.size() / 4));
      throw kly_VaryError(closest.empty()
                              ? fmt::format("unknown key path \"{}\": the tube file has no \"{}\"", path, walked)
                              : fmt::format("unknown key path \"{}\" (did you mean \"{}\"?)", path, closest));
    }
    at = &*it;
  }
  if (!at->is_number()) {
    std::string hint;
    if (at->is_object() || at->is_array()) {
      std::vector<std::string> inside;
      collect(*at, key.text, inside);
      if (!inside.empty())
        hint = fmt::format(" (its numbers: {}{})",
                           fmt::join(inside.begin(), inside.begin() + std::min<std::ptrdiff_t>(4, inside.size()), ", "),
                           inside.size() > 4 ? ", ..." : "");
    }
    throw kly_VaryError(fmt::format("\"{}\" is not a number: it is {}{}", path, describe(*at), hint));
  }
  key.integer = integerKey(segments.back().name);
  key.writtenAsInteger = at->is_number_integer();
  return key;
}

std::vector<double> kly_SweepKeys::values(std::string_view range, bool& log) {
  log = false;
  const std::string shapes = "expected start:stop:count, start:stop:count:log or a list v1,v2,...";
  if (range.empty()) throw kly_VaryError("the range is empty: " + shapes);
  std::vector<double> out;
  if (range.find(':') == std::string_view::npos) {
    const std::vector<std::string_view> list = fields(range, ',');
    if (list.size() > kMaxValues)
      throw kly_VaryError(
          fmt::format("a list of {} values is more than the {} a parameter may have", list.size(), kMaxValues));
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].empty()) throw kly_VaryError(fmt::format("value {} of the list is empty", i + 1));
      out.push_back(number(list[i], "the value"));
    }
    return out;
  }
  const std::vector<std::string_view> parts = fields(range, ':');
  if (parts.size() != 3 && parts.size() != 4) throw kly_VaryError(fmt::format("bad range \"{}\": {}", range, shapes));
  if (parts.size() == 4) {
    if (parts[3] != "log")
      throw kly_VaryError(
          fmt::format("bad range \"{}\": the fourth part may only be \"log\", found \"{}\"", range, parts[3]));
    log = true;
  }
  const double start = number(parts[0], "the start");
  const double stop = number(parts[1], "the stop");
  const std::size_t n = count(parts[2]);
  if (n == 1 && start != stop)
    throw kly_VaryError(fmt::format("a count of 1 with start {} and stop {} is ambiguous: give the one value alone",
                                    parts[0], parts[1]));
  if (log && !(start > 0 && stop > 0))
    throw kly_VaryError(
        fmt::format("a log range needs a start and a stop above 0, found {} and {}", parts[0], parts[1]));
  if (n == 1) return {start};
  const double last = static_cast<double>(n - 1);
  if (log) {
    // In decades, so that powers of ten come out exact.
    const double a = std::log10(start), b = std::log10(stop);
    for (std::size_t i = 0; i < n; ++i)
      out.push_back(i == 0 ? start : i + 1 == n ? stop : std::pow(10.0, a + (b - a) * static_cast<double>(i) / last));
  } else {
    for (std::size_t i = 0; i < n; ++i)
      out.push_back(i + 1 == n ? stop : start + (stop - start) * static_cast<double>(i) / last);
  }
  return out;
}

kly_Vary kly_SweepKeys::parse(const json& tube, std::string_view option) {
  const auto fail = [&option](const std::string& why) {
    return kly_VaryError(fmt::format("--vary {}: {}", option, why));
  };
  const std::size_t eq = option.find('=');
  if (eq == std::string_view::npos)
    throw fail("expected KEY=RANGE, for example beam.inputPower=1:100:5:log or cavities[1].frequency=2.85e9,2.86e9");
  kly_Vary vary;
  vary.range = std::string(option.substr(eq + 1));
  try {
    vary.key = resolve(tube, option.substr(0, eq));
    vary.values = values(vary.range, vary.log);
  } catch (const kly_VaryError& e) {
    throw fail(e.what());
  }
  if (vary.key.integer) {
    for (double v : vary.values) {
      if (v != std::floor(v))
        throw fail(fmt::format("{} takes whole numbers, and {} is not one{}", vary.key.text, v,
                               vary.log ? " (a log range rarely gives whole numbers: list the values instead)" : ""));
    }
  }
  return vary;
}

void kly_SweepKeys::apply(json& tube, const kly_KeyPath& key, double value) {
  if ((key.integer || key.writtenAsInteger) && value == std::floor(value) && std::fabs(value) < 9e15)
    tube[key.pointer] = static_cast<long long>(value);
  else
    tube[key.pointer] = value;
}
