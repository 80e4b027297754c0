// Tick steps, range widening, layout bands, scale, fonts and the small-area refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "plot/recording_surface.h"
#include "plot/xy_plot.h"
#include "plot_test_support.h"

namespace {

struct Ticks {
  int band = 0;
  double min = 0, max = 0, first = 0, last = 0, step = 0;
  std::vector<std::string> labels;
};

Ticks ComputeFor(char axis, double min, double max) {
  RecordingSurface surface;
  CXYPlot plot;
  plot.Init(&surface, SurfaceRect{0, 0, 400, 300});
  Ticks ticks;
  ticks.min = min;
  ticks.max = max;
  ticks.band = plot.ComputeTicks(axis, 3, ticks.min, ticks.max, ticks.first, ticks.last, ticks.step);
  for (const SurfaceCall& call : surface.CallsOf(SurfaceOp::GetTextExtent)) ticks.labels.push_back(call.text);
  return ticks;
}

std::vector<std::string> Texts(const RecordingSurface& surface) {
  std::vector<std::string> texts;
  for (const SurfaceCall& call : surface.CallsOf(SurfaceOp::DrawTextAt)) texts.push_back(call.text);
  return texts;
}

TEST(PlotTicks, RoundStepsAndWidening) {
  const Ticks exact = ComputeFor('x', 0, 10);
  EXPECT_EQ(exact.step, 2);
  EXPECT_EQ(exact.first, 0);
  EXPECT_EQ(exact.last, 10);
  EXPECT_EQ(exact.min, 0);
  EXPECT_EQ(exact.max, 10);
  EXPECT_EQ(exact.labels, (std::vector<std::string>{"0", "2", "4", "6", "8", "10"}));
  // Default font of the recording surface: 16 high, 8 per character.
  EXPECT_EQ(exact.band, 16 + 6) << "x band: tallest label + 6";
  EXPECT_EQ(ComputeFor('y', 0, 10).band, 16 + 6) << "y band: widest label (\"10\") + 6";
  EXPECT_EQ(ComputeFor('y', 0, 100000).band, 6 * 8 + 6);

  const Ticks inner = ComputeFor('y', 0.3, 9.7);
  EXPECT_EQ(inner.step, 2);
  EXPECT_EQ(inner.first, 0);
  EXPECT_EQ(inner.last, 10);
  EXPECT_EQ(inner.min, 0) << "widened to the first tick";
  EXPECT_EQ(inner.max, 10);

  const Ticks fives = ComputeFor('y', 0, 100);  // 100 / 10 = 10 > 6: step 2 x 10
  EXPECT_EQ(fives.step, 20);
  const Ticks large = ComputeFor('y', 0, 1000);  // 1000 / 100 = 10 > 6: 200
  EXPECT_EQ(large.step, 200);
  const Ticks many = ComputeFor('y', 0, 16);  // 16 / 1 = 16 > 15: step 5
  EXPECT_EQ(many.step, 5);
  EXPECT_EQ(many.last, 15) << "a last tick below max (within step / 1.9) leaves max as it is";
  EXPECT_EQ(many.max, 16);
}

TEST(PlotTicks, ResidueNearZeroIsLabelledZero) {
  const Ticks ticks = ComputeFor('y', -0.3, 0.3);
  ASSERT_DOUBLE_EQ(ticks.step, 0.1);
  double t = ticks.first;
  int zeroIndex = 0;
  while (std::fabs(t) > ticks.step / 4) {
    t += ticks.step;
    ++zeroIndex;
  }
  ASSERT_NE(t, 0.0) << "the accumulated tick must carry a residue for this test to mean anything";
  EXPECT_EQ(ticks.labels.at(zeroIndex), "0");
  for (const std::string& label : ticks.labels) EXPECT_EQ(label.find('e'), std::string::npos) << label;
}

TEST(PlotTicks, UnusableRangesAreRefusedQuickly) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(ComputeFor('x', 10, 0).band, 0) << "max below min";
  EXPECT_EQ(ComputeFor('x', 5, 5).band, 0) << "empty";
  EXPECT_EQ(ComputeFor('x', 0, inf).band, 0);
  EXPECT_EQ(ComputeFor('x', -inf, 0).band, 0);
  EXPECT_EQ(ComputeFor('x', nan, 1).band, 0);
  EXPECT_EQ(ComputeFor('x', -1e308, 1e308).band, 0) << "range overflows";
  // One unit in the last place at 1e20 is 16384: a tick step no longer moves a tick.
  const Ticks narrow = ComputeFor('y', 1e20, std::nextafter(1e20, 2e20));
  EXPECT_EQ(narrow.band, 0);
  EXPECT_TRUE(narrow.labels.empty());
  // Narrow but still resolvable: drawn, with a bounded number of labels.
  const Ticks fine = ComputeFor('y', 1e15, 1e15 + 3);
  EXPECT_GT(fine.band, 0);
  EXPECT_LE(fine.labels.size(), static_cast<size_t>(CXYPlot::kMaxTicks));
}

