// Series table, sample readers and the value-to-device mapping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "plot/recording_surface.h"
#include "plot/xy_plot.h"

namespace {

double Twice(double v) { return 2 * v; }

class PlotModel : public ::testing::Test {
 protected:
  void SetUp() override { plot.Init(&surface, SurfaceRect{10, 20, 410, 320}); }
  double ReadX(int series, int i) const {
    const PlotSeries& s = plot.series[series];
    return s.xTransform(s.xAccessor(s.xData, i * s.xStride));
  }
  double ReadY(int series, int i) const {
    const PlotSeries& s = plot.series[series];
    return s.yTransform(s.yAccessor(s.yData, i * s.yStride));
  }
  RecordingSurface surface;
  CXYPlot plot;
};

TEST_F(PlotModel, InitStoresBoundsUnnormalisedAndResetsDefaults) {
  CXYPlot reversed;
  reversed.Init(&surface, SurfaceRect{300, 200, 100, 50});
  EXPECT_EQ(reversed.bounds.left, 300);
  EXPECT_EQ(reversed.bounds.top, 200);
  EXPECT_EQ(reversed.bounds.right, 100);
  EXPECT_EQ(reversed.bounds.bottom, 50);
  EXPECT_EQ(reversed.dc, &surface);
  EXPECT_EQ(reversed.seriesCount, 0);
  EXPECT_EQ(reversed.xInsetDivisor, 40);
  EXPECT_EQ(reversed.penColour, 0u);
  EXPECT_EQ(reversed.backgroundColour, 0xFFFFFFu);

  plot.SetAxisTitles("Time [s]", "Amplitude");
  plot.xMin = -4;
  plot.scale = 4;
  plot.fixedRange = 1;
  plot.Reset();
  EXPECT_TRUE(plot.xTitle.empty());
  EXPECT_TRUE(plot.yTitle.empty());
  EXPECT_EQ(plot.xMin, 0);
  EXPECT_EQ(plot.scale, 1.0);
  EXPECT_EQ(plot.fixedRange, 1) << "Reset leaves the range flag alone";
}

TEST_F(PlotModel, ReadersConvertEveryTypeExactly) {
  const std::uint8_t bytes[] = {0xFF, 0x01, 0x80};
  const std::uint32_t allOnes[] = {0xFFFFFFFFu, 0x80000000u};
  const std::int16_t shorts[] = {-2, 32767};
  const std::uint16_t ushorts[] = {65535};
  const float floats[] = {0.1f};
  const double doubles[] = {9.91e37};

  plot.AddSeries(3, bytes, bytes, 0, 3, 4, 1, 1);
  EXPECT_EQ(ReadX(0, 0), -1.0);
  EXPECT_EQ(ReadY(0, 0), 255.0);
  EXPECT_EQ(ReadX(0, 2), -128.0);

  plot.AddSeries(2, allOnes, allOnes, 0, 7, 8, 1, 1);
  EXPECT_EQ(ReadX(1, 0), -1.0);
  EXPECT_EQ(ReadY(1, 0), 4294967295.0);
  EXPECT_EQ(ReadY(1, 1), 2147483648.0) << "top bit set must not read negative";

  plot.AddSeries(1, allOnes, allOnes, 0, 9, 10, 1, 1);
  EXPECT_EQ(ReadX(2, 0), -1.0);
  EXPECT_EQ(ReadY(2, 0), 4294967295.0);

  plot.AddSeries(3, nullptr, nullptr, 0, 11, 12, 3, 1);  // the index itself, array never read
  EXPECT_EQ(ReadX(3, 0), 0.0);
  EXPECT_EQ(ReadX(3, 1), 3.0);
  EXPECT_EQ(ReadX(3, 2), 6.0);
  EXPECT_EQ(ReadY(3, 2), 2.0);

  plot.AddSeries(1, bytes, bytes, 0, 13, -1, 1, 1);  // unknown codes read unsigned bytes
  EXPECT_EQ(ReadX(4, 0), 255.0);
  EXPECT_EQ(ReadY(4, 0), 255.0);
  plot.AddSeries(1, bytes, bytes, 0, std::numeric_limits<int>::min(), 1000, 1, 1);
  EXPECT_EQ(ReadX(5, 0), 255.0);
  EXPECT_EQ(ReadY(5, 0), 255.0);

  plot.AddSeries(2, shorts, ushorts, 0, 5, 6, 1, 1);
  EXPECT_EQ(ReadX(6, 0), -2.0);
  EXPECT_EQ(ReadX(6, 1), 32767.0);
  EXPECT_EQ(ReadY(6, 0), 65535.0);

  plot.AddSeries(1, floats, doubles, 0, 0, 1, 1, 1);
  EXPECT_EQ(ReadX(7, 0), static_cast<double>(0.1f));
  EXPECT_EQ(ReadY(7, 0), 9.91e37);
  plot.AddSeries(1, doubles, doubles, 0, 2, 2, 1, 1, Twice, nullptr);
  EXPECT_EQ(ReadX(8, 0), 2 * 9.91e37) << "the given transform is applied";
  EXPECT_EQ(ReadY(8, 0), 9.91e37) << "no transform: raw value";
}

TEST_F(PlotModel, StridesStepThroughInterleavedArrays) {
  const double pairs[] = {0, 10, 1, 11, 2, 12};
  plot.AddSeries(3, pairs, pairs + 1, 0, 1, 1, 2, 2);
  EXPECT_EQ(ReadX(0, 2), 2.0);
  EXPECT_EQ(ReadY(0, 2), 12.0);
}

TEST_F(PlotModel, EleventhSeriesIsIgnored) {
  const double values[] = {1, 2};
  for (int i = 0; i < CXYPlot::kMaxSeries; ++i) plot.AddSeries(i + 1, values, values, i, 1, 1, 1, 1);
  ASSERT_EQ(plot.seriesCount, 10);
  plot.fixedRange = 1;
  const PlotSeries last = plot.series[9];

  const std::uint8_t other[] = {7};
  plot.AddSeries(1, other, other, 13, 4, 4, 5, 5);
  EXPECT_EQ(plot.seriesCount, 10);
  EXPECT_EQ(plot.fixedRange, 1) << "an ignored series must not clear fixed ranges";
  EXPECT_EQ(plot.series[9].pointCount, last.pointCount);
  EXPECT_EQ(plot.series[9].style, last.style);
  EXPECT_EQ(plot.series[9].xData, last.xData);
  EXPECT_EQ(plot.series[9].xStride, last.xStride);

  plot.seriesCount = -1;  // a corrupt count adds nothing either
  plot.AddSeries(1, other, other, 0, 4, 4, 1, 1);
  EXPECT_EQ(plot.seriesCount, -1);
}

TEST_F(PlotModel, AcceptedSeriesClearsFixedRanges) {
  const double values[] = {1};
  plot.SetFixedRanges(0, 10, 0, 10);
  EXPECT_EQ(plot.fixedRange, 1);
  plot.AddSeries(1, values, values, 0, 1, 1, 1, 1);
  EXPECT_EQ(plot.fixedRange, 0);
}

TEST_F(PlotModel, MappingTruncatesTowardZero) {
  plot.xMin = 0;
  plot.xScale = 10;
  plot.xOffset = 50;
  EXPECT_EQ(plot.XToPixel(1.09), 60);
  EXPECT_EQ(plot.XToPixel(-5.05), 0) << "-0.5 truncates toward zero, not down";
  EXPECT_EQ(plot.XToPixel(-5.15), -1);
  plot.yMin = 0;
  plot.yScale = 10;
  plot.yOffset = 200;
  EXPECT_EQ(plot.YToPixel(2.55), 174);
  EXPECT_EQ(plot.YToPixel(25.05), -50) << "-50.5 truncates toward zero";
}

TEST_F(PlotModel, MappingSaturatesAndSurvivesNaN) {
  constexpr int kHighest = std::numeric_limits<int>::max();
  constexpr int kLowest = std::numeric_limits<int>::min();
  plot.xMin = 0;
  plot.xScale = 100;
  plot.xOffset = 50;
  plot.yMin = 0;
  plot.yScale = 100;
  plot.yOffset = 200;
  EXPECT_EQ(plot.XToPixel(9.91e37), kHighest);
  EXPECT_EQ(plot.XToPixel(-9.91e37), kLowest);
  EXPECT_EQ(plot.YToPixel(9.91e37), kLowest);
  EXPECT_EQ(plot.XToPixel(std::numeric_limits<double>::infinity()), kHighest);
  EXPECT_EQ(plot.YToPixel(-std::numeric_limits<double>::infinity()), kHighest);
  EXPECT_EQ(plot.XToPixel(std::nan("")), 0);
  plot.xScale = 1;
  plot.xOffset = 0;
  EXPECT_EQ(plot.XToPixel(2147483646.9), kHighest - 1) << "values just inside the limits are kept";
  EXPECT_EQ(plot.XToPixel(-2147483647.9), kLowest + 1);
}

}  // namespace
