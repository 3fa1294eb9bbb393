#include "tools/kly_SvgPlot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

namespace {

constexpr const char* kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b"};
constexpr int kPaletteSize = sizeof(kPalette) / sizeof(kPalette[0]);

// Plot area inside the picture [px]; a right axis takes kRightAxis more.
constexpr double kLeft = 80, kRight = 24, kTop = 56, kBottom = 78, kRightAxis = 56;

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

struct Range {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  void add(double v) {
    if (!std::isfinite(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  bool empty() const { return lo > hi; }
};

// 1, 2 or 5 times a power of ten, near span / 6.
double niceStep(double span) {
  const double raw = span / 6;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / power;
  return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * power;
}

// Widens a data range to whole ticks; a range of one value gets some room.
Range niceRange(Range r, double& step) {
  if (r.empty()) r = Range{0, 1};
  // A range within rounding of one value (a result that does not vary but in
  // its last bits) is one value: its ticks would not advance.
  if (r.hi - r.lo <= 1e-9 * std::max(std::abs(r.lo), std::abs(r.hi))) {
    r.hi = r.lo;
    const double pad = r.lo == 0 ? 1 : std::abs(r.lo) * 0.1;
    r.lo -= pad;
    r.hi += pad;
  }
  step = niceStep(r.hi - r.lo);
  return Range{std::floor(r.lo / step + 1e-9) * step, std::ceil(r.hi / step - 1e-9) * step};
}

// A value as an axis of that scale places it: its logarithm on a log axis,
// where values at or below 0 have no place.
double along(double v, kly_SvgPlot::Scale scale) {
  if (scale == kly_SvgPlot::Scale::Linear) return v;
  return v > 0 ? std::log10(v) : std::numeric_limits<double>::quiet_NaN();
}

// Whole decades around a range of logarithms, at least one.
Range decades(Range r) {
  if (r.empty()) r = Range{0, 1};
  Range d{std::floor(r.lo + 1e-9), std::ceil(r.hi - 1e-9)};
  if (d.hi <= d.lo) d.hi = d.lo + 1;
  return d;
}

struct AxisTick {
  double at;  // along the axis
  std::string label;
};

// Ticks of an axis over [lo, hi] (along it) with the given step (linear) or
// at decades (log).
std::vector<AxisTick> axisTicks(const Range& r, double step, kly_SvgPlot::Scale scale);

// The first whole multiple of the step in the range.
double firstTick(const Range& r, double step) { return std::ceil(r.lo / step - 1e-9) * step; }

std::string tickLabel(double v, double step) {
  if (std::abs(v) < step * 1e-9) v = 0;
  if (step >= 1e5 || step < 1e-4) return fmt::format("{:.3g}", v);
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return fmt::format("{:.{}f}", v, decimals);
}

std::vector<AxisTick> axisTicks(const Range& r, double step, kly_SvgPlot::Scale scale) {
  std::vector<AxisTick> ticks;
  if (scale == kly_SvgPlot::Scale::Linear) {
    const double first = firstTick(r, step);
    for (int i = 0; i < 1000; ++i) {
      const double v = first + i * step;
      if (v > r.hi + step * 1e-6) break;
      ticks.push_back(AxisTick{v, tickLabel(v, step)});
    }
    return ticks;
  }
  const bool fine = r.hi - r.lo <= 3;
  for (double k = r.lo; k <= r.hi + 1e-9; k += 1) {
    for (double m : {1.0, 2.0, 5.0}) {
      if (m != 1 && !fine) continue;
      const double at = k + std::log10(m);
      if (at > r.hi + 1e-9) break;
      // 0.001 to 10000 as they are, beyond as 1e6, 2e-5.
      const std::string label = k >= -3 && k <= 4 ? fmt::format("{:g}", m * std::pow(10.0, k))
                                                  : fmt::format("{:g}e{:g}", m, k);
      ticks.push_back(AxisTick{at, label});
    }
  }
  return ticks;
}

}  // namespace

void kly_SvgPlot::setRightAxis(std::string label, Scale scale) {
  y2Label_ = std::move(label);
  y2Scale_ = scale;
}

kly_SvgPlot::kly_SvgPlot(std::string title, std::string xLabel, std::string yLabel)
    : title_(std::move(title)), xLabel_(std::move(xLabel)), yLabel_(std::move(yLabel)) {}

void kly_SvgPlot::addSeries(std::string name, std::vector<double> x, std::vector<double> y, SeriesOptions options) {
  const int color = options.color >= 0 ? options.color : nextColor_++;
  x.resize(std::min(x.size(), y.size()));
  y.resize(x.size());
  series_.push_back(Series{std::move(name), std::move(x), std::move(y), options, color});
}

void kly_SvgPlot::addBars(std::string name, std::vector<double> x, std::vector<double> heights, double width) {
  addSeries(std::move(name), std::move(x), std::move(heights));
  series_.back().bars = true;
  series_.back().barWidth = width;
}

void kly_SvgPlot::addHorizontalBar(std::string name, double y, double from, double to, double height, int color) {
  SeriesOptions options;
  options.color = color;
  addSeries(std::move(name), {std::min(from, to), std::max(from, to)}, {y, y}, options);
  series_.back().horizontal = true;
  series_.back().barHeight = height;
}

void kly_SvgPlot::addMarker(double x, std::string label) { markers_.push_back(Marker{x, std::move(label)}); }

void kly_SvgPlot::addBand(Axis axis, double from, double to, std::string label) {
  bands_.push_back(Band{axis, std::min(from, to), std::max(from, to), std::move(label)});
}

void kly_SvgPlot::setXTicks(std::vector<Tick> ticks) { xTicks_ = std::move(ticks); }

void kly_SvgPlot::setYTicks(std::vector<Tick> ticks) { yTicks_ = std::move(ticks); }

void kly_SvgPlot::setXRange(double lo, double hi) { xRange_ = std::make_pair(lo, hi); }

void kly_SvgPlot::setYRange(double lo, double hi) { yRange_ = std::make_pair(lo, hi); }

// The plot area and the ranges and tick steps of both axes, and the mapping
// from data to picture coordinates.
struct kly_SvgPlot::Frame {
  Range x, y, y2;  // along the axes (logarithms on a log axis)
  double xStep = 0, yStep = 0, y2Step = 0;
  Scale xScale = Scale::Linear, yScale = Scale::Linear, y2Scale = Scale::Linear;
  double w = kWidth - kLeft - kRight;
  double h = kHeight - kTop - kBottom;
  // Picture coordinates of data values.
  double px(double v) const { return pxAlong(along(v, xScale)); }
  double py(double v) const { return pyAlong(along(v, yScale)); }
  double py2(double v) const { return kTop + h - (along(v, y2Scale) - y2.lo) / (y2.hi - y2.lo) * h; }
  // ... and of positions along the axes.
  double pxAlong(double a) const { return kLeft + (a - x.lo) / (x.hi - x.lo) * w; }
  double pyAlong(double a) const { return kTop + h - (a - y.lo) / (y.hi - y.lo) * h; }
};

std::string kly_SvgPlot::render() const {
  const Frame f = frame();
  std::string out;
  renderHeader(out, f);
  renderBands(out, f);
  renderAxes(out, f);
  renderSeries(out, f);
  renderMarkers(out, f);
  renderLegend(out);
  renderNotes(out);
  out += "</svg>\n";
  return out;
}

kly_SvgPlot::Frame kly_SvgPlot::frame() const {
  Frame f;
  f.xScale = xScale_;
  f.yScale = yScale_;
  f.y2Scale = y2Scale_;
  if (hasRightAxis()) f.w -= kRightAxis;
  Range xr, yr, y2r;
  for (const Series& s : series_) {
    const bool right = hasRightAxis() && s.options.rightAxis;
    const Scale ys = right ? y2Scale_ : yScale_;
    for (std::size_t i = 0; i < s.x.size(); ++i) {
      const double x = along(s.x[i], xScale_), y = along(s.y[i], ys);
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      xr.add(s.bars ? along(s.x[i] - s.barWidth / 2, xScale_) : x);
      xr.add(s.bars ? along(s.x[i] + s.barWidth / 2, xScale_) : x);
      if (s.horizontal) {
        yr.add(along(s.y[i] - s.barHeight / 2, yScale_));
        yr.add(along(s.y[i] + s.barHeight / 2, yScale_));
      } else {
        (right ? y2r : yr).add(y);
      }
      if (s.bars) yr.add(0);
    }
  }
  for (const Marker& m : markers_) xr.add(along(m.x, xScale_));
  for (const Band& b : bands_) {
    (b.axis == Axis::X ? xr : yr).add(along(b.from, b.axis == Axis::X ? xScale_ : yScale_));
    (b.axis == Axis::X ? xr : yr).add(along(b.to, b.axis == Axis::X ? xScale_ : yScale_));
  }
  for (const Tick& t : xTicks_) xr.add(along(t.at, xScale_));
  for (const Tick& t : yTicks_) yr.add(along(t.at, yScale_));

  if (xRange_) {
    f.x = Range{along(xRange_->first, xScale_), along(xRange_->second, xScale_)};
    if (xScale_ == Scale::Linear) niceRange(f.x, f.xStep);
  } else {
    f.x = xScale_ == Scale::Log ? decades(xr) : niceRange(xr, f.xStep);
  }
  if (yRange_) {
    f.y = Range{along(yRange_->first, yScale_), along(yRange_->second, yScale_)};
    if (yScale_ == Scale::Linear) niceRange(f.y, f.yStep);
  } else {
    f.y = yScale_ == Scale::Log ? decades(yr) : niceRange(yr, f.yStep);
  }
  if (hasRightAxis()) f.y2 = y2Scale_ == Scale::Log ? decades(y2r) : niceRange(y2r, f.y2Step);
  if (!xTicks_.empty() && !xr.empty() && !xRange_) {
    // Categories: keep half a bar of room at both ends instead of whole ticks.
    f.x = xr;
    if (f.x.lo == f.x.hi) f.x = Range{f.x.lo - 1, f.x.hi + 1};
  }
  return f;
}

void kly_SvgPlot::renderHeader(std::string& out, const Frame& f) const {
  out += fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\" "
      "font-family=\"sans-serif\" font-size=\"12\">\n"
      "<title>{2}</title>\n"
      "<rect width=\"{0}\" height=\"{1}\" fill=\"white\"/>\n"
      "<defs><clipPath id=\"plot-area\"><rect x=\"{3}\" y=\"{4}\" width=\"{5}\" height=\"{6}\"/></clipPath></defs>\n"
      "<text class=\"title\" x=\"{7}\" y=\"22\" text-anchor=\"middle\" font-size=\"15\">{2}</text>\n"
      "<text class=\"subtitle\" x=\"{7}\" y=\"38\" text-anchor=\"middle\" font-size=\"11\" fill=\"#555\">{8}</text>\n",
      kWidth, height(), escape(title_), kLeft, kTop, f.w, f.h, kWidth / 2.0, escape(subtitle_));
}

// Bands, under everything else.
void kly_SvgPlot::renderBands(std::string& out, const Frame& f) const {
  const double w = f.w, h = f.h;
  out += "<g class=\"bands\">\n";
  int xBands = 0;  // labels of bands along x go one under the other
  for (const Band& b : bands_) {
    if (b.axis == Axis::X) {
      const double a = std::clamp(f.px(b.from), kLeft, kLeft + w), c = std::clamp(f.px(b.to), kLeft, kLeft + w);
      out += fmt::format(
          "<rect class=\"band\" data-label=\"{}\" x=\"{:.2f}\" y=\"{:.2f}\" width=\"{:.2f}\" "
          "height=\"{:.2f}\" fill=\"#f0a030\" fill-opacity=\"0.3\"/>\n",
          escape(b.label), a, kTop, std::max(c - a, 0.5), h);
      if (!b.label.empty()) {
        out += fmt::format("<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\" fill=\"#555\">{}</text>\n",
                           (a + c) / 2, kTop + 14 + 14 * xBands++, escape(b.label));
      }
    } else {
      const double a = std::clamp(f.py(b.to), kTop, kTop + h), c = std::clamp(f.py(b.from), kTop, kTop + h);
      out += fmt::format(
          "<rect class=\"band\" data-label=\"{}\" x=\"{:.2f}\" y=\"{:.2f}\" width=\"{:.2f}\" "
          "height=\"{:.2f}\" fill=\"#f0a030\" fill-opacity=\"0.35\"/>\n",
          escape(b.label), kLeft, a, w, std::max(c - a, 0.5));
      if (!b.label.empty()) {
        out += fmt::format("<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"end\" fill=\"#555\">{}</text>\n",
                           kLeft + w - 4, (a + c) / 2 + 4, escape(b.label));
      }
    }
  }
  out += "</g>\n";
}

// Grid, axes, ticks and the axis labels.
void kly_SvgPlot::renderAxes(std::string& out, const Frame& f) const {
  const double w = f.w, h = f.h;
  out += "<g class=\"axes\" stroke=\"#ccc\">\n";
  std::vector<AxisTick> xTicks;
  if (xTicks_.empty()) {
    xTicks = axisTicks(f.x, f.xStep, f.xScale);
  } else {
    for (const Tick& t : xTicks_) xTicks.push_back(AxisTick{along(t.at, f.xScale), t.label});
  }
  for (const AxisTick& t : xTicks) {
    out += fmt::format("<line x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{0:.2f}\" y2=\"{2:.2f}\"/>\n", f.pxAlong(t.at), kTop,
                       kTop + h);
    out += fmt::format(
        "<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\" stroke=\"none\" fill=\"black\">{}"
        "</text>\n",
        f.pxAlong(t.at), kTop + h + 16, escape(t.label));
  }
  std::vector<AxisTick> yTicks;
  if (yTicks_.empty()) {
    yTicks = axisTicks(f.y, f.yStep, f.yScale);
  } else {
    for (const Tick& t : yTicks_) yTicks.push_back(AxisTick{along(t.at, f.yScale), t.label});
  }
  for (const AxisTick& t : yTicks) {
    out += fmt::format("<line x1=\"{1:.2f}\" y1=\"{0:.2f}\" x2=\"{2:.2f}\" y2=\"{0:.2f}\"/>\n", f.pyAlong(t.at), kLeft,
                       kLeft + w);
    out += fmt::format(
        "<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"end\" stroke=\"none\" fill=\"black\">{}"
        "</text>\n",
        kLeft - 6, f.pyAlong(t.at) + 4, escape(t.label));
  }
  if (hasRightAxis()) {
    for (const AxisTick& t : axisTicks(f.y2, f.y2Step, f.y2Scale)) {
      const double y = kTop + h - (t.at - f.y2.lo) / (f.y2.hi - f.y2.lo) * h;
      out += fmt::format("<line x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{2:.2f}\" y2=\"{1:.2f}\" stroke=\"black\"/>\n",
                         kLeft + w, y, kLeft + w + 4);
      out += fmt::format(
          "<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"start\" stroke=\"none\" fill=\"black\">{}"
          "</text>\n",
          kLeft + w + 6, y + 4, escape(t.label));
    }
    const double x = kWidth - 14.0;
    out += fmt::format(
        "<text class=\"y2-label\" x=\"{0:.2f}\" y=\"{1:.2f}\" text-anchor=\"middle\" stroke=\"none\" "
        "fill=\"black\" transform=\"rotate(-90 {0:.2f} {1:.2f})\">{2}</text>\n",
        x, kTop + h / 2, escape(y2Label_));
  }
  out += fmt::format("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"none\" stroke=\"black\"/>\n", kLeft,
                     kTop, w, h);
  out += fmt::format(
      "<text class=\"x-label\" x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\" stroke=\"none\" "
      "fill=\"black\">{}</text>\n",
      kLeft + w / 2, kTop + h + 36, escape(xLabel_));
  out += fmt::format(
      "<text class=\"y-label\" x=\"18\" y=\"{0:.2f}\" text-anchor=\"middle\" stroke=\"none\" "
      "fill=\"black\" transform=\"rotate(-90 18 {0:.2f})\">{1}</text>\n",
      kTop + h / 2, escape(yLabel_));
  out += "</g>\n";
}

// The data, clipped to the plot area: bars, markers, or lines broken where a
// point is not finite.
void kly_SvgPlot::renderSeries(std::string& out, const Frame& f) const {
  out += "<g clip-path=\"url(#plot-area)\">\n";
  for (const Series& s : series_) {
    const char* color = kPalette[s.color % kPaletteSize];
    const bool right = hasRightAxis() && s.options.rightAxis;
    const auto py = [&f, right](double v) { return right ? f.py2(v) : f.py(v); };
    // A point the axes can place: finite, and above 0 on a log axis.
    const auto placed = [&](std::size_t i) { return std::isfinite(f.px(s.x[i])) && std::isfinite(py(s.y[i])); };
    out += fmt::format("<g class=\"series\" data-name=\"{}\"{}>\n", escape(s.name),
                       right ? " data-axis=\"right\"" : "");
    if (s.horizontal) {
      if (s.x.size() == 2 && placed(0) && placed(1)) {
        const double top = f.py(s.y[0] + s.barHeight / 2), bottom = f.py(s.y[0] - s.barHeight / 2);
        out += fmt::format("<rect x=\"{:.2f}\" y=\"{:.2f}\" width=\"{:.2f}\" height=\"{:.2f}\" fill=\"{}\"/>\n",
                           f.px(s.x[0]), std::min(top, bottom), std::abs(f.px(s.x[1]) - f.px(s.x[0])),
                           std::abs(bottom - top), color);
      }
    } else if (s.bars) {
      for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (!placed(i)) continue;
        const double top = std::min(f.py(s.y[i]), f.py(0)), bottom = std::max(f.py(s.y[i]), f.py(0));
        out += fmt::format("<rect x=\"{:.2f}\" y=\"{:.2f}\" width=\"{:.2f}\" height=\"{:.2f}\" fill=\"{}\"/>\n",
                           f.px(s.x[i] - s.barWidth / 2), top,
                           f.px(s.x[i] + s.barWidth / 2) - f.px(s.x[i] - s.barWidth / 2), bottom - top, color);
      }
    } else if (s.options.style == Style::Markers) {
      for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (!placed(i)) continue;
        out += fmt::format("<circle cx=\"{:.2f}\" cy=\"{:.2f}\" r=\"3\" fill=\"{}\"/>\n", f.px(s.x[i]), py(s.y[i]),
                           color);
      }
    } else {
      const char* dash = s.options.style == Style::Dashed ? " stroke-dasharray=\"6 4\"" : "";
      std::string points;
      auto flush = [&] {
        if (!points.empty()) {
          out += fmt::format("<polyline fill=\"none\" stroke=\"{}\" stroke-width=\"{}\"{} points=\"{}\"/>\n", color,
                             s.options.lineWidth, dash, points);
        }
        points.clear();
      };
      for (std::size_t i = 0; i < s.x.size(); ++i) {
        if (!placed(i)) {
          flush();
          continue;
        }
        points += fmt::format("{}{:.2f},{:.2f}", points.empty() ? "" : " ", f.px(s.x[i]), py(s.y[i]));
      }
      flush();
    }
    out += "</g>\n";
  }
  out += "</g>\n";
}

