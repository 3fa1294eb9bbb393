#pragma once

#include <map>
#include <string>
#include <vector>

// What an SVG file holds, read back with a strict XML parser (expat): the
// series groups the plot writer makes, their polylines, points and shapes.
struct kly_SvgSeries {
  struct Box {
    double x, y, width, height;  // [px]
  };
  int polylines = 0;
  std::vector<std::pair<double, double>> points;  // of every polyline, in order [px]
  double strokeWidth = 0;                         // of the last polyline [px]
  int rects = 0;
  std::vector<Box> boxes;  // of every rect, in order
  int circles = 0;
  std::vector<std::pair<double, double>> centres;  // of every circle, in order [px]
};

struct kly_SvgCheck {
  bool wellFormed = false;
  std::string error;  // parser message with line, when not well formed
  std::string rootName;
  double height = 0;                            // of the picture, from the root's height attribute [px]
  std::map<std::string, kly_SvgSeries> series;  // by data-name
  std::vector<std::string> bands;               // data-label of each band
  std::vector<std::string> texts;               // every text element's content

  static kly_SvgCheck parse(const std::string& svg);
  bool hasText(const std::string& text) const;
};
