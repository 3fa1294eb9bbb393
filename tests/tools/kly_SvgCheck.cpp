#include "kly_SvgCheck.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include <expat.h>
#include <fmt/format.h>

namespace {

struct State {
  kly_SvgCheck* out = nullptr;
  int depth = 0;
  int seriesDepth = -1;  // depth of the open series group, -1 outside
  std::string seriesName;
  bool inText = false;
  std::string text;
};

const char* attribute(const XML_Char** attrs, const char* name) {
  for (int i = 0; attrs[i]; i += 2) {
    if (std::strcmp(attrs[i], name) == 0) return attrs[i + 1];
  }
  return nullptr;
}

// An attribute's number; NaN when it is missing or not a number.
double number(const char* text) {
  if (!text) return std::nan("");
  std::istringstream in(text);
  double v = 0;
  return in >> v ? v : std::nan("");
}

void XMLCALL start(void* data, const XML_Char* name, const XML_Char** attrs) {
  State& s = *static_cast<State*>(data);
  if (s.depth == 0) {
    s.out->rootName = name;
    if (const char* h = attribute(attrs, "height")) s.out->height = number(h);
  }
  ++s.depth;
  const char* cls = attribute(attrs, "class");
  if (std::strcmp(name, "g") == 0 && cls && std::strcmp(cls, "series") == 0) {
    s.seriesDepth = s.depth;
    s.seriesName = attribute(attrs, "data-name") ? attribute(attrs, "data-name") : "";
    s.out->series[s.seriesName];
  } else if (std::strcmp(name, "rect") == 0 && cls && std::strcmp(cls, "band") == 0) {
    s.out->bands.push_back(attribute(attrs, "data-label") ? attribute(attrs, "data-label") : "");
  } else if (std::strcmp(name, "text") == 0) {
    s.inText = true;
    s.text.clear();
  } else if (s.seriesDepth > 0) {
    kly_SvgSeries& series = s.out->series[s.seriesName];
    if (std::strcmp(name, "polyline") == 0) {
      ++series.polylines;
      std::istringstream in(attribute(attrs, "points") ? attribute(attrs, "points") : "");
      double x = 0, y = 0;
      char comma = 0;
      while (in >> x >> comma >> y) series.points.emplace_back(x, y);
      series.strokeWidth = number(attribute(attrs, "stroke-width"));
    } else if (std::strcmp(name, "rect") == 0) {
      ++series.rects;
      series.boxes.push_back({number(attribute(attrs, "x")), number(attribute(attrs, "y")),
                              number(attribute(attrs, "width")), number(attribute(attrs, "height"))});
    } else if (std::strcmp(name, "circle") == 0) {
      ++series.circles;
      series.centres.emplace_back(number(attribute(attrs, "cx")), number(attribute(attrs, "cy")));
    }
  }
}

void XMLCALL end(void* data, const XML_Char* name) {
  State& s = *static_cast<State*>(data);
  if (std::strcmp(name, "text") == 0) {
    s.out->texts.push_back(s.text);
    s.inText = false;
  }
  if (s.depth == s.seriesDepth) s.seriesDepth = -1;
  --s.depth;
}

void XMLCALL characters(void* data, const XML_Char* text, int length) {
  State& s = *static_cast<State*>(data);
  if (s.inText) s.text.append(text, static_cast<std::size_t>(length));
}

}  // namespace

kly_SvgCheck kly_SvgCheck::parse(const std::string& svg) {
  kly_SvgCheck out;
  State state;
  state.out = &out;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(parser, start, end);
  XML_SetCharacterDataHandler(parser, characters);
  if (XML_Parse(parser, svg.data(), static_cast<int>(svg.size()), XML_TRUE) == XML_STATUS_OK) {
    out.wellFormed = true;
  } else {
    out.error = fmt::format("line {}: {}", XML_GetCurrentLineNumber(parser), XML_ErrorString(XML_GetErrorCode(parser)));
  }
  XML_ParserFree(parser);
  return out;
}

bool kly_SvgCheck::hasText(const std::string& text) const {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}
