// Draws one channel of a RunStore over a time span with the plot engine: every
// pixel column shows the minimum and maximum of the samples that fall into it,
// joined to its neighbours, so no spike or dip is lost at any run length.
// Shared by the desktop view, the plot export and ivra-plot, so that screen,
// PNG and SVG draw the same picture.
#pragma once

#include <string>

#include "plot/drawing_surface.h"
#include "plot/run_store.h"

struct RunPlotRequest {
  int channel = 0;
  // The time span in seconds; a span with from >= to takes the whole run.
  double from = 0.0;
  double to = 0.0;
  std::string quantity = "Current";
  std::string unit = "uA";  // empty: the quantity alone titles the axis
};

// The span shown for a request: its own when usable, else the store's first to
// latest sample (widened by a second when the run holds a single time).
struct RunPlotSpan {
  double from = 0.0;
  double to = 1.0;
};
RunPlotSpan ResolveSpan(const RunStore& store, const RunPlotRequest& request);

// Spans of at least this long get a time axis in hours.
constexpr double kHoursAxisFromSeconds = 3 * 3600.0;

// The time axis title for a span: "Time [s]" or "Time [h]".
std::string TimeAxisTitle(const RunPlotSpan& span);

// Where the time axis lies once drawn: the frame's left and right device
// columns (and rows) and the times in seconds at them (the span widened to whole ticks),
// so that a front end can turn a mouse position into a time.
struct RunPlotFrame {
  int left = 0;
  int right = 0;
  int top = 0;  // the frame's upper and lower device rows
  int bottom = 0;
  double from = 0.0;
  double to = 0.0;
  // The time at device column x; from..to across the frame.
  double TimeAt(int x) const { return right > left ? from + (to - from) * (x - left) / (right - left) : from; }
  // The device column of time `t`; left..right across from..to.
  int ColumnAt(double t) const {
    return to > from ? left + static_cast<int>((t - from) / (to - from) * (right - left) + 0.5) : left;
  }
};

// Draws into `bounds`. Returns 1 when samples were drawn; 0 when the span holds
// none (the frame and axes only) or the bounds are too small for a plot.
int DrawRunPlot(DrawingSurface* dc, const SurfaceRect& bounds, const RunStore& store, const RunPlotRequest& request,
                RunPlotFrame* drawnFrame = nullptr);