class PlotFrame : public ::testing::Test {
 protected:
  int DrawOn(SurfaceRect bounds, double xLow, double xHigh, double yLow, double yHigh) {
    surface.ClearLog();
    plot.Init(&surface, bounds);
    xs[0] = xLow;
    xs[1] = xHigh;
    ys[0] = yLow;
    ys[1] = yHigh;
    plot.AddSeries(2, xs, ys, 2, 1, 1, 1, 1);
    plot.SetAxisTitles(xTitle, yTitle);
    return plot.Draw();
  }
  std::string xTitle;
  std::string yTitle;
  double xs[2] = {};
  double ys[2] = {};
  RecordingSurface surface;
  CXYPlot plot;
};

TEST_F(PlotFrame, LayoutBandsWithoutTitles) {
  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 0, 10, 0, 10), 1);
  // Label font 12 high, 6 per character: y band "10" 12 + 6, x band 12.
  EXPECT_EQ(plot.frame.left, 18);
  EXPECT_EQ(plot.frame.top, 0);
  EXPECT_EQ(plot.frame.right, 400);
  EXPECT_EQ(plot.frame.bottom, 288);
  // Data area inset by 400/40 and 300/40.
  EXPECT_EQ(plot.xOffset, 28);
  EXPECT_EQ(plot.yOffset, 281);
  EXPECT_DOUBLE_EQ(plot.xScale, (390 - 28) / 10.0);
  EXPECT_DOUBLE_EQ(plot.yScale, (281 - 7) / 10.0);
  const std::vector<SurfaceCall> frames = surface.CallsOf(SurfaceOp::Rectangle);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].ToString(), "Rectangle(18,0,401,289)");
  EXPECT_TRUE(surface.CallsOf(SurfaceOp::DrawText).empty()) << "no title, no title text";
  EXPECT_EQ(surface.CallsOf(SurfaceOp::DrawTextAt).size(), 12u) << "six labels per axis, no y title";

  const std::vector<std::string> log = surface.DrawingLog();
  auto find = [&](const std::string& entry) { return std::find(log.begin(), log.end(), entry) != log.end(); };
  // x tick at 10 (px 390) pointing inward from top and bottom, L = max(3, 400/100) = 4.
  EXPECT_TRUE(find("MoveTo(390,0)") && find("LineTo(390,4)") && find("MoveTo(390,288)") && find("LineTo(390,284)"));
  // y tick at 0 (py 281) from left and right edge, label "0" centred in the band, vertically on the tick.
  EXPECT_TRUE(find("MoveTo(18,281)") && find("LineTo(22,281)") && find("MoveTo(400,281)") && find("LineTo(396,281)"));
  EXPECT_TRUE(find("DrawTextAt(6,275,\"0\")"));
  // x label "10" centred under its tick, one sixth of its height below the frame.
  EXPECT_TRUE(find("DrawTextAt(384,290,\"10\")"));
}

TEST_F(PlotFrame, LayoutBandsWithTitles) {
  xTitle = "Time [s]";
  yTitle = "Amplitude";
  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 0, 10, 0, 10), 1);
  EXPECT_EQ(plot.frame.left, 15 + 18);
  EXPECT_EQ(plot.frame.bottom, 300 - 15 - 12);

  const std::vector<SurfaceCall> titles = surface.CallsOf(SurfaceOp::DrawText);
  ASSERT_EQ(titles.size(), 1u);
  EXPECT_EQ(titles[0].ToString(), "DrawText(33,285,400,300,\"Time [s]\",37)");
  EXPECT_EQ(titles[0].font.height, 15);
  EXPECT_EQ(titles[0].font.escapement, 0);

  const SurfaceCall yTitleCall = surface.CallsOf(SurfaceOp::DrawTextAt).back();
  EXPECT_EQ(yTitleCall.text, "Amplitude");
  EXPECT_EQ(yTitleCall.font.escapement, 900);
  EXPECT_EQ(yTitleCall.font.height, 15);
  // Runs upward from (left, (top + bottom of R + width) / 2): 9 characters of 8.
  EXPECT_EQ(yTitleCall.x, 0);
  EXPECT_EQ(yTitleCall.y, (0 + 285 + 72) / 2);
  // Text goes out in the pen colour on a transparent background.
  EXPECT_EQ(yTitleCall.mode, BackgroundMode::Transparent);
  EXPECT_EQ(yTitleCall.colour, plot.penColour);
}

