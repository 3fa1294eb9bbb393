#include "tools/kly_SvgHeatMap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <fmt/format.h>

namespace {

// Plot area [px]: the colour bar takes the right-hand strip.
constexpr double kLeft = 96, kRight = 120, kTop = 56, kBottom = 70;
constexpr double kBarWidth = 18;

std::string escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A perceptually even scale from dark blue through green to yellow, at t in [0, 1].
std::string colour(double t) {
  static constexpr std::array<std::array<double, 3>, 6> kStops = {
      {{68, 1, 84}, {65, 68, 135}, {42, 120, 142}, {34, 168, 132}, {122, 209, 81}, {253, 231, 37}}};
  t = std::clamp(t, 0.0, 1.0) * (kStops.size() - 1);
  const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(t), kStops.size() - 2);
  const double f = t - static_cast<double>(i);
  int rgb[3];
  for (int c = 0; c < 3; ++c)
    rgb[c] = static_cast<int>(std::lround(kStops[i][c] + f * (kStops[i + 1][c] - kStops[i][c])));
  return fmt::format("#{:02x}{:02x}{:02x}", rgb[0], rgb[1], rgb[2]);
}

std::string label(double v) { return fmt::format("{:.6g}", v); }

// Every k-th index, so that at most `most` are shown, the last one always.
bool shown(std::size_t i, std::size_t n, std::size_t most) {
  const std::size_t every = n <= most ? 1 : (n + most - 1) / most;
  return i % every == 0 || i + 1 == n;
}

}  // namespace

kly_SvgHeatMap::kly_SvgHeatMap(std::string title, std::string xLabel, std::string yLabel, std::string valueLabel)
    : title_(std::move(title)),
      xLabel_(std::move(xLabel)),
      yLabel_(std::move(yLabel)),
      valueLabel_(std::move(valueLabel)) {}

void kly_SvgHeatMap::setGrid(std::vector<double> x, std::vector<double> y, std::vector<std::vector<double>> values) {
  x_ = std::move(x);
  y_ = std::move(y);
  values_ = std::move(values);
  values_.resize(y_.size());
  for (auto& row : values_) row.resize(x_.size(), std::numeric_limits<double>::quiet_NaN());
}

void kly_SvgHeatMap::mark(std::size_t column, std::size_t row, std::string label) {
  marked_ = true;
  markColumn_ = column;
  markRow_ = row;
  markLabel_ = std::move(label);
}

