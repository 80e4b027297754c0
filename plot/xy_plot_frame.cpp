// Tick steps, layout of frame and data area, and the drawing of frame, ticks,
// tick labels and axis titles.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "plot/device_coordinate.h"
#include "plot/xy_plot.h"

namespace {

FontDescription PlotFont(int height, int escapement) { return StrokeFont(height, escapement, kFamilySwiss, "Swiss"); }

// "%g" in the C locale whatever locale the program runs in: a GUI toolkit may
// switch to a locale with a decimal comma.
std::string FormatLabel(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, result.ptr);
}

// Accumulated steps leave residues such as 5.5e-17 where 0 is meant.
double LabelValue(double tick, double step) { return std::fabs(tick) < step / 4 ? 0.0 : tick; }

// A constant series is shown where it is: v +- |v|/2 keeps a small value such
// as a current held at 1e-7 A off a -1..1 axis that reads as 0. Zeros, which
// have no size of their own, get -1..1.
void WidenEmptyRange(double& low, double& high) {
  if (high != low) return;
  const double half = std::fabs(high) / 2;
  if (half > 0) {
    high = high + half;
    low = low - half;
    return;
  }
  high = high + (std::fabs(high) + 1);
  low = low - (std::fabs(low) + 1);
}

std::int64_t Inset(std::int64_t length, int divisor) { return divisor != 0 ? length / divisor : 0; }

}  // namespace

int CXYPlot::ComputeTicks(char axis, int n, double& min, double& max, double& first, double& last, double& step) {
  const double range = max - min;
  // Refuses a range that is empty, reversed, infinite or NaN.
  if (!(range > 0) || !std::isfinite(range) || n < 1) return 0;
  step = std::pow(10.0, std::floor(std::log10(range / n)));
  if (!(step > 0) || !std::isfinite(step)) return 0;
  if (range / step > 5.0 * n) {
    step = 5 * step;
  } else if (range / step > 2.0 * n) {
    step = 2 * step;
  }

  // Each search must move by a whole step and end within kMaxTicks; a range
  // too narrow for the size of its values (a step below the values' precision)
  // is refused instead of looping for ever.
  first = std::floor(min / step + 2) * step;
  for (int moves = 0; std::fabs(min - first) > step / 1.9; ++moves) {
    const double lower = first - step;
    if (lower == first || moves >= kMaxTicks) return 0;
    first = lower;
  }
  last = first;
  for (int moves = 0; std::fabs(max - last) > step / 1.9; ++moves) {
    const double higher = last + step;
    if (higher == last || moves >= kMaxTicks) return 0;
    last = higher;
  }
  if (min > first) min = first;
  if (max < last) max = last;

  int size = 0;
  int count = 0;
  for (double t = first; t < last + step / 2 && count < kMaxTicks; t += step, ++count) {
    const TextExtent extent = dc->GetTextExtent(FormatLabel(LabelValue(t, step)));
    size = std::max(size, axis == 'x' ? extent.cy : extent.cx);
  }
  return AddCoordinates(size, 6);
}