TEST_F(PlotFrame, FontsAndScaleSwitchAtThousandUnits) {
  struct Case {
    int width;
    int labelHeight;
    int titleHeight;
    int squareSize;
    int tickLength;
  };
  xTitle = "x";
  yTitle = "y";
  for (const Case& c : {Case{999, 12, 15, 3, 9}, Case{1000, 48, 60, 9, 10}, Case{250, 12, 15, 3, 3}}) {
    SCOPED_TRACE(c.width);
    ASSERT_EQ(DrawOn(SurfaceRect{0, 0, c.width, 800}, 0, 10, 0, 10), 1);
    const std::vector<SurfaceCall> fonts = surface.CallsOf(SurfaceOp::SelectFont);
    ASSERT_GE(fonts.size(), 6u);
    const FontDescription& label = fonts[0].font;
    EXPECT_EQ(label.height, c.labelHeight);
    EXPECT_EQ(label.escapement, 0);
    EXPECT_EQ(label.weight, 400);
    EXPECT_EQ(label.outPrecision, 3);
    EXPECT_EQ(label.clipPrecision, 2);
    EXPECT_EQ(label.quality, 1);
    EXPECT_EQ(label.pitchAndFamily, 0x20);
    EXPECT_EQ(label.face, "Swiss");
    EXPECT_EQ(fonts[2].font.height, c.titleHeight);
    EXPECT_EQ(fonts[4].font.height, c.titleHeight);
    EXPECT_EQ(fonts[4].font.escapement, 900);
    // Every font selected is put back: the one before the frame is current again.
    EXPECT_EQ(surface.Font().height, 0);
    EXPECT_EQ(plot.frame.left, c.titleHeight + 2 * (c.labelHeight / 2) + 6);

    const std::vector<SurfaceCall> rects = surface.CallsOf(SurfaceOp::Rectangle);
    ASSERT_EQ(rects.size(), 3u) << "frame and two square markers";
    EXPECT_EQ(rects[1].right - rects[1].x, c.squareSize);
    EXPECT_EQ(rects[1].bottom - rects[1].y, c.squareSize);

    const std::vector<SurfaceCall> lines = surface.CallsOf(SurfaceOp::LineTo);
    const std::vector<SurfaceCall> moves = surface.CallsOf(SurfaceOp::MoveTo);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].y - moves[0].y, c.tickLength) << "first x tick from the top edge";
  }
}

TEST_F(PlotFrame, LastLabelIsPulledInsideTheBounds) {
  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 0, 100000, 0, 10), 1);
  EXPECT_EQ(plot.frame.right, 400) << "the frame keeps its width";
  const SurfaceCall last = surface.CallsOf(SurfaceOp::DrawTextAt)[5];
  ASSERT_EQ(last.text, "100000");
  EXPECT_EQ(last.x + 36, 399) << "the last label ends on bounds.right - 1";
  EXPECT_NEAR(plot.xOffset + 100000 * plot.xScale, 399 - 18, 1e-9) << "data area's right edge moved in by 9";

  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 0, 10, 0, 10), 1);
  EXPECT_EQ(plot.XToPixel(10), 390) << "a label that fits moves nothing";
}

