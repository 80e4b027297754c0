// The drawing of a whole plot: ranges, background, frame and every series.
#include <cmath>
#include <cstdint>

#include "plot/device_coordinate.h"
#include "plot/markers.h"
#include "plot/xy_plot.h"

namespace {

// Element index of point i; a stride that overflows the index wraps rather
// than being undefined (the caller's arrays are not validated anyway).
int ElementIndex(int point, int stride) {
  return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::int64_t>(point) * stride));
}

double PointX(const PlotSeries& s, int i) { return s.xTransform(s.xAccessor(s.xData, ElementIndex(i, s.xStride))); }
double PointY(const PlotSeries& s, int i) { return s.yTransform(s.yAccessor(s.yData, ElementIndex(i, s.yStride))); }

// Widens [low, high] to take in value; the first value seeds the range.
void TakeIn(double value, bool& seeded, double& low, double& high) {
  if (!std::isfinite(value)) return;
  if (!seeded) {
    low = high = value;
    seeded = true;
  } else if (value < low) {
    low = value;
  } else if (value > high) {
    high = value;
  }
}

}  // namespace

// Ranges from the data. Only finite values count: one NaN or infinite reading
// would otherwise make the whole range unusable and blank the plot. An axis
// without any finite value gets the default range 0 to 1. Series without points
// are never read.
static void FindRanges(CXYPlot& plot) {
  bool xSeeded = false;
  bool ySeeded = false;
  for (int s = 0; s < plot.seriesCount; ++s) {
    const PlotSeries& current = plot.series[s];
    for (int i = 0; i < current.pointCount; ++i) {
      TakeIn(PointX(current, i), xSeeded, plot.xMin, plot.xMax);
      TakeIn(PointY(current, i), ySeeded, plot.yMin, plot.yMax);
    }
  }
  if (!xSeeded) {
    plot.xMin = 0;
    plot.xMax = 1;
  }
  if (!ySeeded) {
    plot.yMin = 0;
    plot.yMax = 1;
  }
}

static void DrawSeries(CXYPlot& plot, const PlotSeries& s) {
  if (s.pointCount <= 0) return;  // no point 0 to start from
  DrawingSurface* dc = plot.dc;
  plot.currentMarker = MarkerForStyle(s.style);
  const int markerUnit = static_cast<int>(plot.scale);
  const int lines = s.style > 7;
  plot.prevX = PointX(s, 0);
  plot.prevY = PointY(s, 0);
  plot.prevInside =
      plot.xMin <= plot.prevX && plot.prevX <= plot.xMax && plot.yMin <= plot.prevY && plot.prevY <= plot.yMax;
  if (!plot.fixedRange || plot.prevInside) dc->MoveTo(plot.XToPixel(plot.prevX), plot.YToPixel(plot.prevY));

  // Point 0 comes round again as the first current point, which gives it its marker.
  for (int i = 0; i < s.pointCount; ++i) {
    plot.curX = PointX(s, i);
    plot.pixelX = plot.XToPixel(plot.curX);
    plot.curY = PointY(s, i);
    plot.pixelY = plot.YToPixel(plot.curY);
    if (!plot.fixedRange) {
      if (lines) dc->LineTo(plot.pixelX, plot.pixelY);
      plot.currentMarker(dc, plot.pixelX, plot.pixelY, markerUnit);
    } else if (plot.ClipSegment(lines)) {
      if (lines) dc->LineTo(plot.pixelX, plot.pixelY);
      if (plot.curInside) plot.currentMarker(dc, plot.pixelX, plot.pixelY, markerUnit);
    }
    // Markers may leave the current position anywhere; the next line starts here.
    if (s.style != 0) dc->MoveTo(plot.pixelX, plot.pixelY);
  }
}

int CXYPlot::Draw() {
  if (seriesCount < 1 || seriesCount > kMaxSeries) return 0;
  const bool wide = static_cast<std::int64_t>(bounds.right) >= static_cast<std::int64_t>(bounds.left) + 1000;
  scale = wide && scaleWhenWide ? 4.0 : 1.0;

  const PenDescription pen{penColour, 1};
  const BrushDescription brush{backgroundColour};
  if (!fixedRange) FindRanges(*this);

  dc->SetBackgroundColour(backgroundColour);
  dc->SetTextColour(penColour);
  const PenDescription previousPen = dc->SelectPen(pen);
  const BrushDescription previousBrush = dc->SelectBrush(brush);
  dc->PaintRect(SurfaceRect{SubtractCoordinates(bounds.left, 3), SubtractCoordinates(bounds.top, 3),
                            AddCoordinates(bounds.right, 4), AddCoordinates(bounds.bottom, 5)});
  dc->SetBackgroundMode(BackgroundMode::Transparent);

  int drawn = 0;
  if (DrawFrame()) {
    for (int s = 0; s < seriesCount; ++s) DrawSeries(*this, series[s]);
    drawn = 1;
  }
  dc->SelectBrush(previousBrush);
  dc->SelectPen(previousPen);
  return drawn;
}