std::string kly_SvgHeatMap::render() const {
  const double w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
  const std::size_t nx = std::max<std::size_t>(1, x_.size()), ny = std::max<std::size_t>(1, y_.size());
  const double cw = w / static_cast<double>(nx), ch = h / static_cast<double>(ny);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const auto& row : values_) {
    for (double v : row) {
      if (!std::isfinite(v)) continue;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  const bool any = lo <= hi;
  const auto scaled = [lo, hi](double v) { return hi > lo ? (v - lo) / (hi - lo) : 0.5; };
  // Row 0 at the bottom, as the y axis grows upwards.
  const auto cellX = [&](std::size_t c) { return kLeft + cw * static_cast<double>(c); };
  const auto cellY = [&](std::size_t r) { return kTop + h - ch * static_cast<double>(r + 1); };

  std::string out = fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\" "
      "font-family=\"sans-serif\" font-size=\"12\">\n"
      "<title>{2}</title>\n"
      "<rect width=\"{0}\" height=\"{1}\" fill=\"white\"/>\n"
      "<text class=\"title\" x=\"{3}\" y=\"22\" text-anchor=\"middle\" font-size=\"15\">{2}</text>\n"
      "<text class=\"subtitle\" x=\"{3}\" y=\"38\" text-anchor=\"middle\" font-size=\"11\" fill=\"#555\">{4}</text>\n",
      kWidth, kHeight, escape(title_), kWidth / 2.0, escape(subtitle_));

  out += "<g class=\"heatmap\">\n";
  for (std::size_t r = 0; r < y_.size(); ++r) {
    for (std::size_t c = 0; c < x_.size(); ++c) {
      const double v = values_[r][c];
      const bool finite = std::isfinite(v);
      out += fmt::format(
          "<rect class=\"cell\" data-x=\"{}\" data-y=\"{}\" data-value=\"{}\" x=\"{:.2f}\" y=\"{:.2f}\" "
          "width=\"{:.2f}\" height=\"{:.2f}\" fill=\"{}\" stroke=\"white\" stroke-width=\"0.5\"/>\n",
          x_[c], y_[r], finite ? fmt::format("{}", v) : "none", cellX(c), cellY(r), cw, ch,
          finite ? colour(scaled(v)) : "#d0d0d0");
      if (!finite) {
        out += fmt::format("<path d=\"M{:.2f},{:.2f}L{:.2f},{:.2f}M{:.2f},{:.2f}L{:.2f},{:.2f}\" stroke=\"#999\"/>\n",
                           cellX(c), cellY(r), cellX(c) + cw, cellY(r) + ch, cellX(c) + cw, cellY(r), cellX(c),
                           cellY(r) + ch);
      }
    }
  }
  out += "</g>\n";

  out += "<g class=\"axes\">\n";
  out += fmt::format("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"none\" stroke=\"black\"/>\n", kLeft,
                     kTop, w, h);
  for (std::size_t c = 0; c < x_.size(); ++c) {
    if (!shown(c, x_.size(), kMaxLabels)) continue;
    out += fmt::format("<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\">{}</text>\n", cellX(c) + cw / 2,
                       kTop + h + 16, escape(label(x_[c])));
  }
  for (std::size_t r = 0; r < y_.size(); ++r) {
    if (!shown(r, y_.size(), kMaxLabels)) continue;
    out += fmt::format("<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"end\">{}</text>\n", kLeft - 6,
                       cellY(r) + ch / 2 + 4, escape(label(y_[r])));
  }
  out += fmt::format("<text class=\"x-label\" x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\">{}</text>\n",
                     kLeft + w / 2, kTop + h + 40, escape(xLabel_));
  out += fmt::format(
      "<text class=\"y-label\" x=\"18\" y=\"{0:.2f}\" text-anchor=\"middle\" transform=\"rotate(-90 18 {0:.2f})\">{1}"
      "</text>\n",
      kTop + h / 2, escape(yLabel_));
  out += "</g>\n";

  // The colour bar, lowest value at the bottom.
  const double bx = kLeft + w + 24;
  out += "<g class=\"colour-bar\">\n";
  constexpr int kSteps = 64;
  for (int i = 0; i < kSteps; ++i) {
    const double t = (i + 0.5) / kSteps;
    out += fmt::format("<rect x=\"{:.2f}\" y=\"{:.2f}\" width=\"{}\" height=\"{:.2f}\" fill=\"{}\"/>\n", bx,
                       kTop + h * (1 - static_cast<double>(i + 1) / kSteps), kBarWidth, h / kSteps + 0.3, colour(t));
  }
  out += fmt::format("<rect x=\"{:.2f}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"none\" stroke=\"black\"/>\n", bx,
                     kTop, kBarWidth, h);
  if (any) {
    for (double t : {0.0, 0.5, 1.0}) {
      out += fmt::format("<text x=\"{:.2f}\" y=\"{:.2f}\">{}</text>\n", bx + kBarWidth + 4, kTop + h * (1 - t) + 4,
                         escape(label(lo + t * (hi - lo))));
    }
  }
  out += fmt::format(
      "<text class=\"value-label\" x=\"{0:.2f}\" y=\"{1:.2f}\" text-anchor=\"middle\" "
      "transform=\"rotate(-90 {0:.2f} {1:.2f})\">{2}</text>\n",
      kWidth - 12.0, kTop + h / 2, escape(valueLabel_));
  out += "</g>\n";

  if (marked_ && markColumn_ < x_.size() && markRow_ < y_.size()) {
    const double cx = cellX(markColumn_) + cw / 2, cy = cellY(markRow_) + ch / 2;
    const double r = std::max(4.0, std::min(cw, ch) * 0.35);
    out += fmt::format("<g class=\"mark\" data-x=\"{}\" data-y=\"{}\">\n", x_[markColumn_], y_[markRow_]);
    out += fmt::format(
        "<circle cx=\"{:.2f}\" cy=\"{:.2f}\" r=\"{:.2f}\" fill=\"none\" stroke=\"white\" "
        "stroke-width=\"2.5\"/>\n",
        cx, cy, r);
    out += fmt::format(
        "<circle cx=\"{:.2f}\" cy=\"{:.2f}\" r=\"{:.2f}\" fill=\"none\" stroke=\"#d62728\" "
        "stroke-width=\"1.5\"/>\n",
        cx, cy, r);
    const bool leftHalf = markColumn_ * 2 < x_.size();
    out += fmt::format(
        "<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"{}\" fill=\"black\" stroke=\"white\" "
        "stroke-width=\"3\" paint-order=\"stroke\">{}</text>\n",
        leftHalf ? cx + r + 4 : cx - r - 4, cy + 4, leftHalf ? "start" : "end", escape(markLabel_));
    out += "</g>\n";
  }
  out += "</svg>\n";
  return out;
}
