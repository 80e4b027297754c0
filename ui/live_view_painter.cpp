#include "ui/live_view_painter.h"

#include <cstdio>

#include "plot/xy_plot.h"
#include "run/sample_history.h"
#include "text/run_text.h"

namespace {
constexpr int kSeriesStyle = 10;  // square markers joined by lines
constexpr int kTypeDouble = 1;
}  // namespace

std::string FormatStatusLine(double timeSeconds, double currentAmperes) {
  char current[64];
  std::snprintf(current, sizeof current, "%lg", currentAmperes);
  return FormatClock(timeSeconds) + "  " + current;
}

FontDescription StatusLineFont() { return StrokeFont(30, 0, kFamilyRoman, "Roman"); }

void PaintLiveView(DrawingSurface& dc, const SurfaceRect& client, int channel, const LatestReading& latest,
                   const SampleHistory& history) {
  SurfaceRect rect = client;
  dc.DrawText(rect, kLiveViewTitle, kTextCentre | kTextSingleLine);
  rect.top += kStatusLineOffset;

  const FontDescription previous = dc.SelectFont(StatusLineFont());
  dc.DrawText(rect, FormatStatusLine(latest.time, latest.current), kTextSingleLine);
  dc.SelectFont(previous);

  if (history.count > 0) {
    const SurfaceRect plotRect{rect.left, rect.top + kPlotOffset, rect.right, rect.bottom};
    CXYPlot plot;
    plot.Init(&dc, plotRect);
    plot.AddSeries(history.count, history.rows[0], history.rows[channel + 1], kSeriesStyle, kTypeDouble, kTypeDouble, 1,
                   1);
    plot.SetAxisTitles("Time [s]", "Amplitude");
    plot.Draw();
  }
}
