// The picture plot-png draws: 100 samples of a charging current that settles,
// with some ripple, one per second, plotted like the live view plots them.
#pragma once

class wxImage;

// Draws the plot over all of `image`. Returns whether the plot was drawn
// (false when the image is too small for it).
bool DrawSamplePlot(wxImage& image);
