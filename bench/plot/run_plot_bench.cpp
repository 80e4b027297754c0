// run_plot_bench: the whole-run plot at 1920 x 1080 from 10^7 samples, at
// several zooms, through the recording surface (the engine and the column
// queries alone), the SVG surface, the wx surface into an image (as a PNG
// export draws) and, with a display, into a screen bitmap through a memory DC
// (as the window's paint draws into its buffer). With IVRA_BENCH_DATA naming a
// data file, also reading that file into a one-channel RunStore.
#include <benchmark/benchmark.h>
#include <wx/defs.h>
// After defs.h, which tells dcgraph.h that graphics contexts are built in.
#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcgraph.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/init.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

#include "datafile/data_file_reader.h"
#include "plot/recording_surface.h"
#include "plot/run_plot.h"
#include "plot/run_store.h"
#include "plot/svg_surface.h"
#include "plot/wx_drawing_surface.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kSamples = 1e7;

// A drifting current with noise in the 4th digit, logged to 6 digits, one
// sample a second with 10 ms of jitter: the shape the store bench calls typical.
const RunStore& TenMillionSamples() {
  static const std::unique_ptr<RunStore> store = [] {
    auto made = std::make_unique<RunStore>(1);
    std::mt19937_64 random(5);
    std::normal_distribution<double> noise(0.0, 1e-3);
    std::uniform_real_distribution<double> jitter(0.0, 0.01);
    for (int i = 0; i < static_cast<int>(kSamples); ++i) {
      const double value = std::round((2.5 + i * 1e-7 + noise(random)) * 1e5) / 1e5;
      const double time = std::round((i + jitter(random)) * 100.0) / 100.0;
      made->Append(time, &value);
    }
    return made;
  }();
  return *store;
}

RunPlotRequest Zoom(int divisor) {
  RunPlotRequest request;
  if (divisor > 1) {
    request.from = kSamples / 2;
    request.to = kSamples / 2 + kSamples / divisor;
  }
  return request;
}

void BM_RecordingSurface(benchmark::State& state) {
  const RunStore& store = TenMillionSamples();
  const RunPlotRequest request = Zoom(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    RecordingSurface surface;
    benchmark::DoNotOptimize(DrawRunPlot(&surface, SurfaceRect{0, 0, kWidth, kHeight}, store, request));
  }
}

void BM_SvgSurface(benchmark::State& state) {
  const RunStore& store = TenMillionSamples();
  const RunPlotRequest request = Zoom(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    SvgSurface surface(kWidth, kHeight);
    DrawRunPlot(&surface, SurfaceRect{0, 0, kWidth, kHeight}, store, request);
    benchmark::DoNotOptimize(surface.Document());
  }
}

void BM_WxImage(benchmark::State& state) {
  const RunStore& store = TenMillionSamples();
  const RunPlotRequest request = Zoom(static_cast<int>(state.range(0)));
  wxImage image(kWidth, kHeight);
  for (auto _ : state) {
    image.SetRGB(wxRect(0, 0, kWidth, kHeight), 255, 255, 255);
    wxGCDC dc(wxGraphicsContext::Create(image));
    WxDrawingSurface surface(dc);
    benchmark::DoNotOptimize(DrawRunPlot(&surface, SurfaceRect{0, 0, kWidth, kHeight}, store, request));
  }
}

// The window's paint: the whole-run view drawn into a bitmap of the screen's
// format, as the buffered paint of the canvas does, with no image conversion.
void BM_WxScreenBitmap(benchmark::State& state) {
  if (!wxTheApp || !wxTheApp->IsGUI()) {
    state.SkipWithError("needs a display (run under xvfb-run)");
    return;
  }
  const RunStore& store = TenMillionSamples();
  const RunPlotRequest request = Zoom(static_cast<int>(state.range(0)));
  wxBitmap bitmap(kWidth, kHeight);
  for (auto _ : state) {
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    WxDrawingSurface surface(dc);
    benchmark::DoNotOptimize(DrawRunPlot(&surface, SurfaceRect{0, 0, kWidth, kHeight}, store, request));
  }
}

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

void BM_ReadDataFile(benchmark::State& state) {
  const char* path = std::getenv("IVRA_BENCH_DATA");
  if (path == nullptr) {
    state.SkipWithError("set IVRA_BENCH_DATA to a data file");
    return;
  }
  for (auto _ : state) {
    RunStore store(1);
    AppendingSink<RunStore> sink(store);
    const DataFileReading reading = ReadDataFile(path, sink);
    state.counters["lines"] = static_cast<double>(reading.tally.dataLines);
    state.counters["MiB"] = store.MemoryBytes() / 1048576.0;
  }
}

// Zoom: 1 the whole run, 10 a tenth of it, 1000 a thousandth, 100000 100 s.
BENCHMARK(BM_RecordingSurface)->Arg(1)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SvgSurface)->Arg(1)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WxImage)->Arg(1)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WxScreenBitmap)->Arg(1)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDataFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  // With a display, a GUI application, so that screen bitmaps exist.
  if (std::getenv("DISPLAY") != nullptr) wxApp::SetInitializerFunction([]() -> wxAppConsole* { return new BenchApp; });
  wxInitializer initializer(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
