// The picture of the live view: the title line, the status line with the time
// and current of the latest sample, and the plot of one history channel.
// Platform-free: it draws through a DrawingSurface, so tests can record it.
#pragma once

#include <string>

#include "plot/drawing_surface.h"
#include "run/sample_history.h"

inline constexpr const char* kLiveViewTitle = "Keithley Sourcemeter 2400";
inline constexpr int kStatusLineOffset = 15;  // below the client top
inline constexpr int kPlotOffset = 50;        // below the status line's top
inline constexpr int kChannelCount = 4;

// The run's clock (FormatClock, as ivra-run shows it), two spaces, and the
// current in amperes as "%lg".
std::string FormatStatusLine(double timeSeconds, double currentAmperes);

// The 30-unit Roman font of the status line.
FontDescription StatusLineFont();

// Draws the display for `channel` (0..3) into `client` (the client rectangle,
// left and top 0): the status line of `latest`, the plot of `history`.
void PaintLiveView(DrawingSurface& dc, const SurfaceRect& client, int channel, const LatestReading& latest,
                   const SampleHistory& history);
