// open_run_bench: File > Open's read of a data file (IVRA_BENCH_DATA) into the
// opened window's store, with the progress check the window makes after every
// block, then its first whole-run plot at 1920 x 1080 (recording surface);
// and a Reload that finds 100 lines appended to such a file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "plot/recording_surface.h"
#include "ui/opened_run.h"
#include "ui/run_plot_zoom.h"
#include "ui/whole_run_view.h"

namespace {

const char* BenchData(benchmark::State& state) {
  const char* path = std::getenv("IVRA_BENCH_DATA");
  if (path == nullptr) state.SkipWithError("set IVRA_BENCH_DATA to a data file");
  return path;
}

void BM_OpenAndFirstPlot(benchmark::State& state) {
  const char* path = BenchData(state);
  if (path == nullptr) return;
  for (auto _ : state) {
    OpenedRun run(path);
    int checks = 0;
    run.ReadMore([&checks](std::uint64_t, std::uint64_t) { return ++checks > 0; });
    RunPlotZoom zoom;
    RecordingSurface surface;
    zoom.Paint(surface, SurfaceRect{0, 0, 1920, 1080}, run.Store(), WholeRunChannel(0));
    state.counters["lines"] = static_cast<double>(run.Tally().dataLines);
    state.counters["MiB"] = run.Store().MemoryBytes() / 1048576.0;
  }
}

void BM_ReloadHundredLines(benchmark::State& state) {
  const char* source = BenchData(state);
  if (source == nullptr) return;
  // A copy, since lines are appended to it.
  const std::string path = std::string(source) + ".reload-bench";
  {
    std::ifstream in(source, std::ios::binary);
    std::ofstream out(path, std::ios::binary);
    out << in.rdbuf();
  }
  OpenedRun run(path);
  run.ReadMore();
  double seconds = run.Store().TimeRange().max;
  for (auto _ : state) {
    state.PauseTiming();
    {
      std::ofstream out(path, std::ios::binary | std::ios::app);
      for (int i = 0; i < 100; ++i) out << (seconds += 1.0) << "\ts\t2.5\tuA\n";
    }
    state.ResumeTiming();
    run.ReadMore();
  }
  state.counters["samples"] = static_cast<double>(run.Store().Count());
  std::remove(path.c_str());
}

BENCHMARK(BM_OpenAndFirstPlot)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReloadHundredLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
