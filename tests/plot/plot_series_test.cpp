// Series drawing: styles, markers, the draw sequence and clipping to fixed ranges.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "plot/markers.h"
#include "plot/recording_surface.h"
#include "plot/xy_plot.h"
#include "plot_test_support.h"

namespace {

class PlotSeriesDrawing : public ::testing::Test {
 protected:
  // Draws one series of the given points into (0,0)-(400,300).
  int DrawPoints(std::vector<double> xs, std::vector<double> ys, int style, bool fixed = false) {
    x = std::move(xs);
    y = std::move(ys);
    surface.ClearLog();
    plot.Init(&surface, SurfaceRect{0, 0, 400, 300});
    plot.AddSeries(static_cast<int>(x.size()), x.data(), y.data(), style, 1, 1, 1, 1);
    if (fixed) plot.SetFixedRanges(0, 10, 0, 10);
    return plot.Draw();
  }
  std::string MoveAt(double vx, double vy) const { return Move(plot.XToPixel(vx), plot.YToPixel(vy)); }
  std::string LineAt(double vx, double vy) const { return Line(plot.XToPixel(vx), plot.YToPixel(vy)); }
  std::string SquareAt(double vx, double vy) const { return Square(plot.XToPixel(vx), plot.YToPixel(vy), 1); }
  std::string PixelAt(double vx, double vy) const {
    return "SetPixel(" + std::to_string(plot.XToPixel(vx)) + "," + std::to_string(plot.YToPixel(vy)) + ",#000000)";
  }

  std::vector<double> x, y;
  RecordingSurface surface;
  CXYPlot plot;
};

TEST_F(PlotSeriesDrawing, DrawSequenceAndRangesFromData) {
  ASSERT_EQ(DrawPoints({0, 1, 2}, {1, 3, 2}, 10), 1);
  EXPECT_EQ(plot.xMin, 0);
  EXPECT_EQ(plot.xMax, 2);
  EXPECT_EQ(plot.yMin, 1);
  EXPECT_EQ(plot.yMax, 3);
  const std::vector<std::string> log = surface.DrawingLog();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[0], "SetBackgroundColour(#FFFFFF)");
  EXPECT_EQ(log[1], "SetTextColour(#000000)");
  EXPECT_EQ(log[2], "SelectPen(#000000,1)");
  EXPECT_EQ(log[3], "SelectBrush(#FFFFFF)");
  EXPECT_EQ(log[4], "PaintRect(-3,-3,404,305)");
  EXPECT_EQ(log[5], "SetBackgroundMode(Transparent)");
  // Point 0 comes round again (a line of length zero, then its marker); lines
  // come before the marker of their end point.
  EXPECT_EQ(SeriesLog(surface),
            (std::vector<std::string>{MoveAt(0, 1), LineAt(0, 1), SquareAt(0, 1), MoveAt(0, 1), LineAt(1, 3),
                                      SquareAt(1, 3), MoveAt(1, 3), LineAt(2, 2), SquareAt(2, 2), MoveAt(2, 2)}));
  // Previous pen and brush are back.
  EXPECT_EQ(log[log.size() - 2], "SelectBrush(#FFFFFF)");
  EXPECT_EQ(log[log.size() - 1], "SelectPen(#000000,1)");
}

