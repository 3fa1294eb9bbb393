#pragma once

#include <map>
#include <string>
#include <vector>

// What an SVG file holds, read back with a strict XML parser (expat): the
// series groups the plot writer makes, their polylines, points and shapes.
struct kly_SvgSeries {
  int polylines = 0;
  std::vector<std::pair<double, double>> points;  // of every polyline, in order [px]
  int rects = 0;
  int circles = 0;
};

struct kly_SvgCheck {
  bool wellFormed = false;
  std::string error;  // parser message with line, when not well formed
  std::string rootName;
  std::map<std::string, kly_SvgSeries> series;  // by data-name
  std::vector<std::string> bands;               // data-label of each band
  std::vector<std::string> texts;               // every text element's content

  static kly_SvgCheck parse(const std::string& svg);
  bool hasText(const std::string& text) const;
};
