#include "programs/plot-png/sample_plot.h"

#include <wx/defs.h>
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/image.h>

#include <cmath>

#include "plot/wx_drawing_surface.h"
#include "plot/xy_plot.h"

namespace {

constexpr int kCount = 100;

// A charging current that settles, with some ripple: one sample per second.
void MakeSamples(double* times, double* currents, int count) {
  for (int i = 0; i < count; ++i) {
    times[i] = i;
    currents[i] = 2.5e-6 * (1 - std::exp(-i / 20.0)) + 0.2e-6 * std::sin(i / 3.0);
  }
}

}  // namespace

bool DrawSamplePlot(wxImage& image) {
  double times[kCount];
  double currents[kCount];
  MakeSamples(times, currents, kCount);

  const int width = image.GetWidth();
  const int height = image.GetHeight();
  image.SetRGB(wxRect(0, 0, width, height), 255, 255, 255);
  // The context writes back into the image when it is destroyed.
  wxGCDC dc(wxGraphicsContext::Create(image));
  WxDrawingSurface surface(dc);
  CXYPlot plot;
  plot.Init(&surface, SurfaceRect{0, 0, width, height});
  plot.AddSeries(kCount, times, currents, 10, 1, 1, 1, 1);
  plot.SetAxisTitles("Time [s]", "Amplitude");
  return plot.Draw() != 0;
}
