#include "tools/kly_SvgPlot.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kly_SvgCheck.h"
#include "tools/kly_SvgHeatMap.h"

namespace {

TEST(SvgPlotTest, AWellFormedDocumentWithEverySeries) {
  kly_SvgPlot plot("Bunching <test> & more", "z [m]", "I1/I0");
  plot.setSubtitle("tube \"A\"");
  plot.addSeries("analytic", {0, 0.1, 0.2, 0.3}, {0, 0.2, 0.5, 0.4});
  plot.addSeries("simulated & co", {0, 0.15, 0.3}, {0, 0.3, 0.6}, {kly_SvgPlot::Style::Dashed, true, -1});
  plot.addSeries("points", {0.05, 0.25}, {0.1, 0.2}, {kly_SvgPlot::Style::Markers, false, 3});
  plot.addBars("bars", {0.1, 0.2}, {0.3, 0.1}, 0.05);
  plot.addMarker(0.12, "1");
  plot.addBand(kly_SvgPlot::Axis::Y, 0.4, 0.45, "gap <1>");
  const kly_SvgCheck svg = kly_SvgCheck::parse(plot.render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  EXPECT_EQ(svg.rootName, "svg");
  ASSERT_EQ(svg.series.size(), 4u);
  EXPECT_EQ(svg.series.at("analytic").points.size(), 4u);
  EXPECT_EQ(svg.series.at("analytic").polylines, 1);
  EXPECT_EQ(svg.series.at("simulated & co").points.size(), 3u);
  EXPECT_EQ(svg.series.at("points").circles, 2);
  EXPECT_EQ(svg.series.at("bars").rects, 2);
  EXPECT_EQ(svg.bands, std::vector<std::string>{"gap <1>"});
  EXPECT_TRUE(svg.hasText("Bunching <test> & more"));
  EXPECT_TRUE(svg.hasText("tube \"A\""));
  EXPECT_TRUE(svg.hasText("z [m]"));
  EXPECT_TRUE(svg.hasText("1"));
  EXPECT_TRUE(svg.hasText("simulated & co"));  // in the legend
  EXPECT_FALSE(svg.hasText("points"));         // left out of the legend
}

TEST(SvgPlotTest, PointsLieInsideThePictureWithTheAxesTheRightWayRound) {
  kly_SvgPlot plot("t", "x", "y");
  plot.addSeries("rising", {-3, -1, 2, 7}, {10, 20, 40, 80});
  const kly_SvgCheck svg = kly_SvgCheck::parse(plot.render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  const auto& p = svg.series.at("rising").points;
  ASSERT_EQ(p.size(), 4u);
  for (std::size_t i = 0; i < p.size(); ++i) {
    EXPECT_GE(p[i].first, 0);
    EXPECT_LE(p[i].first, kly_SvgPlot::kWidth);
    EXPECT_GE(p[i].second, 0);
    EXPECT_LE(p[i].second, kly_SvgPlot::kHeight);
    if (i > 0) {
      EXPECT_GT(p[i].first, p[i - 1].first);    // x grows to the right
      EXPECT_LT(p[i].second, p[i - 1].second);  // y grows upwards
    }
  }
  // Equal steps in x are equal steps in pixels.
  kly_SvgPlot even("t", "x", "y");
  even.addSeries("s", {0, 1, 2}, {0, 1, 2});
  const auto q = kly_SvgCheck::parse(even.render()).series.at("s").points;
  EXPECT_NEAR(q[1].first - q[0].first, q[2].first - q[1].first, 0.011);
  EXPECT_NEAR(q[1].second - q[0].second, q[2].second - q[1].second, 0.011);
}

TEST(SvgPlotTest, NonFiniteValuesBreakTheLineAndAreLeftOut) {
  kly_SvgPlot plot("t", "x", "y");
  plot.addSeries("gappy", {0, 1, 2, 3, 4, 5}, {1, 2, NAN, 4, INFINITY, 6});
  plot.addBars("bars", {0, 1}, {NAN, 2}, 0.5);
  const std::string text = plot.render();
  const kly_SvgCheck svg = kly_SvgCheck::parse(text);
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  EXPECT_EQ(svg.series.at("gappy").polylines, 3);
  EXPECT_EQ(svg.series.at("gappy").points.size(), 4u);
  EXPECT_EQ(svg.series.at("bars").rects, 1);
  EXPECT_EQ(text.find("nan"), std::string::npos);
  EXPECT_EQ(text.find("inf"), std::string::npos);
}

TEST(SvgPlotTest, EmptyAndConstantDataStillDraw) {
  kly_SvgPlot empty("nothing", "x", "y");
  empty.addSeries("none", {}, {});
  const std::string e = empty.render();
  EXPECT_TRUE(kly_SvgCheck::parse(e).wellFormed);
  EXPECT_EQ(e.find("nan"), std::string::npos);

  kly_SvgPlot flat("flat", "x", "y");
  flat.addSeries("one value", {2, 2}, {5, 5});
  flat.addBars("one bar", {2}, {5}, 0.1);
  const std::string f = flat.render();
  const kly_SvgCheck svg = kly_SvgCheck::parse(f);
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  EXPECT_EQ(svg.series.at("one value").points.size(), 2u);
  EXPECT_EQ(f.find("nan"), std::string::npos);
  EXPECT_EQ(f.find("inf"), std::string::npos);

  // Values that differ in their last bits only (a result a sweep leaves
  // unchanged but for rounding) once made ticks that never advanced.
  kly_SvgPlot rounding("rounding", "x", "gain [dB]");
  rounding.addSeries("gain", {1, 2, 3}, {40.844, std::nextafter(40.844, 50), 40.844});
  const kly_SvgCheck r = kly_SvgCheck::parse(rounding.render());
  ASSERT_TRUE(r.wellFormed) << r.error;
  EXPECT_TRUE(r.hasText("40"));
}

TEST(SvgPlotTest, LogAxesPlaceDecadesEvenlyAndLeaveOutWhatTheyCannotPlace) {
  kly_SvgPlot plot("transfer", "drive [W]", "output [W]");
  plot.setXScale(kly_SvgPlot::Scale::Log);
  plot.setYScale(kly_SvgPlot::Scale::Log);
  plot.addSeries("power", {0, 1, 10, 100, 1000}, {5, 1e4, 1e5, 1e6, -1});
  const kly_SvgCheck svg = kly_SvgCheck::parse(plot.render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  const auto& p = svg.series.at("power").points;
  ASSERT_EQ(p.size(), 3u);  // 0 W of drive and a negative output have no place on a log axis
  EXPECT_NEAR(p[1].first - p[0].first, p[2].first - p[1].first, 0.011);    // a decade is a decade
  EXPECT_NEAR(p[0].second - p[1].second, p[1].second - p[2].second, 0.011);
  EXPECT_TRUE(svg.hasText("1e6"));
  EXPECT_TRUE(svg.hasText("100"));
  EXPECT_TRUE(svg.hasText("20"));  // 2 and 5 times the decades over a few of them
}

TEST(SvgPlotTest, SeriesOnTheRightAxisHaveARangeOfTheirOwn) {
  kly_SvgPlot plot("gain and efficiency", "drive [W]", "gain [dB]");
  plot.setRightAxis("efficiency [%]");
  plot.addSeries("gain", {0, 1}, {40, 30});
  plot.addSeries("efficiency", {0, 1}, {0.5, 0.05}, {kly_SvgPlot::Style::Line, true, -1, true});
  const kly_SvgCheck svg = kly_SvgCheck::parse(plot.render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  // Both fill the height of the plot on their own scales, though 0.5 is far below 30.
  const auto& g = svg.series.at("gain").points;
  const auto& e = svg.series.at("efficiency").points;
  EXPECT_NEAR(g[0].second, e[0].second, 40);
  EXPECT_NEAR(g[1].second, e[1].second, 40);
  EXPECT_TRUE(svg.hasText("efficiency [%]"));
  EXPECT_TRUE(svg.hasText("0.5"));
  EXPECT_LT(e[1].first, kly_SvgPlot::kWidth - 60);  // the right axis takes room from the plot
}

TEST(SvgHeatMapTest, OneCellPerPairTheMissingOnesCrossedAndTheBestMarked) {
  kly_SvgHeatMap map("efficiency", "beam.voltage [V]", "cavities[1].frequency [Hz]", "efficiency [%]");
  map.setGrid({100e3, 110e3, 120e3}, {2.86e9, 2.87e9}, {{10, 20, 30}, {15, NAN, 35}});
  map.mark(2, 1, "best: 35");
  const std::string text = map.render();
  const kly_SvgCheck svg = kly_SvgCheck::parse(text);
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  std::size_t cells = 0;
  for (std::size_t at = text.find("class=\"cell\""); at != std::string::npos; at = text.find("class=\"cell\"", at + 1))
    ++cells;
  EXPECT_EQ(cells, 6u);
  EXPECT_NE(text.find("data-x=\"110000\" data-y=\"2870000000\" data-value=\"none\""), std::string::npos);
  EXPECT_NE(text.find("<g class=\"mark\" data-x=\"120000\" data-y=\"2870000000\">"), std::string::npos);
  EXPECT_TRUE(svg.hasText("best: 35"));
  EXPECT_TRUE(svg.hasText("35"));  // the top of the colour scale
  EXPECT_TRUE(svg.hasText("10"));  // its bottom
  EXPECT_TRUE(svg.hasText("2.86e+09"));
  EXPECT_EQ(text.find("nan"), std::string::npos);
}

TEST(SvgPlotTest, CategoryTicksAndAFixedRange) {
  kly_SvgPlot plot("t", "cavity", "kV");
  plot.addBars("analytic", {0, 1, 2}, {1, 5, 3}, 0.4);
  plot.setXTicks({{0, "input"}, {1, "middle"}, {2, "output"}});
  plot.setYRange(0, 10);
  plot.addSeries("too high", {0, 2}, {20, 20});  // outside the fixed range: clipped, not rescaled
  const kly_SvgCheck svg = kly_SvgCheck::parse(plot.render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  EXPECT_TRUE(svg.hasText("input"));
  EXPECT_TRUE(svg.hasText("output"));
  EXPECT_TRUE(svg.hasText("10"));
  EXPECT_FALSE(svg.hasText("20"));
  EXPECT_LT(svg.series.at("too high").points[0].second, 56);  // above the plot area
}

TEST(SvgPlotTest, HorizontalBarsLieBetweenTheirEndsWithTheirOwnColours) {
  kly_SvgPlot plot("t", "share [%]", "");
  plot.setXRange(0, 100);
  plot.setYRange(-1, 1);
  plot.addHorizontalBar("first", 0, 0, 25, 0.5, 3);
  plot.addHorizontalBar("second", 0, 25, 100, 0.5, 3);  // the same colour, asked for
  const std::string text = plot.render();
  const kly_SvgCheck svg = kly_SvgCheck::parse(text);
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  const auto& a = svg.series.at("first").boxes;
  const auto& b = svg.series.at("second").boxes;
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  // 0 to 100 % spans the plot area, a quarter of it for the first bar; the
  // second starts where the first ends; both half a unit high about y = 0.
  const double left = 80, width = kly_SvgPlot::kWidth - 80 - 24;
  EXPECT_NEAR(a[0].x, left, 0.01);
  EXPECT_NEAR(a[0].width, width / 4, 0.02);
  EXPECT_NEAR(b[0].x, a[0].x + a[0].width, 0.02);
  EXPECT_NEAR(b[0].x + b[0].width, left + width, 0.02);
  EXPECT_NEAR(a[0].height, (kly_SvgPlot::kHeight - 56 - 78) / 4.0, 0.02);
  EXPECT_EQ(a[0].y, b[0].y);
  // Both bars and both legend swatches in palette colour 3, none in the first colour.
  std::size_t fills = 0;
  for (std::size_t at = text.find("fill=\"#ff7f0e\""); at != std::string::npos;
       at = text.find("fill=\"#ff7f0e\"", at + 1)) {
    ++fills;
  }
  EXPECT_EQ(fills, 4u);
  EXPECT_EQ(text.find("#1f77b4"), std::string::npos);
  EXPECT_TRUE(svg.hasText("first"));  // in the legend
}

TEST(SvgPlotTest, FixedRangesTicksNotesAndWidths) {
  kly_SvgPlot plot("t", "z", "phase");
  plot.setXRange(0.2, 0.6);
  plot.setYRange(-180, 180);
  plot.setYTicks({{-180, "-180"}, {0, "zero"}, {180, "180"}});
  plot.addSeries("line", {0.0, 0.4, 0.8}, {0, 90, 0}, {kly_SvgPlot::Style::Line, false, 0, false, 1.0});
  plot.addMarker(0.1, "upstream");  // outside the fixed range: not drawn
  plot.addMarker(0.5, "inside");
  plot.addBand(kly_SvgPlot::Axis::X, 0.29, 0.31, "");  // shaded, no label
  plot.addNote("first note");
  plot.addNote("second note <2>");
  const kly_SvgCheck svg = kly_SvgCheck::parse(plot.render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  // The x range is as fixed: 0.4 in the middle of the plot area, 0 and 0.8 outside it (clipped).
  const auto& p = svg.series.at("line").points;
  ASSERT_EQ(p.size(), 3u);
  EXPECT_NEAR(p[1].first, 80 + (kly_SvgPlot::kWidth - 80 - 24) / 2.0, 0.01);
  EXPECT_LT(p[0].first, 80);
  EXPECT_GT(p[2].first, kly_SvgPlot::kWidth - 24);
  EXPECT_EQ(svg.series.at("line").strokeWidth, 1.0);
  EXPECT_TRUE(svg.hasText("zero"));
  EXPECT_FALSE(svg.hasText("90"));  // only the ticks given
  EXPECT_TRUE(svg.hasText("inside"));
  EXPECT_FALSE(svg.hasText("upstream"));
  EXPECT_EQ(svg.bands.size(), 1u);
  EXPECT_TRUE(svg.hasText("first note"));
  EXPECT_TRUE(svg.hasText("second note <2>"));
  // Each note adds a row to the picture (this plot has no legend).
  EXPECT_EQ(svg.height, kly_SvgPlot::kHeight + 2 * kly_SvgPlot::kLegendRow);
}

}  // namespace
