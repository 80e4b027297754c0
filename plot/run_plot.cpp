#include "plot/run_plot.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "plot/xy_plot.h"

RunPlotSpan ResolveSpan(const RunStore& store, const RunPlotRequest& request) {
  if (std::isfinite(request.from) && std::isfinite(request.to) && request.from < request.to) {
    return RunPlotSpan{request.from, request.to};
  }
  const ValueRange times = store.TimeRange();
  if (times.empty) return RunPlotSpan{0.0, 1.0};
  if (times.min < times.max) return RunPlotSpan{times.min, times.max};
  return RunPlotSpan{times.min - 0.5, times.max + 0.5};
}

std::string TimeAxisTitle(const RunPlotSpan& span) {
  return span.to - span.from >= kHoursAxisFromSeconds ? "Time [h]" : "Time [s]";
}

int DrawRunPlot(DrawingSurface* dc, const SurfaceRect& bounds, const RunStore& store, const RunPlotRequest& request,
                RunPlotFrame* drawnFrame) {
  const RunPlotSpan span = ResolveSpan(store, request);
  const bool hours = span.to - span.from >= kHoursAxisFromSeconds;
  const double unit = hours ? 3600.0 : 1.0;
  // One column per device unit of the bounds: at least one per pixel of the frame.
  const int columnCount = std::max(1, bounds.right - bounds.left);
  const std::vector<ColumnRange> columns = store.MinMaxColumns(request.channel, span.from, span.to, columnCount);

  std::vector<double> xs;
  std::vector<double> ys;
  xs.reserve(columns.size() * 2);
  ys.reserve(columns.size() * 2);
  double low = 0.0;
  double high = 0.0;
  const double columnSeconds = (span.to - span.from) / columnCount;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const ColumnRange& column = columns[c];
    if (column.empty) continue;
    const double x = (span.from + (static_cast<double>(c) + 0.5) * columnSeconds) / unit;
    // Enter the column at the end nearer its first sample, leave it at the other.
    const bool rising = column.first <= column.last;
    xs.push_back(x);
    ys.push_back(rising ? column.min : column.max);
    xs.push_back(x);
    ys.push_back(rising ? column.max : column.min);
    if (xs.size() == 2) {
      low = column.min;
      high = column.max;
    } else {
      low = std::min(low, column.min);
      high = std::max(high, column.max);
    }
  }

  // The samples just outside the span, so that the line runs on to the frame's
  // edges (the engine clips it) and a zoom between two samples is not empty.
  const bool inside = !xs.empty();
  const std::size_t after = store.FirstIndexAtOrAfter(span.from);
  if (after > 0 && request.channel < store.ChannelCount()) {
    xs.insert(xs.begin(), store.TimeAt(after - 1) / unit);
    ys.insert(ys.begin(), store.ValueAt(request.channel, after - 1));
  }
  std::size_t beyond = store.FirstIndexAtOrAfter(span.to);
  if (beyond < store.Count() && store.TimeAt(beyond) <= span.to) ++beyond;
  if (beyond < store.Count() && request.channel < store.ChannelCount()) {
    xs.push_back(store.TimeAt(beyond) / unit);
    ys.push_back(store.ValueAt(request.channel, beyond));
  }
  if (!inside && !ys.empty()) {
    // Only neighbours: the value axis spans the line between them.
    low = *std::min_element(ys.begin(), ys.end());
    high = *std::max_element(ys.begin(), ys.end());
  }

  CXYPlot plot;
  plot.Init(dc, bounds);
  plot.scaleWhenWide = false;
  const int pointCount = static_cast<int>(xs.size());
  plot.AddSeries(pointCount, xs.data(), ys.data(), 8, 1, 1, 1, 1);
  plot.SetAxisTitles(TimeAxisTitle(span),
                     request.unit.empty() ? request.quantity : request.quantity + " [" + request.unit + "]");
  if (low == high) {
    const double pad = low == 0.0 ? 1.0 : std::abs(low) * 0.01;
    low -= pad;
    high += pad;
  }
  plot.SetFixedRanges(span.from / unit, span.to / unit, low, high);
  // An empty span still gets its frame and axes.
  const int drawn = plot.Draw();
  if (drawnFrame != nullptr) {
    drawnFrame->left = plot.XToPixel(plot.xMin);
    drawnFrame->right = plot.XToPixel(plot.xMax);
    drawnFrame->top = plot.YToPixel(plot.yMax);
    drawnFrame->bottom = plot.YToPixel(plot.yMin);
    drawnFrame->from = plot.xMin * unit;
    drawnFrame->to = plot.xMax * unit;
  }
  return inside ? drawn : 0;
}
