// The whole-run sample store: appending, memory, column queries and snapshots
// at the sizes of a day (86,400 samples) and of the longest run (10^7).
// Results and how to read them: bench/plot/run_store.md.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "plot/run_store.h"

namespace {

constexpr std::size_t kLongestRun = 10000000;
constexpr std::size_t kDay = 86400;

// What the channels look like; times are always one a second with 10 ms
// jitter and about one missed sample in a thousand.
enum Shape {
  kTypical,        // a current with noise in the 4th digit, a constant voltage
  kMeasuredVolts,  // the same, with the voltage measured: noise in the 5th digit
  kAnyCurrent,     // any finite float as current, a constant voltage
  kAnyBoth,        // any finite float in both channels: the worst case
};
const char* const kShapeNames[] = {"typical", "measured_volts", "any_current", "any_both"};

// Samples made up in advance, so that only the store is timed.
struct Samples {
  std::vector<double> times;
  std::vector<double> values;  // two per sample
};

float AnyFloat(std::mt19937& random) {
  float value;
  do {
    const std::uint32_t bits = random();
    std::memcpy(&value, &bits, sizeof value);
  } while (!std::isfinite(value));
  return value;
}

// 6 significant digits, as the data file keeps them.
double AsLogged(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%lg", value);
  return std::strtod(text, nullptr);
}

const Samples& MadeUp(Shape shape, std::size_t count) {
  static std::unique_ptr<Samples> cached;
  static Shape cachedShape;
  if (cached && cachedShape == shape && cached->times.size() >= count) return *cached;
  cached = std::make_unique<Samples>();
  cachedShape = shape;
  std::mt19937 random(17);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  cached->times.reserve(count);
  cached->values.reserve(2 * count);
  double tick = 0.0, drift = 1e-6;
  for (std::size_t i = 0; i < count; ++i) {
    tick += unit(random) < 0.001 ? 2.0 : 1.0;
    cached->times.push_back(std::round((tick + 0.01 * normal(random)) * 100) / 100);
    drift *= 1 + 1e-5 * normal(random);
    double current = drift * (1 + 1e-4 * normal(random));
    double volts = 0.5;
    if (shape == kMeasuredVolts) volts = 0.5 + 1e-5 * normal(random);
    if (shape == kAnyCurrent || shape == kAnyBoth) current = AnyFloat(random);
    if (shape == kAnyBoth) volts = AnyFloat(random);
    cached->values.push_back(shape == kTypical || shape == kMeasuredVolts ? AsLogged(current) : current);
    cached->values.push_back(shape == kMeasuredVolts ? AsLogged(volts) : volts);
  }
  return *cached;
}

std::unique_ptr<RunStore> Fill(const Samples& samples, std::size_t count) {
  auto store = std::make_unique<RunStore>(2);
  for (std::size_t i = 0; i < count; ++i) store->Append(samples.times[i], &samples.values[2 * i]);
  return store;
}

// Args: shape, sample count. Time per iteration = filling a store from empty.
void Append(benchmark::State& state) {
  const Shape shape = static_cast<Shape>(state.range(0));
  const std::size_t count = static_cast<std::size_t>(state.range(1));
  const Samples& samples = MadeUp(shape, count);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::unique_ptr<RunStore> store = Fill(samples, count);
    bytes = store->MemoryBytes();
    benchmark::DoNotOptimize(store.get());
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
  state.SetLabel(kShapeNames[shape]);
  // Seconds per sample (shown as e.g. 25n for 25 ns).
  state.counters["time_per_sample"] = benchmark::Counter(
      static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["MiB"] = bytes / 1048576.0;
  state.counters["bytes_per_sample"] = static_cast<double>(bytes) / count;
}
BENCHMARK(Append)
    ->ArgsProduct({{kTypical}, {kDay, kLongestRun}})
    ->ArgsProduct({{kMeasuredVolts, kAnyCurrent, kAnyBoth}, {kDay, kLongestRun}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The slowest single Append of a 10^6-sample fill: the one that packs a block.
void SlowestAppend(benchmark::State& state) {
  const std::size_t count = 1000000;
  const Samples& samples = MadeUp(kTypical, count);
  double slowest = 0.0;
  for (auto _ : state) {
    RunStore store(2);
    for (std::size_t i = 0; i < count; ++i) {
      const auto start = std::chrono::steady_clock::now();
      store.Append(samples.times[i], &samples.values[2 * i]);
      const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
      slowest = std::max(slowest, took.count());
    }
  }
  state.counters["slowest_us"] = slowest;
}
BENCHMARK(SlowestAppend)->Unit(benchmark::kMillisecond)->Iterations(1);

const RunStore& LongestRun() {
  static const std::unique_ptr<RunStore> store = Fill(MadeUp(kTypical, kLongestRun), kLongestRun);
  return *store;
}

// 1920 columns over a span of the 10^7-sample run, centred on its middle; the
// arg divides the run (1, 10, 1000), or 0 for a span of 100 samples.
void Columns(benchmark::State& state) {
  const RunStore& store = LongestRun();
  const ValueRange run = store.TimeRange();
  const double length = state.range(0) == 0 ? 100.0 : (run.max - run.min) / state.range(0);
  const double middle = (run.min + run.max) / 2;
  const double t0 = state.range(0) == 1 ? run.min : middle - length / 2;
  const double t1 = state.range(0) == 1 ? run.max : middle + length / 2;
  std::size_t samples = 0;
  for (auto _ : state) {
    const std::vector<ColumnRange> columns = store.MinMaxColumns(0, t0, t1, 1920);
    samples = 0;
    for (const ColumnRange& column : columns) samples += column.count;
    benchmark::DoNotOptimize(columns.data());
  }
  state.counters["samples_in_span"] = static_cast<double>(samples);
}
BENCHMARK(Columns)->Arg(1)->Arg(10)->Arg(1000)->Arg(0)->Unit(benchmark::kMicrosecond);

void Snapshot(benchmark::State& state) {
  const RunStore& store = LongestRun();
  for (auto _ : state) benchmark::DoNotOptimize(store.Snapshot());
}
BENCHMARK(Snapshot)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