void kly_SvgPlot::renderMarkers(std::string& out, const Frame& f) const {
  out += "<g class=\"markers\">\n";
  for (const Marker& m : markers_) {
    if (!(f.px(m.x) >= kLeft - 0.5 && f.px(m.x) <= kLeft + f.w + 0.5)) continue;  // outside a fixed range
    out += fmt::format(
        "<line x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{0:.2f}\" y2=\"{2:.2f}\" stroke=\"#444\" "
        "stroke-dasharray=\"3 3\"/>\n",
        f.px(m.x), kTop, kTop + f.h);
    out += fmt::format("<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\" fill=\"#444\">{}</text>\n", f.px(m.x),
                       kTop - 4, escape(m.label));
  }
  out += "</g>\n";
}

// Legend rows: items in order, a new row where the next would not fit.
std::vector<std::vector<const kly_SvgPlot::Series*>> kly_SvgPlot::legendRows() const {
  std::vector<std::vector<const Series*>> rows;
  double width = 0;
  for (const Series& s : series_) {
    if (!s.options.inLegend) continue;
    const double w = legendItemWidth(s);
    if (rows.empty() || (width + w > kWidth - 40 && !rows.back().empty())) {
      rows.emplace_back();
      width = 0;
    }
    rows.back().push_back(&s);
    width += w;
  }
  return rows;
}

