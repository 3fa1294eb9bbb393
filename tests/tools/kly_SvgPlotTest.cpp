#include "tools/kly_SvgPlot.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kly_SvgCheck.h"

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

}  // namespace