TEST_F(PlotSeriesDrawing, StyleCodesPickMarkersAndLines) {
  const std::vector<double> xs{0, 1, 2};
  const std::vector<double> ys{1, 3, 2};

  DrawPoints(xs, ys, 8);  // pixels joined by lines
  EXPECT_EQ(SeriesLog(surface),
            (std::vector<std::string>{MoveAt(0, 1), LineAt(0, 1), PixelAt(0, 1), MoveAt(0, 1), LineAt(1, 3),
                                      PixelAt(1, 3), MoveAt(1, 3), LineAt(2, 2), PixelAt(2, 2), MoveAt(2, 2)}));

  DrawPoints(xs, ys, 0);  // pixels only, no moves between points
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(0, 1), PixelAt(0, 1), PixelAt(1, 3), PixelAt(2, 2)}));

  DrawPoints(xs, ys, 13);  // 13 & 7 = 5: pixels, with lines
  EXPECT_EQ(surface.CallsOf(SurfaceOp::SetPixel).size(), 3u);
  EXPECT_EQ(SeriesLog(surface)[4], LineAt(1, 3));

  DrawPoints(xs, ys, -1);  // pixels, no lines, but moves
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(0, 1), PixelAt(0, 1), MoveAt(0, 1), PixelAt(1, 3),
                                                          MoveAt(1, 3), PixelAt(2, 2), MoveAt(2, 2)}));

  DrawPoints(xs, ys, 0);
  const size_t frameLines = surface.CallsOf(SurfaceOp::LineTo).size();
  DrawPoints(xs, ys, 1);
  EXPECT_EQ(surface.CallsOf(SurfaceOp::Ellipse).size(), 3u);
  DrawPoints(xs, ys, 11);  // diamonds: 4 sides each; lines: 2 joining + 1 of length zero
  EXPECT_EQ(surface.CallsOf(SurfaceOp::LineTo).size(), frameLines + 4 * 3 + 3);
  DrawPoints(xs, ys, 4);  // crosses: 2 strokes each, no lines
  EXPECT_EQ(surface.CallsOf(SurfaceOp::LineTo).size(), frameLines + 2 * 3);
}

TEST_F(PlotSeriesDrawing, PixelMarkerIsBlackWhateverThePen) {
  x = {0, 1};
  y = {0, 1};
  plot.Init(&surface, SurfaceRect{0, 0, 400, 300});
  plot.AddSeries(2, x.data(), y.data(), 8, 1, 1, 1, 1);
  plot.penColour = MakeColour(255, 0, 0);
  ASSERT_EQ(plot.Draw(), 1);
  for (const SurfaceCall& pixel : surface.CallsOf(SurfaceOp::SetPixel)) EXPECT_EQ(pixel.colour, 0u);
  for (const SurfaceCall& line : surface.CallsOf(SurfaceOp::LineTo)) EXPECT_EQ(line.pen.colour, MakeColour(255, 0, 0));
  EXPECT_EQ(surface.CallsOf(SurfaceOp::DrawTextAt)[0].colour, MakeColour(255, 0, 0));
}