int CXYPlot::DrawFrame() {
  const FontDescription previousFont = dc->SelectFont(PlotFont(ToDeviceCoordinate(12 * scale + 0.5), 0));

  WidenEmptyRange(xMin, xMax);
  WidenEmptyRange(yMin, yMax);

  const int titleBand = ToDeviceCoordinate(15 * scale + 0.5);
  SurfaceRect titled = bounds;  // bounds less the title bands
  if (!xTitle.empty()) titled.bottom = SubtractCoordinates(titled.bottom, titleBand);
  if (!yTitle.empty()) titled.left = AddCoordinates(titled.left, titleBand);

  frame.left = titled.left;
  frame.top = titled.top;
  frame.right = titled.right;
  const std::int64_t gx = Inset(static_cast<std::int64_t>(bounds.right) - bounds.left, xInsetDivisor);
  const std::int64_t gy = Inset(static_cast<std::int64_t>(bounds.bottom) - bounds.top, yInsetDivisor);

  double yFirst = 0, yLast = 0, yStep = 0;
  const int yLabelBand = ComputeTicks('y', 3, yMin, yMax, yFirst, yLast, yStep);
  double xFirst = 0, xLast = 0, xStep = 0;
  const int xLabelBand = yLabelBand > 0 ? ComputeTicks('x', 3, xMin, xMax, xFirst, xLast, xStep) : 0;
  if (xLabelBand == 0) {  // ranges without usable ticks
    dc->SelectFont(previousFont);
    return 0;
  }
  frame.left = AddCoordinates(titled.left, yLabelBand);
  frame.bottom = SubtractCoordinates(titled.bottom, xLabelBand - 6);

  const std::int64_t left = frame.left + gx;
  std::int64_t right = frame.right - gx;
  const std::int64_t top = frame.top + gy;
  const std::int64_t bottom = frame.bottom - gy;

  // Pull the data area in so that the last x label ends inside the bounds.
  const TextExtent lastLabel = dc->GetTextExtent(FormatLabel(xLast));
  const std::int64_t lastOffset =
      ToDeviceCoordinate((xLast - xMin) * static_cast<double>(right - left) / (xMax - xMin) + 0.5);
  const std::int64_t spare = static_cast<std::int64_t>(bounds.right) - 1 - left - lastOffset - lastLabel.cx / 2;
  if (spare < 0) right += spare;

  const std::int64_t width = right - left;
  const std::int64_t height = bottom - top;
  if (width < 10 || height < 10) {
    dc->SelectFont(previousFont);
    return 0;
  }
  xScale = static_cast<double>(width) / (xMax - xMin);
  xOffset = SaturateToInt(left);
  yScale = static_cast<double>(height) / (yMax - yMin);
  yOffset = SaturateToInt(bottom);

  dc->Rectangle(frame.left, frame.top, AddCoordinates(frame.right, 1), AddCoordinates(frame.bottom, 1));

  const std::int64_t tickLength =
      std::max<std::int64_t>(3, (static_cast<std::int64_t>(bounds.right) - bounds.left) / 100);

  int count = 0;
  for (double t = xFirst; count == 0 || (t < xLast + xStep / 3 && count < kMaxTicks); t += xStep, ++count) {
    const int px = ToDeviceCoordinate((t - xMin) * xScale + xOffset + 0.5);
    dc->MoveTo(px, frame.top);
    dc->LineTo(px, AddCoordinates(frame.top, tickLength));
    dc->MoveTo(px, frame.bottom);
    dc->LineTo(px, SubtractCoordinates(frame.bottom, tickLength));
    const std::string label = FormatLabel(LabelValue(t, xStep));
    const TextExtent extent = dc->GetTextExtent(label);
    dc->DrawTextAt(SubtractCoordinates(px, extent.cx / 2), AddCoordinates(frame.bottom, extent.cy / 6), label);
  }
  count = 0;
  for (double t = yFirst; count == 0 || (t < yLast + yStep / 3 && count < kMaxTicks); t += yStep, ++count) {
    const int py = ToDeviceCoordinate(yOffset - (t - yMin) * yScale + 0.5);
    dc->MoveTo(frame.left, py);
    dc->LineTo(AddCoordinates(frame.left, tickLength), py);
    dc->MoveTo(frame.right, py);
    dc->LineTo(SubtractCoordinates(frame.right, tickLength), py);
    const std::string label = FormatLabel(LabelValue(t, yStep));
    const TextExtent extent = dc->GetTextExtent(label);
    const std::int64_t labelLeft = (static_cast<std::int64_t>(frame.left) + titled.left - extent.cx) / 2;
    dc->DrawTextAt(SaturateToInt(labelLeft), SubtractCoordinates(py, extent.cy / 2), label);
  }
  dc->SelectFont(previousFont);

  if (!xTitle.empty()) {
    const FontDescription beforeTitle = dc->SelectFont(PlotFont(titleBand, 0));
    dc->DrawText(SurfaceRect{frame.left, titled.bottom, bounds.right, bounds.bottom}, xTitle,
                 kTextCentre | kTextVCentre | kTextSingleLine);
    dc->SelectFont(beforeTitle);
  }
  if (!yTitle.empty()) {
    const FontDescription beforeTitle = dc->SelectFont(PlotFont(titleBand, 900));
    const TextExtent extent = dc->GetTextExtent(yTitle);
    const std::int64_t baseY = (static_cast<std::int64_t>(titled.top) + titled.bottom + extent.cx) / 2;
    dc->DrawTextAt(bounds.left, SaturateToInt(baseY), yTitle);
    dc->SelectFont(beforeTitle);
  }
  return 1;
}
