// Set-up of the plot and the mapping of values to device coordinates.
#include "plot/xy_plot.h"

#include <cstdint>
#include <utility>

#include "plot/device_coordinate.h"

namespace {

double Identity(double value) { return value; }

// Readers of the caller's typed sample arrays, one per type code.
template <typename T>
double ReadElement(const void* data, int index) {
  return static_cast<double>(static_cast<const T*>(data)[index]);
}
// The index itself; the array is never touched (it may be null).
double ReadIndex(const void*, int index) { return static_cast<double>(index); }

const SampleAccessor kSampleReaders[CXYPlot::kTypeCodeCount] = {
    ReadElement<float>,
    ReadElement<double>,
    ReadElement<double>,
    ReadElement<std::int8_t>,
    ReadElement<std::uint8_t>,
    ReadElement<std::int16_t>,
    ReadElement<std::uint16_t>,
    ReadElement<std::int32_t>,
    ReadElement<std::uint32_t>,
    ReadElement<std::int32_t>,
    ReadElement<std::uint32_t>,
    ReadIndex,
    ReadIndex,
};
// Codes outside 0..12 read unsigned bytes.
const SampleAccessor kOtherCodeReader = ReadElement<std::uint8_t>;

}  // namespace

void CXYPlot::Init(DrawingSurface* surface, const SurfaceRect& area) {
  xTitle.clear();
  yTitle.clear();
  dc = surface;
  bounds.left = area.left;
  bounds.top = area.top;
  bounds.right = area.right;
  bounds.bottom = area.bottom;
  for (int code = 0; code < kTypeCodeCount; ++code) accessors[code] = kSampleReaders[code];
  Reset();
}

void CXYPlot::Reset() {
  xMin = 0;
  xMax = 1;
  yMin = 0;
  yMax = 1;
  xInsetDivisor = 40;
  yInsetDivisor = 40;
  seriesCount = 0;
  xTitle.clear();
  yTitle.clear();
  scale = 1.0;
  penColour = MakeColour(0, 0, 0);
  backgroundColour = MakeColour(255, 255, 255);
}

void CXYPlot::AddSeries(int pointCount, const void* xData, const void* yData, int style, int xType, int yType,
                        int xStride, int yStride, AxisTransform xTransform, AxisTransform yTransform) {
  if (seriesCount < 0 || seriesCount >= kMaxSeries) return;
  fixedRange = 0;
  PlotSeries& added = series[seriesCount];
  added.pointCount = pointCount;
  added.xData = xData;
  added.yData = yData;
  added.style = style;
  added.xAccessor = static_cast<unsigned>(xType) < kTypeCodeCount ? accessors[xType] : kOtherCodeReader;
  added.yAccessor = static_cast<unsigned>(yType) < kTypeCodeCount ? accessors[yType] : kOtherCodeReader;
  added.xStride = xStride;
  added.yStride = yStride;
  added.xTransform = xTransform != nullptr ? xTransform : Identity;
  added.yTransform = yTransform != nullptr ? yTransform : Identity;
  ++seriesCount;
}

void CXYPlot::SetAxisTitles(std::string xAxisTitle, std::string yAxisTitle) {
  xTitle = std::move(xAxisTitle);
  yTitle = std::move(yAxisTitle);
}

void CXYPlot::SetFixedRanges(double xLow, double xHigh, double yLow, double yHigh) {
  xMin = xLow;
  xMax = xHigh;
  yMin = yLow;
  yMax = yHigh;
  fixedRange = 1;
}

int CXYPlot::XToPixel(double x) const { return ToDeviceCoordinate((x - xMin) * xScale + xOffset); }

int CXYPlot::YToPixel(double y) const { return ToDeviceCoordinate(yOffset - (y - yMin) * yScale); }