TEST_F(PlotSeriesDrawing, SeriesCountLimitsAndEmptySeries) {
  plot.Init(&surface, SurfaceRect{0, 0, 400, 300});
  EXPECT_EQ(plot.Draw(), 0);
  EXPECT_TRUE(surface.Calls().empty()) << "no series: not even the background";

  // Ten series of one point each: ten markers.
  const double ys[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (int i = 0; i < 10; ++i) plot.AddSeries(1, nullptr, ys + i, 2, 11, 1, 3, 1);
  ASSERT_EQ(plot.Draw(), 1);
  EXPECT_EQ(surface.CallsOf(SurfaceOp::Rectangle).size(), 11u);

  // Series without points read nothing (null arrays would crash) and draw nothing;
  // the others still find their ranges.
  surface.ClearLog();
  const double xs[] = {0, 1, 2, 3};
  plot.Init(&surface, SurfaceRect{0, 0, 400, 300});
  plot.AddSeries(0, nullptr, nullptr, 10, 1, 1, 1, 1);
  plot.AddSeries(4, nullptr, xs, 10, 11, 1, 3, 1);
  plot.AddSeries(-5, nullptr, nullptr, 10, 1, 1, 1, 1);
  ASSERT_EQ(plot.Draw(), 1);
  EXPECT_EQ(plot.xMax, 9);
  EXPECT_EQ(plot.yMax, 3);
  EXPECT_EQ(surface.CallsOf(SurfaceOp::Rectangle).size(), 5u);

  // Only empty series: the frame over the default range, no series.
  surface.ClearLog();
  plot.Init(&surface, SurfaceRect{0, 0, 400, 300});
  plot.AddSeries(0, nullptr, nullptr, 10, 1, 1, 1, 1);
  ASSERT_EQ(plot.Draw(), 1);
  EXPECT_EQ(plot.xMin, 0);
  EXPECT_EQ(plot.xMax, 1);
  EXPECT_TRUE(SeriesLog(surface).empty());
}

TEST(PlotMarkers, ExtentsAndCurrentPosition) {
  RecordingSurface surface;
  for (int unit : {1, 4}) {
    SCOPED_TRACE(unit);
    surface.ClearLog();
    surface.MoveTo(7, 8);
    MarkPixel(&surface, 50, 60, unit);
    MarkCircle(&surface, 50, 60, unit);
    MarkSquare(&surface, 50, 60, unit);
    EXPECT_EQ(surface.CurrentX(), 7) << "pixel, circle and square keep the current position";
    EXPECT_EQ(surface.CurrentY(), 8);
    const SurfaceCall circle = surface.CallsOf(SurfaceOp::Ellipse)[0];
    EXPECT_EQ(circle.x, 50 - 2 * unit);
    EXPECT_EQ(circle.y, 60 - 2 * unit);
    EXPECT_EQ(circle.right - circle.x, 4 * unit + 1);
    EXPECT_EQ(circle.bottom - circle.y, 4 * unit + 1);
    const SurfaceCall square = surface.CallsOf(SurfaceOp::Rectangle)[0];
    EXPECT_EQ(square.x, 50 - unit);
    EXPECT_EQ(square.right - square.x, 2 * unit + 1);
    EXPECT_EQ(square.bottom - square.y, 2 * unit + 1);

    surface.ClearLog();
    MarkDiamond(&surface, 50, 60, unit);
    const int u2 = 2 * unit;
    EXPECT_EQ(surface.DrawingLog(), (std::vector<std::string>{Move(50 - u2, 60), Line(50, 60 - u2), Line(50 + u2, 60),
                                                              Line(50, 60 + u2), Line(50 - u2, 60), Move(50, 60)}));
    surface.ClearLog();
    MarkCross(&surface, 50, 60, unit);
    EXPECT_EQ(surface.DrawingLog(), (std::vector<std::string>{Move(50 - u2, 60 - u2), Line(51 + u2, 61 + u2),
                                                              Move(50 - u2, 60 + u2), Line(51 + u2, 59 - u2)}));
    EXPECT_EQ(surface.CurrentX(), 51 + u2);
    EXPECT_EQ(surface.CurrentY(), 59 - u2);
  }
  surface.ClearLog();
  MarkSquare(&surface, 2147483647, -2147483647 - 1, 1);  // saturated points do not overflow
  EXPECT_EQ(surface.DrawingLog()[0], "Rectangle(2147483646,-2147483648,2147483647,-2147483646)");
}

// Passes every call on to a RecordingSurface; at the first ellipse (a circle
// marker: the frame has none) it runs `interrupt` once before drawing it, as if
// another thread drew in between.
class InterruptedSurface final : public DrawingSurface {
 public:
  InterruptedSurface(RecordingSurface& target, std::function<void()> interrupt)
      : target_(target), interrupt_(std::move(interrupt)) {}
  void MoveTo(int x, int y) override { target_.MoveTo(x, y); }
  void LineTo(int x, int y) override { target_.LineTo(x, y); }
  void Rectangle(int l, int t, int r, int b) override { target_.Rectangle(l, t, r, b); }
  void Ellipse(int l, int t, int r, int b) override {
    if (interrupt_) std::exchange(interrupt_, nullptr)();
    target_.Ellipse(l, t, r, b);
  }
  void SetPixel(int x, int y, Colour c) override { target_.SetPixel(x, y, c); }
  void DrawTextAt(int x, int y, const std::string& t) override { target_.DrawTextAt(x, y, t); }
  void DrawText(const SurfaceRect& r, const std::string& t, unsigned f) override { target_.DrawText(r, t, f); }
  TextExtent GetTextExtent(const std::string& t) override { return target_.GetTextExtent(t); }
  FontDescription SelectFont(const FontDescription& f) override { return target_.SelectFont(f); }
  PenDescription SelectPen(const PenDescription& p) override { return target_.SelectPen(p); }
  BrushDescription SelectBrush(const BrushDescription& b) override { return target_.SelectBrush(b); }
  void PaintRect(const SurfaceRect& r) override { target_.PaintRect(r); }
  void SetBackgroundMode(BackgroundMode m) override { target_.SetBackgroundMode(m); }
  void SetBackgroundColour(Colour c) override { target_.SetBackgroundColour(c); }
  void SetTextColour(Colour c) override { target_.SetTextColour(c); }

 private:
  RecordingSurface& target_;
  std::function<void()> interrupt_;
};

// Circles joined by lines, into `bounds` (1000 wide or more: markers four times larger).
void DrawCircles(DrawingSurface* surface, const SurfaceRect& bounds) {
  const double xs[] = {0, 1, 2, 3};
  const double ys[] = {1, 3, 2, 4};
  CXYPlot plot;
  plot.Init(surface, bounds);
  plot.AddSeries(4, xs, ys, 9, 1, 1, 1, 1);
  EXPECT_EQ(plot.Draw(), 1);
}

TEST(PlotMarkers, PlotsDrawnAtOnceKeepTheirOwnMarkerSizes) {
  const SurfaceRect small{0, 0, 400, 300};
  const SurfaceRect wide{0, 0, 1600, 1200};
  RecordingSurface smallAlone, wideAlone;
  DrawCircles(&smallAlone, small);
  DrawCircles(&wideAlone, wide);
  ASSERT_EQ(smallAlone.CallsOf(SurfaceOp::Ellipse)[0].right - smallAlone.CallsOf(SurfaceOp::Ellipse)[0].x, 5);
  ASSERT_EQ(wideAlone.CallsOf(SurfaceOp::Ellipse)[0].right - wideAlone.CallsOf(SurfaceOp::Ellipse)[0].x, 17);

  // The wide plot is drawn whole while the small one is at its first marker,
  // then the other way round.
  for (const bool smallFirst : {true, false}) {
    SCOPED_TRACE(smallFirst ? "wide inside small" : "small inside wide");
    RecordingSurface outer, inner;
    const SurfaceRect innerBounds = smallFirst ? wide : small;
    InterruptedSurface interrupted(outer, [&] { DrawCircles(&inner, innerBounds); });
    DrawCircles(&interrupted, smallFirst ? small : wide);
    EXPECT_EQ(outer.DrawingLog(), (smallFirst ? smallAlone : wideAlone).DrawingLog());
    EXPECT_EQ(inner.DrawingLog(), (smallFirst ? wideAlone : smallAlone).DrawingLog());
  }
}

// Fixed ranges 0..10 on both axes, square markers joined by lines.
TEST_F(PlotSeriesDrawing, ClippingToFixedRanges) {
  DrawPoints({-5, 5}, {5, 5}, 10, true);  // entering
  EXPECT_EQ(SeriesLog(surface),
            (std::vector<std::string>{MoveAt(-5, 5), MoveAt(0, 5), LineAt(5, 5), SquareAt(5, 5), MoveAt(5, 5)}));

  DrawPoints({5, 15}, {5, 5}, 10, true);  // leaving: to the exit point, no marker
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(5, 5), MoveAt(5, 5), LineAt(10, 5), MoveAt(10, 5)}));

  DrawPoints({-5, 15}, {5, 5}, 10, true);  // both outside
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(-5, 5), MoveAt(0, 5), LineAt(10, 5), MoveAt(10, 5)}));

  DrawPoints({5, 5}, {5, 15}, 10, true);  // vertical, leaving
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(5, 5), MoveAt(5, 5), LineAt(5, 10), MoveAt(5, 10)}));

  DrawPoints({-5, 15}, {-5, 15}, 10, true);  // diagonal through two edges
  EXPECT_EQ(SeriesLog(surface),
            (std::vector<std::string>{MoveAt(-5, -5), MoveAt(0, 0), LineAt(10, 10), MoveAt(10, 10)}));

  DrawPoints({5, 5}, {5, 5}, 10, true);  // zero length: nothing, not even point 0's marker
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(5, 5), MoveAt(5, 5), MoveAt(5, 5)}));

  DrawPoints({-5, 20}, {20, 30}, 10, true);  // no crossing
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(-5, 20), MoveAt(20, 30)}));

  DrawPoints({-1, 0, 10, 11, 5}, {5, 5, 10, 5, 10.5}, 2, true);  // markers only, bounds included
  EXPECT_EQ(SeriesLog(surface), (std::vector<std::string>{MoveAt(-1, 5), SquareAt(0, 5), MoveAt(0, 5), SquareAt(10, 10),
                                                          MoveAt(10, 10), MoveAt(11, 5), MoveAt(5, 10.5)}));
}

