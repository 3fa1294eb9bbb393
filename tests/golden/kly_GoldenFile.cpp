#include "kly_GoldenFile.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include <fmt/format.h>

using nlohmann::ordered_json;

namespace {

constexpr const char* kAbsent = "(absent)";
constexpr double kPi = 3.141592653589793;

bool isProfile(const ordered_json& v) { return v.is_object() && v.contains("z") && v.contains("value"); }

// The largest magnitude of the numbers in a value (0 for none).
double largestMagnitude(const ordered_json& v) {
  if (v.is_number()) return std::abs(v.get<double>());
  double m = 0;
  if (v.is_array()) {
    for (const ordered_json& e : v) m = std::max(m, largestMagnitude(e));
  }
  return m;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string shape(const ordered_json& v) {
  return v.is_array() ? fmt::format("array of {}", v.size()) : v.is_object() ? std::string("object") : v.dump();
}

// How the values under one top-level key are compared.
struct Rule {
  double scale = 0;  // largest magnitude of the truth's array; 0 for a scalar
  bool phase = false;
  double magnitudeScale = 0;  // of the phase's magnitudes
};

class Comparison {
public:
  explicit Comparison(std::vector<kly_GoldenChange>& out) : out_(out) {}

  // a, b: truth and fresh value at `path`; ma, mb: their magnitudes when
  // they are phases that have them.
  void value(const Rule& rule, const std::string& path, const ordered_json& a, const ordered_json& b,
             const ordered_json* ma, const ordered_json* mb) {
    if (a.is_array() && b.is_array()) {
      if (a.size() != b.size()) {
        add(path, shape(a), shape(b), "", true);
        return;
      }
      for (std::size_t i = 0; i < a.size(); ++i) {
        const auto at = [i](const ordered_json* m) { return m && m->is_array() && i < m->size() ? &(*m)[i] : nullptr; };
        value(rule, fmt::format("{}[{}]", path, i), a[i], b[i], at(ma), at(mb));
      }
      return;
    }
    // nlohmann compares 1 and 1.0 as equal: a count that turns into a float is a change.
    if (a.type() == b.type() && a == b) return;
    if (!a.is_number_float() || !b.is_number_float()) {
      add(path, shape(a), shape(b), "", true);
      return;
    }
    const double x = a.get<double>(), y = b.get<double>();
    if (rule.phase && ma && mb && ma->is_number() && mb->is_number()) {
      const double m = ma->get<double>(), n = mb->get<double>();
      const double d = std::abs(std::polar(n, y) - std::polar(m, x));
      const double size = std::max(std::abs(m), std::abs(n));
      const double allowed = kly_GoldenFile::kTolerance * std::max(size, rule.magnitudeScale);
      const std::string change =
          size > 0 ? fmt::format("{:.2e} of the phasor", d / size) : fmt::format("{:+.2e} rad, phasor 0", y - x);
      add(path, a.dump(), b.dump(), change, d > allowed);
      return;
    }
    if (rule.phase) {
      const double d = std::remainder(y - x, 2 * kPi);  // on the circle, within [-pi, pi]
      add(path, a.dump(), b.dump(), fmt::format("{:+.2e} rad", d), std::abs(d) > kly_GoldenFile::kTolerance * kPi);
      return;
    }
    const double allowed = kly_GoldenFile::kTolerance * std::max({std::abs(x), std::abs(y), rule.scale});
    std::string change;
    if (x != 0) {
      change = fmt::format("{:+.2e}", (y - x) / std::abs(x));
    } else if (rule.scale > 0) {
      change = fmt::format("{:+.2e} of the largest", (y - x) / rule.scale);
    } else {
      change = "from 0";
    }
    add(path, a.dump(), b.dump(), change, std::abs(y - x) > allowed);
  }

  void add(std::string key, std::string before, std::string after, std::string change, bool beyond) {
    out_.push_back(kly_GoldenChange{std::move(key), std::move(before), std::move(after), std::move(change), beyond});
  }

private:
  std::vector<kly_GoldenChange>& out_;
};

}  // namespace

ordered_json kly_GoldenFile::truthOf(const ordered_json& results) {
  ordered_json truth = ordered_json::object();
  for (const auto& [key, v] : results.items()) {
    if (key == "warnings" || isProfile(v)) continue;
    truth[key] = v;
  }
  return truth;
}

std::string kly_GoldenFile::magnitudeOf(const ordered_json& truth, const std::string& phaseKey) {
  if (!endsWith(phaseKey, "Phase")) return "";
  const std::string stem = phaseKey.substr(0, phaseKey.size() - 5);
  for (const std::string& k : {stem, stem + "Magnitude"}) {
    if (truth.contains(k)) return k;
  }
  return "";
}

std::vector<kly_GoldenChange> kly_GoldenFile::compare(const ordered_json& truth, const ordered_json& freshResults) {
  const ordered_json fresh = truthOf(freshResults);
  std::vector<kly_GoldenChange> changes;
  Comparison c(changes);
  for (const auto& [key, a] : truth.items()) {
    if (!fresh.contains(key)) {
      c.add(key, shape(a), kAbsent, "", true);
      continue;
    }
    Rule rule;
    rule.scale = a.is_array() ? largestMagnitude(a) : 0;
    rule.phase = endsWith(key, "Phase");
    const ordered_json* ma = nullptr;
    const ordered_json* mb = nullptr;
    if (rule.phase) {
      const std::string m = magnitudeOf(truth, key);
      if (!m.empty() && fresh.contains(m)) {
        ma = &truth[m];
        mb = &fresh[m];
        rule.magnitudeScale = largestMagnitude(*ma);
      }
    }
    c.value(rule, key, a, fresh[key], ma, mb);
  }
  for (const auto& [key, b] : fresh.items()) {
    if (!truth.contains(key)) c.add(key, kAbsent, shape(b), "new result", true);
  }
  return changes;
}

bool kly_GoldenFile::passes(const std::vector<kly_GoldenChange>& changes) {
  return std::none_of(changes.begin(), changes.end(), [](const kly_GoldenChange& c) { return c.beyondTolerance; });
}

std::string kly_GoldenFile::report(const std::vector<kly_GoldenChange>& changes) {
  if (changes.empty()) return "unchanged\n";
  const auto beyond =
      std::count_if(changes.begin(), changes.end(), [](const kly_GoldenChange& c) { return c.beyondTolerance; });
  std::size_t wk = 3, wb = 3, wa = 3;
  for (const kly_GoldenChange& c : changes) {
    wk = std::max(wk, c.key.size());
    wb = std::max(wb, c.before.size());
    wa = std::max(wa, c.after.size());
  }
  std::string out = fmt::format("{} value{} moved, {} beyond the tolerance of the test (marked *)\n", changes.size(),
                                changes.size() == 1 ? "" : "s", beyond);
  out += fmt::format("  {:<{}}  {:<{}}  {:<{}}  {}\n", "key", wk, "old", wb, "new", wa, "change");
  for (const kly_GoldenChange& c : changes) {
    out += fmt::format("{} {:<{}}  {:<{}}  {:<{}}  {}\n", c.beyondTolerance ? '*' : ' ', c.key, wk, c.before, wb,
                       c.after, wa, c.change);
  }
  return out;
}