TEST_F(PlotFrame, TooSmallDataAreaDrawsNothingAndRestoresTheFont) {
  // Height: data area = h - 12 (x labels) - 2 * (h / 40).
  EXPECT_EQ(DrawOn(SurfaceRect{0, 0, 400, 22}, 0, 10, 0, 10), 1) << "height 10 is enough";
  EXPECT_EQ(DrawOn(SurfaceRect{0, 0, 400, 21}, 0, 10, 0, 10), 0) << "height 9 is not";
  EXPECT_TRUE(surface.CallsOf(SurfaceOp::Rectangle).empty());
  EXPECT_TRUE(surface.CallsOf(SurfaceOp::LineTo).empty());
  EXPECT_TRUE(surface.CallsOf(SurfaceOp::DrawTextAt).empty());
  EXPECT_EQ(surface.CallsOf(SurfaceOp::PaintRect).size(), 1u) << "the background stays painted";
  const std::vector<SurfaceCall> fonts = surface.CallsOf(SurfaceOp::SelectFont);
  ASSERT_EQ(fonts.size(), 2u);
  EXPECT_EQ(fonts[1].font.height, 0) << "the previous font is selected again";
  EXPECT_EQ(surface.Pen().colour, 0u);
  EXPECT_EQ(surface.Brush().colour, 0xFFFFFFu);

  // Width: x labels up to "1" (6 wide) pull the right edge to bounds.right - 4,
  // the y band is 18, and the inset is 0 below 40 units.
  EXPECT_EQ(DrawOn(SurfaceRect{0, 0, 32, 300}, 0, 1, 0, 10), 1) << "width 10";
  EXPECT_EQ(DrawOn(SurfaceRect{0, 0, 31, 300}, 0, 1, 0, 10), 0) << "width 9";
  EXPECT_TRUE(surface.CallsOf(SurfaceOp::Rectangle).empty());
}

TEST_F(PlotFrame, ConstantSeriesSitMidPlotOnAnAxisAroundTheirValue) {
  // v +- |v|/2: 5 spans 2.5..7.5; the ticks stay inside, so the range is kept.
  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 0, 10, 5, 5), 1);
  EXPECT_EQ(plot.yMin, 2.5);
  EXPECT_EQ(plot.yMax, 7.5);
  const std::vector<std::string> texts = Texts(surface);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 6, texts.end()),
            (std::vector<std::string>{"3", "4", "5", "6", "7"}));
  // Both points at mid-height of the data area.
  EXPECT_NEAR(plot.yOffset - (5 - plot.yMin) * plot.yScale, (281 + 7) / 2.0, 1e-9);

  // A current held at a 1e-7 A limit reads as 1e-7, not as 0 on a -1..1 axis.
  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 0, 10, 1e-7, 1e-7), 1);
  EXPECT_DOUBLE_EQ(plot.yMin, 5e-8);
  EXPECT_DOUBLE_EQ(plot.yMax, 1.5e-7);
  const std::vector<std::string> small = Texts(surface);
  EXPECT_EQ(std::vector<std::string>(small.begin() + 6, small.end()),
            (std::vector<std::string>{"6e-08", "8e-08", "1e-07", "1.2e-07", "1.4e-07"}));
  EXPECT_NEAR(plot.yOffset - (1e-7 - plot.yMin) * plot.yScale, (281 + 7) / 2.0, 1e-6);

  // Below zero the same; and the x axis follows the same rule.
  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 4, 4, -2, -2), 1);
  EXPECT_EQ(plot.yMin, -3);
  EXPECT_EQ(plot.yMax, -1);
  EXPECT_EQ(plot.xMin, 2);
  EXPECT_EQ(plot.xMax, 6);

  // Zeros have no size to go by: -1..1.
  ASSERT_EQ(DrawOn(SurfaceRect{0, 0, 400, 300}, 0, 10, 0, 0), 1);
  EXPECT_EQ(plot.yMin, -1);
  EXPECT_EQ(plot.yMax, 1);
  const std::vector<std::string> zeros = Texts(surface);
  EXPECT_EQ(std::vector<std::string>(zeros.begin() + 6, zeros.end()),
            (std::vector<std::string>{"-1", "-0.5", "0", "0.5", "1"}));
}

TEST_F(PlotFrame, FixedRangesThatGiveNoTicksPaintOnlyTheBackground) {
  const double inf = std::numeric_limits<double>::infinity();
  const double cases[][4] = {
      {10, 0, 0, 10}, {0, 10, 0, inf}, {std::nan(""), 1, 0, 1}, {0, 1, 1e20, std::nextafter(1e20, 2e20)}};
  for (const auto& ranges : cases) {
    surface.ClearLog();
    plot.Init(&surface, SurfaceRect{0, 0, 400, 300});
    plot.AddSeries(2, xs, ys, 10, 1, 1, 1, 1);
    plot.SetFixedRanges(ranges[0], ranges[1], ranges[2], ranges[3]);
    EXPECT_EQ(plot.Draw(), 0);
    EXPECT_EQ(surface.CallsOf(SurfaceOp::PaintRect).size(), 1u);
    EXPECT_TRUE(surface.CallsOf(SurfaceOp::Rectangle).empty());
    EXPECT_EQ(surface.Font().height, 0);
    EXPECT_LT(surface.Calls().size(), 30u);
  }
}

}  // namespace