TEST_F(PlotSeriesDrawing, ClipSegmentStateAndCrossingTests) {
  DrawPoints({0, 1}, {0, 1}, 10, true);  // sets up ranges 0..10 and the mapping
  plot.prevX = plot.curX = 5;
  plot.prevY = plot.curY = 5;
  plot.prevInside = 1;
  EXPECT_EQ(plot.ClipSegment(1), 0);
  EXPECT_EQ(plot.crossAtX, nullptr);

  plot.prevX = 5;
  plot.prevY = 5;
  plot.prevInside = 1;
  plot.curX = 5;
  plot.curY = 15;
  EXPECT_EQ(plot.ClipSegment(1), 1);
  EXPECT_EQ(plot.crossAtX, &CXYPlot::NoCrossing);
  EXPECT_EQ(plot.crossAtY, &CXYPlot::CrossAtYVertical);
  EXPECT_EQ(plot.crossY, 10);
  EXPECT_EQ(plot.prevY, 15) << "the previous point moves on";
  EXPECT_EQ(plot.prevInside, 0);

  plot.curX = 25;
  plot.curY = 35;  // sloped, both outside, misses the ranges
  EXPECT_EQ(plot.ClipSegment(1), 0);
  EXPECT_EQ(plot.crossAtX, &CXYPlot::CrossAtXSloped);
  EXPECT_DOUBLE_EQ(plot.slope, 1.0);

  // Crossing tests include their bounds and take either direction.
  plot.prevX = 10;
  plot.prevY = 3;
  plot.curX = 0;
  plot.curY = 3;
  EXPECT_EQ(plot.CrossAtXHorizontal(0), 1);
  EXPECT_EQ(plot.CrossAtXHorizontal(10), 1);
  EXPECT_EQ(plot.CrossAtXHorizontal(10.5), 0);
  plot.prevY = 10.5;
  EXPECT_EQ(plot.CrossAtXHorizontal(5), 0) << "line above the range";
  plot.crossX = -1;
  EXPECT_EQ(plot.NoCrossing(5), 0);
  EXPECT_EQ(plot.crossX, -1) << "NoCrossing stores nothing";
  plot.prevX = 0;
  plot.prevY = 0;
  plot.curX = 20;
  plot.curY = 10;
  plot.slope = 0.5;
  EXPECT_EQ(plot.CrossAtXSloped(10), 1);
  EXPECT_EQ(plot.crossY, 5);
  EXPECT_EQ(plot.CrossAtYSloped(10), 0) << "crossing at x = 20 lies outside the x range";
  EXPECT_EQ(plot.crossX, 20);

  // A difference of 1e-200 counts as none; a bit more does not.
  plot.prevX = 0;
  plot.prevY = 0;
  plot.prevInside = 1;
  plot.curX = 1e-200;
  plot.curY = -1e-200;
  EXPECT_EQ(plot.ClipSegment(1), 0);
  EXPECT_EQ(plot.prevX, 0) << "an ignored segment keeps the previous point";
  plot.curX = 3e-200;
  plot.curY = 0;
  EXPECT_EQ(plot.ClipSegment(1), 1);
  EXPECT_EQ(plot.crossAtX, &CXYPlot::CrossAtXHorizontal);
  EXPECT_EQ(plot.crossAtY, &CXYPlot::NoCrossing);
}

}  // namespace
