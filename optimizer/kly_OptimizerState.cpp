#include "optimizer/kly_OptimizerState.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

// Numbers as the bits of their double, so that every value, NaN and -0
// included, comes back as it was.
void putNumber(std::string& out, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  char buffer[17];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, bits, 16);
  (void)ec;
  out.append(buffer, end);
}

std::string hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

class Reader {
public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::string_view line() {
    if (pos_ >= text_.size()) fail("the checkpoint ends early");
    const std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) fail("the checkpoint ends early");
    const std::string_view l = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++number_;
    return l;
  }
  // The rest of the line after "key ".
  std::string_view field(std::string_view key) {
    const std::string_view l = line();
    if (l.substr(0, key.size()) != key || (l.size() > key.size() && l[key.size()] != ' '))
      fail("expected \"" + std::string(key) + "\"");
    return l.size() > key.size() ? l.substr(key.size() + 1) : std::string_view{};
  }
  std::size_t count(std::string_view key) { return whole(field(key)); }
  std::size_t whole(std::string_view s) {
    std::size_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || end != s.data() + s.size())
      fail("expected a whole number, found \"" + std::string(s) + "\"");
    return v;
  }
  std::vector<double> numbers(std::string_view s) {
    std::vector<double> out;
    while (!s.empty()) {
      const std::size_t space = s.find(' ');
      const std::string_view word = s.substr(0, space);
      std::uint64_t bits = 0;
      const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), bits, 16);
      if (ec != std::errc{} || end != word.data() + word.size())
        fail("expected a number, found \"" + std::string(word) + "\"");
      double v;
      std::memcpy(&v, &bits, sizeof v);
      out.push_back(v);
      s = space == std::string_view::npos ? std::string_view{} : s.substr(space + 1);
    }
    return out;
  }
  std::string bytes(std::string_view s) {
    if (s.size() % 2 != 0) fail("the algorithm's bytes are cut short");
    std::string out(s.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
      unsigned v = 0;
      const auto [end, ec] = std::from_chars(s.data() + 2 * i, s.data() + 2 * i + 2, v, 16);
      if (ec != std::errc{} || end != s.data() + 2 * i + 2) fail("the algorithm's bytes are not hexadecimal");
      out[i] = static_cast<char>(v);
    }
    return out;
  }
  bool atEnd() const { return pos_ == text_.size(); }
  [[noreturn]] void fail(const std::string& why) const {
    throw std::invalid_argument("checkpoint line " + std::to_string(number_) + ": " + why);
  }

private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t number_ = 0;
};

void putVector(std::string& out, const std::vector<double>& v) {
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i > 0) out += ' ';
    putNumber(out, v[i]);
  }
}

}  // namespace

std::string kly_OptimizerState::write() const {
  std::string out = std::string(kHeader) + "\n";
  out += "problem " + std::to_string(problem.size()) + "\n" + problem + "\n";
  out += "steps " + std::to_string(steps) + "\n";
  out += std::string("started ") + (started ? "1" : "0") + "\n";
  out += std::string("refined ") + (refined ? "1" : "0") + "\n";
  out += "algorithm " + hex(algorithm) + "\n";
  out += "population " + std::to_string(x.size()) + "\n";
  for (std::size_t i = 0; i < x.size(); ++i) {
    out += "x ";
    putVector(out, x[i]);
    out += "\nf ";
    putVector(out, f[i]);
    out += '\n';
  }
  out += "evaluations " + std::to_string(evaluations.size()) + "\n";
  for (const kly_OptimizationEvaluation& e : evaluations) {
    out += "e " + std::to_string(e.step) + " " + std::to_string(e.index) + "\nv ";
    putVector(out, e.values);
    out += "\nr " + e.result.serialize() + "\n";
  }
  out += "end\n";
  return out;
}

kly_OptimizerState kly_OptimizerState::read(std::string_view text) {
  Reader in(text);
  if (in.line() != kHeader) in.fail("not a checkpoint of the optimiser");
  kly_OptimizerState s;
  const std::size_t length = in.count("problem");
  // The problem's text may span lines: read them back whole.
  std::string problem(in.line());
  while (problem.size() < length) {
    problem += '\n';
    problem += in.line();
  }
  if (problem.size() != length) in.fail("the problem's text has another length than it says");
  s.problem = std::move(problem);
  s.steps = static_cast<unsigned>(in.count("steps"));
  s.started = in.count("started") != 0;
  s.refined = in.count("refined") != 0;
  s.algorithm = in.bytes(in.field("algorithm"));
  const std::size_t n = in.count("population");
  for (std::size_t i = 0; i < n; ++i) {
    s.x.push_back(in.numbers(in.field("x")));
    s.f.push_back(in.numbers(in.field("f")));
  }
  const std::size_t m = in.count("evaluations");
  for (std::size_t i = 0; i < m; ++i) {
    kly_OptimizationEvaluation e;
    const std::string_view head = in.field("e");
    const std::size_t space = head.find(' ');
    if (space == std::string_view::npos) in.fail("expected the step and the number of an evaluation");
    e.step = static_cast<unsigned>(in.whole(head.substr(0, space)));
    e.index = in.whole(head.substr(space + 1));
    e.values = in.numbers(in.field("v"));
    try {
      e.result = kly_PointResult::parse(in.field("r"));
    } catch (const std::invalid_argument& error) {
      in.fail(error.what());
    }
    s.evaluations.push_back(std::move(e));
  }
  if (in.line() != "end" || !in.atEnd()) in.fail("expected the end of the checkpoint");
  return s;
}
