// CXYPlot: a self-contained XY chart drawn into a DrawingSurface.
//
// Set up with Init, add up to ten series held in the caller's own typed arrays
// (the plot never owns or copies them; they must stay valid until Draw returns),
// give axis titles, then Draw. Ranges are found from the data unless fixed
// ranges are set after the last AddSeries.
//
// Sample type codes: 0 float, 1/2 double, 3 int8, 4 uint8, 5 int16, 6 uint16,
// 7/9 int32, 8/10 uint32, 11/12 the element index itself; any other code reads
// unsigned bytes. Style: (style & 7) picks the marker (0 pixel, 1 circle,
// 2 square, 3 diamond, 4 cross, 5..7 pixel); style > 7 joins points by lines.
//
// Robustness: ranges are found from finite values only (an axis with none gets
// 0 to 1); every value-to-device conversion saturates to the int range (NaN
// maps to 0); a series with no points is never read; ranges that give no usable
// ticks (reversed, empty, infinite, NaN, or too narrow for the precision of
// their values) make Draw paint the background only and return 0.
#pragma once

#include <string>

#include "plot/drawing_surface.h"

using SampleAccessor = double (*)(const void* data, int index);
using AxisTransform = double (*)(double value);
// Draws one marker at (x, y); unit scales its size (see markers.h).
using MarkerRoutine = void (*)(DrawingSurface* dc, int x, int y, int unit);

struct PlotSeries {
  int pointCount = 0;
  const void* xData = nullptr;
  const void* yData = nullptr;
  int style = 0;
  SampleAccessor xAccessor = nullptr;
  SampleAccessor yAccessor = nullptr;
  int xStride = 1;
  int yStride = 1;
  AxisTransform xTransform = nullptr;
  AxisTransform yTransform = nullptr;
};

class CXYPlot {
 public:
  static constexpr int kMaxSeries = 10;
  static constexpr int kTypeCodeCount = 13;
  // Most tick values one axis may have; longer tick searches are refused.
  static constexpr int kMaxTicks = 100;

  void Init(DrawingSurface* dc, const SurfaceRect& bounds);
  void Reset();
  void AddSeries(int pointCount, const void* xData, const void* yData, int style, int xType, int yType, int xStride,
                 int yStride, AxisTransform xTransform = nullptr, AxisTransform yTransform = nullptr);
  void SetAxisTitles(std::string xTitle, std::string yTitle);
  // Fixes the ranges (call after the last AddSeries, which clears them). They are
  // still widened to whole ticks; a reversed or non-finite range draws nothing.
  void SetFixedRanges(double xMin, double xMax, double yMin, double yMax);
  // 1 when the plot was drawn; 0 when nothing, or only the background, was drawn.
  int Draw();

  int XToPixel(double x) const;
  int YToPixel(double y) const;

  // The rest is the engine's working state, public so that tests can set up and
  // inspect single steps (ticks, frame, clipping) the way Draw drives them.
  // Returns the label band (largest label height for 'x', width otherwise, + 6),
  // or 0 when the range has no usable ticks (see above).
  int ComputeTicks(char axis, int n, double& min, double& max, double& first, double& last, double& step);
  int DrawFrame();
  int ClipSegment(int lines);
  int CrossAtXHorizontal(double v);
  int CrossAtYVertical(double v);
  int CrossAtXSloped(double v);
  int CrossAtYSloped(double v);
  int NoCrossing(double v);
  using CrossingTest = int (CXYPlot::*)(double v);

  DrawingSurface* dc = nullptr;
  MarkerRoutine currentMarker = nullptr;
  SurfaceRect bounds;
  // Set by Draw (1, or 4 for a wide plot). Markers get it as their unit with
  // every call rather than from shared state, so that plots drawn at the same
  // time at different scales keep their own marker sizes.
  double scale = 1.0;
  // Bounds 1000 units or wider are taken for a printer page and drawn four
  // times larger (fonts, markers); a screen-sized plot of that width clears this.
  bool scaleWhenWide = true;
  std::string xTitle;
  std::string yTitle;
  int xInsetDivisor = 40;
  int yInsetDivisor = 40;
  int seriesCount = 0;
  PlotSeries series[kMaxSeries];
  int fixedRange = 0;
  CrossingTest crossAtX = nullptr;
  CrossingTest crossAtY = nullptr;
  SampleAccessor accessors[kTypeCodeCount] = {};
  double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
  double xScale = 1, yScale = 1;
  int pixelX = 0, pixelY = 0;
  int xOffset = 0, yOffset = 0;
  double prevX = 0, prevY = 0;
  double crossX = 0, crossY = 0;
  double slope = 0;
  double curX = 0, curY = 0;
  int prevInside = 0, curInside = 0;
  SurfaceRect frame;
  Colour penColour = 0;
  Colour backgroundColour = 0xFFFFFF;
};