double kly_SvgPlot::legendItemWidth(const Series& s) { return 50 + 7.0 * static_cast<double>(s.name.size()); }

int kly_SvgPlot::height() const {
  const std::size_t rows = legendRows().size();
  return kHeight + static_cast<int>(kLegendRow * ((rows > 1 ? rows - 1 : 0) + notes_.size()));
}

// Legend: rows under the plot, where it hides no data.
void kly_SvgPlot::renderLegend(std::string& out) const {
  const auto rows = legendRows();
  if (rows.empty()) return;
  out += "<g class=\"legend\">\n";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    double total = 0;
    for (const Series* s : rows[r]) total += legendItemWidth(*s);
    double x = std::max(20.0, (kWidth - total) / 2);
    const double ly = kHeight - 12.0 + kLegendRow * static_cast<double>(r);
    for (const Series* s : rows[r]) {
      const char* color = kPalette[s->color % kPaletteSize];
      if (s->bars || s->horizontal || s->options.style == Style::Markers) {
        out +=
            fmt::format("<rect x=\"{:.2f}\" y=\"{:.2f}\" width=\"20\" height=\"8\" fill=\"{}\"/>\n", x, ly - 8, color);
      } else {
        out += fmt::format(
            "<line x1=\"{:.2f}\" y1=\"{:.2f}\" x2=\"{:.2f}\" y2=\"{:.2f}\" stroke=\"{}\" "
            "stroke-width=\"2\"{}/>\n",
            x, ly - 4, x + 20, ly - 4, color, s->options.style == Style::Dashed ? " stroke-dasharray=\"6 4\"" : "");
      }
      out += fmt::format("<text x=\"{:.2f}\" y=\"{:.2f}\">{}</text>\n", x + 26, ly, escape(s->name));
      x += legendItemWidth(*s);
    }
  }
  out += "</g>\n";
}

// Notes: left-aligned lines under the legend rows.
void kly_SvgPlot::renderNotes(std::string& out) const {
  if (notes_.empty()) return;
  const std::size_t rows = std::max<std::size_t>(legendRows().size(), 1);
  out += "<g class=\"notes\" fill=\"#333\">\n";
  for (std::size_t i = 0; i < notes_.size(); ++i) {
    out += fmt::format("<text x=\"20\" y=\"{:.2f}\">{}</text>\n",
                       kHeight - 12.0 + kLegendRow * static_cast<double>(rows + i), escape(notes_[i]));
  }
  out += "</g>\n";
}
