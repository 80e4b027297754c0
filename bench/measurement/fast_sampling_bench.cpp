// Sampling below a second against the simulated SourceMeter 2400 on a
// pseudo-terminal, at NPLC 0.01 with auto-zero off and the shortened reply:
// the line's limit worked out from the characters and the instrument's time,
// then the run's own grid at the least interval Ivra allows: sustained rate, missed slots, the
// 99th percentile of (request time - slot), and CPU per sample (the
// simulator's thread included, as in ivra-run --simulate).
//
//   ivra_fast_sampling_bench [seconds] [baud] [interval ms]     (default 60 s, 57600)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "datafile/data_line.h"
#include "instrument/instrument_setup.h"
#include "run/measurement_run.h"
#include "sim/simulated_instrument.h"

namespace {

constexpr int kLeastGridIntervalMs = 20;  // the shortest --interval, 0.02 s

class QuietObserver final : public RunObserver {
 public:
  void ShowStartFailure(const StartFailure& failure) override {
    std::fprintf(stderr, "start failed (kind %d)\n", static_cast<int>(failure.kind));
  }
  void Redraw() override {}
  void ReportTrouble(SampleTrouble, const SnapshotPtr&) override {}
  void ReportOutputMayBeOn(const std::string& port) override {
    std::fprintf(stderr, "output may be on: %s\n", port.c_str());
  }
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

InstrumentSettings Fastest(int baud) {
  InstrumentSettings s;
  s.baud = baud;
  s.nplc = 0.01;
  s.autoZero = AutoZero::Off;
  return s;
}

void Measure(int baud, int intervalMs, int seconds) {
  SimOptions options;
  options.baud = baud;
  SimulatedInstrument sim(options);
  if (!sim.Start()) {
    std::fprintf(stderr, "cannot start the simulator: %s\n", sim.Error().c_str());
    return;
  }
  const std::string data = (std::filesystem::temp_directory_path() /
                            ("ivra-fast-bench-" + std::to_string(getpid()) + "-" + std::to_string(intervalMs) + ".dat"))
                               .string();
  MeasurementSettings settings;
  settings.portPath = sim.DevicePath();
  settings.sampleInterval = 0;
  settings.sampleIntervalMs = intervalMs;
  settings.measurementTime = seconds;
  settings.outputVoltage = 0.5;
  settings.outputPath = data;
  settings.instrument = Fastest(baud);
  MeasurementRun run;
  QuietObserver observer;
  if (run.Begin(settings, observer) != 0) return;
  std::vector<double> slotMs;
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  while (run.Measuring()) {
    const std::int64_t wait = run.NextSlotMs() - run.RunClock().NowMs();
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    const auto t0 = std::chrono::steady_clock::now();
    run.SampleSlot(observer);
    const double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (took > 0.5) slotMs.push_back(took);
  }
  std::sort(slotMs.begin(), slotMs.end());
  if (!slotMs.empty()) {
    std::printf("  a slot from request to stored line, ms: p50 %.2f p90 %.2f p99 %.2f max %.2f\n",
                slotMs[slotMs.size() / 2], slotMs[slotMs.size() * 9 / 10], slotMs[slotMs.size() * 99 / 100],
                slotMs.back());
  }
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  const RunCounters c = run.Snapshot()->counters;

  // Lateness of each request behind its slot, from the data file's millisecond stamps.
  std::vector<double> lateness;
  std::ifstream in(data);
  std::string line;
  while (std::getline(in, line)) {
    double t = 0, ua = 0;
    if (!ParseDataLine(line.data(), line.data() + line.size(), t, ua)) continue;
    const long ms = std::lround(t * 1000.0);
    lateness.push_back(static_cast<double>(ms % intervalMs));
  }
  std::sort(lateness.begin(), lateness.end());
  const double p99 = lateness.empty() ? 0.0 : lateness[static_cast<std::size_t>(0.99 * (lateness.size() - 1))];
  std::printf(
      "  interval %3d ms: %6d samples in %5.1f s = %6.2f samples/s, missed %d (late %d), "
      "p99(request - slot) %.0f ms, CPU %.3f ms/sample\n",
      intervalMs, c.samplesTaken, wall, c.samplesTaken / wall, c.missedSamples,
      c.missedByReason[static_cast<int>(MissReason::Late)], p99,
      c.samplesTaken > 0 ? cpu * 1000.0 / c.samplesTaken : 0.0);
  std::filesystem::remove(data);
  std::filesystem::remove(data + ".run.json");
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 60;
  const int baud = argc > 2 ? std::atoi(argv[2]) : 57600;
  std::printf("The line's limit at NPLC 0.01, auto-zero off, the shortened reply (%d + %d characters):\n",
              kShortRequestChars, kShortReplyChars);
  for (const int b : {57600, 9600}) {
    for (const int hz : {50, 60}) {
      const double ms = ShortSampleMs(Fastest(b), hz);
      std::printf("  %5d baud, %d Hz: %.2f ms a sample = %.1f samples/s; least interval %d ms\n", b, hz, ms,
                  1000.0 / ms, LeastIntervalMs(Fastest(b), hz));
    }
  }
  std::printf("Ivra against the simulator at %d baud (%d s each):\n", baud, seconds);
  // The simulator runs on 50 Hz mains unless told otherwise. The least interval
  // the program accepts is no shorter than its floor of 0.02 s; below it, the
  // grid at what the line itself carries (rounded up to the millisecond).
  const int least = LeastIntervalMs(Fastest(baud), 50);
  Measure(baud, std::max(kLeastGridIntervalMs, least), seconds);
  if (argc > 3) Measure(baud, std::atoi(argv[3]), seconds);
  else if (least < kLeastGridIntervalMs) Measure(baud, least, seconds);
  return 0;
}
