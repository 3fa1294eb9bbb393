#pragma once

#include <optional>
#include <string>
#include <vector>

// A two-dimensional chart written as a self-contained SVG document: line,
// dashed-line and marker series, bars (upright, or lying between two x
// values), vertical markers with labels, shaded bands along either axis, axes
// with ticks (linear or logarithmic, with a second y axis on the right for
// series that ask for it), a legend.
// Non-finite points, and points at or below 0 on a logarithmic axis, break a
// line and are left out. Each series is one <g class="series"
// data-name="..."> element, so the file can be checked and styled by name.
class kly_SvgPlot {
public:
  enum class Style { Line, Dashed, Markers };
  enum class Axis { X, Y };
  enum class Scale { Linear, Log };
  struct Tick {
    double at;
    std::string label;
  };
  struct SeriesOptions {
    Style style = Style::Line;
    bool inLegend = true;
    int color = -1;          // index into the palette; -1: the next colour
    bool rightAxis = false;  // drawn against the y axis on the right (setRightAxis)
    double lineWidth = 1.5;  // of lines [px]
  };

  kly_SvgPlot(std::string title, std::string xLabel, std::string yLabel);

  void addSeries(std::string name, std::vector<double> x, std::vector<double> y, SeriesOptions options);
  void addSeries(std::string name, std::vector<double> x, std::vector<double> y) {
    addSeries(std::move(name), std::move(x), std::move(y), SeriesOptions{});
  }
  // Bars of the given width centred on x, rising from 0 to their height.
  void addBars(std::string name, std::vector<double> x, std::vector<double> heights, double width);
  // A bar lying along x from `from` to `to`, centred on y with the given
  // height (in y units); one rectangle, its own series.
  void addHorizontalBar(std::string name, double y, double from, double to, double height, int color = -1);
  // A vertical dashed line at x, labelled at the top of the plot.
  void addMarker(double x, std::string label);
  // A shaded band from `from` to `to` along the given axis, labelled inside
  // the plot unless the label is empty.
  void addBand(Axis axis, double from, double to, std::string label);
  // Replace the automatic ticks of an axis.
  void setXTicks(std::vector<Tick> ticks);
  void setYTicks(std::vector<Tick> ticks);
  // Fix the range of an axis instead of fitting the data.
  void setXRange(double lo, double hi);
  void setYRange(double lo, double hi);
  // Linear (the default) or logarithmic axes; ticks of a logarithmic one
  // are at whole decades (and 2 and 5 times them over a few decades).
  void setXScale(Scale scale) { xScale_ = scale; }
  void setYScale(Scale scale) { yScale_ = scale; }
  // The y axis on the right, for the series with rightAxis set.
  void setRightAxis(std::string label, Scale scale = Scale::Linear);
  // A smaller second line under the title.
  void setSubtitle(std::string subtitle) { subtitle_ = std::move(subtitle); }
  // A line of text under the legend; each note adds kLegendRow to the height.
  void addNote(std::string note) { notes_.push_back(std::move(note)); }

  std::string render() const;

  static constexpr int kWidth = 800;
  static constexpr int kHeight = 480;  // with a legend of one row; each further row adds kLegendRow
  static constexpr int kLegendRow = 18;

private:
  struct Series {
    std::string name;
    std::vector<double> x, y;
    SeriesOptions options;
    int color;
    bool bars = false;
    double barWidth = 0;
    bool horizontal = false;  // a bar along x: x holds its two ends, y its centre twice
    double barHeight = 0;
  };
  struct Marker {
    double x;
    std::string label;
  };
  struct Band {
    Axis axis;
    double from, to;
    std::string label;
  };
  struct Frame;

  // Steps of render.
  Frame frame() const;
  void renderHeader(std::string& out, const Frame& f) const;
  void renderBands(std::string& out, const Frame& f) const;
  void renderAxes(std::string& out, const Frame& f) const;
  void renderSeries(std::string& out, const Frame& f) const;
  void renderMarkers(std::string& out, const Frame& f) const;
  bool hasRightAxis() const { return !y2Label_.empty(); }
  std::vector<std::vector<const Series*>> legendRows() const;
  static double legendItemWidth(const Series& s);
  int height() const;
  void renderLegend(std::string& out) const;
  void renderNotes(std::string& out) const;

  std::string title_, subtitle_, xLabel_, yLabel_;
  std::vector<std::string> notes_;
  std::vector<Series> series_;
  std::vector<Marker> markers_;
  std::vector<Band> bands_;
  std::vector<Tick> xTicks_, yTicks_;
  std::optional<std::pair<double, double>> xRange_, yRange_;
  Scale xScale_ = Scale::Linear, yScale_ = Scale::Linear, y2Scale_ = Scale::Linear;
  std::string y2Label_;
  int nextColor_ = 0;
};
