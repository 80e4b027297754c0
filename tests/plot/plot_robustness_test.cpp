// Randomized plots with NaN, infinities, huge and tiny values, odd bounds and
// fixed ranges: Draw must return, leave the surface as it found it, and keep
// every drawn coordinate near the bounds whenever the data are all finite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "plot/recording_surface.h"
#include "plot/xy_plot.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

double NastyValue(std::mt19937& random) {
  static const double kSpecial[] = {std::nan(""), kInf,     -kInf,        9.91e37,
                                    -9.91e37,     1e308,    -1e308,       std::numeric_limits<double>::denorm_min(),
                                    1e-300,       -1e-300,  0.0,          -0.0,
                                    1e15,         1e15 + 1, 2147483647.0, -2147483648.0};
  std::uniform_int_distribution<int> pick(0, 3);
  if (pick(random) == 0) {
    std::uniform_int_distribution<size_t> special(0, std::size(kSpecial) - 1);
    return kSpecial[special(random)];
  }
  std::uniform_real_distribution<double> value(-1000, 1000);
  return value(random);
}

SurfaceRect RandomBounds(std::mt19937& random) {
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> coordinate(-200, 2500);
  switch (kind(random)) {
    case 0:
      return SurfaceRect{std::numeric_limits<int>::min(), std::numeric_limits<int>::min(),
                         std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};
    case 1: return SurfaceRect{coordinate(random), coordinate(random), coordinate(random), coordinate(random)};
    default: {
      const int left = coordinate(random);
      const int top = coordinate(random);
      std::uniform_int_distribution<int> size(60, 1500);
      return SurfaceRect{left, top, left + size(random), top + size(random)};
    }
  }
}

bool Near(int value, int low, int high) {
  constexpr int kMargin = 12;  // markers reach 2u + 1 past a point at the data area's edge
  return static_cast<std::int64_t>(value) >= static_cast<std::int64_t>(low) - kMargin &&
         static_cast<std::int64_t>(value) <= static_cast<std::int64_t>(high) + kMargin;
}

TEST(PlotRobustness, RandomDataNeverBreaksTheDrawing) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> seriesCount(1, 4);
  std::uniform_int_distribution<int> pointCount(0, 40);
  std::uniform_int_distribution<int> style(-3, 20);
  std::uniform_int_distribution<int> coin(0, 3);
  int drawn = 0;
  int checkedGeometry = 0;
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    RecordingSurface surface;
    CXYPlot plot;
    const SurfaceRect bounds = RandomBounds(random);
    plot.Init(&surface, bounds);
    plot.SetAxisTitles(coin(random) ? "Time [s]" : "", coin(random) ? "Amplitude" : "");
    std::vector<std::vector<double>> data;
    bool allFinite = true;
    const int count = seriesCount(random);
    for (int s = 0; s < count; ++s) {
      data.emplace_back();
      const int points = pointCount(random);
      const bool clean = coin(random) != 0;
      for (int i = 0; i < 2 * points; ++i) {
        std::uniform_real_distribution<double> ordinary(-50, 50);
        const double v = clean ? ordinary(random) : NastyValue(random);
        allFinite = allFinite && std::isfinite(v);
        data.back().push_back(v);
      }
      plot.AddSeries(points, data.back().data(), data.back().data() + 1, style(random), 1, 1, 2, 2);
    }
    const bool fixed = coin(random) == 0;
    if (fixed) plot.SetFixedRanges(NastyValue(random), NastyValue(random), NastyValue(random), NastyValue(random));

    const int result = plot.Draw();
    ASSERT_TRUE(result == 0 || result == 1);
    drawn += result;
    // Bounded work: at most kMaxTicks ticks per axis and a few calls per point.
    EXPECT_LT(surface.Calls().size(), 4000u);
    // Font, pen and brush are those before the drawing.
    EXPECT_EQ(surface.Font().height, 0);
    EXPECT_EQ(surface.Pen().colour, 0u);
    EXPECT_EQ(surface.Brush().colour, 0xFFFFFFu);

    // With finite data found ranges cover every point: all geometry stays near the bounds.
    const bool ordinaryBounds = bounds.right - static_cast<std::int64_t>(bounds.left) < 5000 &&
                                bounds.right > bounds.left && bounds.bottom > bounds.top;
    if (result == 1 && allFinite && !fixed && ordinaryBounds) {
      ++checkedGeometry;
      for (const SurfaceCall& call : surface.Calls()) {
        switch (call.op) {
          case SurfaceOp::MoveTo:
          case SurfaceOp::LineTo:
          case SurfaceOp::SetPixel:
            EXPECT_TRUE(Near(call.x, bounds.left, bounds.right) && Near(call.y, bounds.top, bounds.bottom))
                << call.ToString();
            break;
          case SurfaceOp::Rectangle:
          case SurfaceOp::Ellipse:
            EXPECT_TRUE(Near(call.x, bounds.left, bounds.right) && Near(call.right, bounds.left, bounds.right) &&
                        Near(call.y, bounds.top, bounds.bottom) && Near(call.bottom, bounds.top, bounds.bottom))
                << call.ToString();
            break;
          default: break;
        }
      }
    }
  }
  // The mix must exercise both outcomes and the geometry check.
  EXPECT_GT(drawn, 50);
  EXPECT_LT(drawn, 400);
  EXPECT_GT(checkedGeometry, 20);
}

TEST(PlotRobustness, InstrumentNoValueReadingKeepsThePlot) {
  // 9.91E+37 is the instrument's "no value": the plot still draws, every other
  // point lands on the bottom of the data area, and nothing overflows.
  const double times[] = {0, 1, 2, 3};
  const double currents[] = {1e-6, 2e-6, 9.91e37, 1.5e-6};
  RecordingSurface surface;
  CXYPlot plot;
  plot.Init(&surface, SurfaceRect{0, 65, 800, 600});
  plot.AddSeries(4, times, currents, 10, 1, 1, 1, 1);
  plot.SetAxisTitles("Time [s]", "Amplitude");
  ASSERT_EQ(plot.Draw(), 1);
  EXPECT_EQ(plot.YToPixel(currents[0]), plot.yOffset);
  EXPECT_EQ(surface.CallsOf(SurfaceOp::Rectangle).size(), 5u);

  // A NaN or infinite reading does not take the range with it.
  const double broken[] = {1e-6, std::nan(""), kInf, 3e-6};
  surface.ClearLog();
  plot.Init(&surface, SurfaceRect{0, 65, 800, 600});
  plot.AddSeries(4, times, broken, 10, 1, 1, 1, 1);
  ASSERT_EQ(plot.Draw(), 1);
  EXPECT_LE(plot.yMin, 1e-6);
  EXPECT_GE(plot.yMax, 3e-6);
  EXPECT_LT(plot.yMax, 1e-5);
}

}  // namespace
