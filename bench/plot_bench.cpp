// One Draw of the live view's plot: 100 points, square markers joined by lines
// (style 10), titles, into the recording surface and into 800 x 600 pictures
// through the wx surface. The wxMemoryDC/wxBitmap case needs a display
// (run under xvfb-run -a); without one it is skipped.
#include <benchmark/benchmark.h>
// First: it says whether wxGCDC exists, which <wx/dcgraph.h> asks.
#include <wx/wx.h>

#include <wx/dcgraph.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>

#include <cmath>
#include <cstdlib>

#include "plot/recording_surface.h"
#include "plot/wx_drawing_surface.h"
#include "plot/xy_plot.h"

namespace {

bool g_haveDisplay = false;

struct Samples {
  double times[100];
  double currents[100];
  Samples() {
    for (int i = 0; i < 100; ++i) {
      times[i] = i;
      currents[i] = 2.5e-6 * (1 - std::exp(-i / 20.0)) + 0.2e-6 * std::sin(i / 3.0);
    }
  }
};
const Samples kSamples;

int DrawLiveViewPlot(DrawingSurface& surface, int width, int height) {
  CXYPlot plot;
  plot.Init(&surface, SurfaceRect{0, 65, width, height});
  plot.AddSeries(100, kSamples.times, kSamples.currents, 10, 1, 1, 1, 1);
  plot.SetAxisTitles("Time [s]", "Amplitude");
  return plot.Draw();
}

void BM_DrawIntoRecordingSurface(benchmark::State& state) {
  RecordingSurface surface;
  for (auto _ : state) {
    surface.ClearLog();
    benchmark::DoNotOptimize(DrawLiveViewPlot(surface, 800, 600));
  }
  state.counters["calls"] = static_cast<double>(surface.Calls().size());
}
BENCHMARK(BM_DrawIntoRecordingSurface);

// Headless: a cairo context on an 800 x 600 wxImage. The surface is made per
// draw, as the view makes one per paint.
void BM_DrawIntoWxImage(benchmark::State& state) {
  wxImage image(800, 600);
  wxGCDC dc(wxGraphicsContext::Create(image));
  for (auto _ : state) {
    WxDrawingSurface surface(dc);
    benchmark::DoNotOptimize(DrawLiveViewPlot(surface, 800, 600));
  }
}
BENCHMARK(BM_DrawIntoWxImage)->Unit(benchmark::kMicrosecond);

// The desktop program's path: wxMemoryDC on an 800 x 600 wxBitmap.
void BM_DrawIntoWxBitmap(benchmark::State& state) {
  if (!g_haveDisplay) {
    state.SkipWithError("no display (run under xvfb-run -a)");
    return;
  }
  wxBitmap bitmap(800, 600);
  wxMemoryDC dc(bitmap);
  for (auto _ : state) {
    WxDrawingSurface surface(dc);
    benchmark::DoNotOptimize(DrawLiveViewPlot(surface, 800, 600));
  }
}
BENCHMARK(BM_DrawIntoWxBitmap)->Unit(benchmark::kMicrosecond);

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // A GTK application needs a display; without one only the headless cases run.
  const char* display = std::getenv("DISPLAY");
  g_haveDisplay = display != nullptr && *display != '\0' && wxEntryStart(argc, argv);
  wxInitializer* headless = g_haveDisplay ? nullptr : new wxInitializer;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_haveDisplay) wxEntryCleanup();
  delete headless;
  return 0;
}
