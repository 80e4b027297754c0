// The whole-run sample store: stored values, column summaries against brute
// force, the column rule, refusals, memory and snapshots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "plot/run_store.h"

namespace {

// Every column field recomputed from the stored samples one by one.
std::vector<ColumnRange> BruteColumns(const RunStore& store, int channel, double t0, double t1, int columns) {
  std::vector<ColumnRange> result(columns);
  const ColumnSpan span(t0, t1, columns);
  for (std::size_t i = 0; span.Usable() && i < store.Count(); ++i) {
    const int c = span.ColumnOf(store.TimeAt(i));
    if (c < 0 || c >= columns) continue;
    const double v = store.ValueAt(channel, i);
    ColumnRange& column = result[c];
    if (column.empty) column = ColumnRange{false, 0, v, v, v, v};
    column.count++;
    column.min = std::min(column.min, v);
    column.max = std::max(column.max, v);
    column.last = v;
  }
  return result;
}

void ExpectSameColumns(const std::vector<ColumnRange>& got, const std::vector<ColumnRange>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t c = 0; c < want.size(); ++c) {
    ASSERT_EQ(got[c].empty, want[c].empty) << "column " << c;
    ASSERT_EQ(got[c].count, want[c].count) << "column " << c;
    if (want[c].empty) continue;
    ASSERT_EQ(got[c].min, want[c].min) << "column " << c;
    ASSERT_EQ(got[c].max, want[c].max) << "column " << c;
    ASSERT_EQ(got[c].first, want[c].first) << "column " << c;
    ASSERT_EQ(got[c].last, want[c].last) << "column " << c;
  }
}

// A run with jitter, missed samples, long pauses and repeated times; a current
// that wanders and jumps by decades, a voltage that steps now and then; and
// extremes planted on summary and block edges.
void FillRandomRun(RunStore& store, std::size_t count, std::mt19937& random, std::vector<double>& times,
                   std::vector<float>& currents, std::vector<float>& volts) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::size_t edges[] = {0, 63, 64, 511, 512, 4095, 4096, 4097, 32767, 32768, 262143, 262144, count - 1};
  double t = 100.0 * unit(random), current = 1e-6, voltage = 0.5;
  for (std::size_t i = 0; i < count; ++i) {
    const double p = unit(random);
    if (p < 0.01) t += std::floor(50 * unit(random));  // missed samples
    if (p > 0.9995) t += 1e5 * unit(random);           // a long pause
    if (p < 0.001) current *= std::pow(10.0, std::floor(7 * unit(random)) - 3);
    if (p > 0.998) voltage = std::round(20 * unit(random) - 10) / 8;
    if (p < 0.2 || p > 0.21) t += 1.0 + 0.06 * (unit(random) - 0.5);  // else the same time again
    double value = current * (1 + 0.01 * (unit(random) - 0.5));
    double volt = voltage;
    if (std::find(std::begin(edges), std::end(edges), i) != std::end(edges)) {
      value = (i % 2 ? 1e3 : -1e3) * (1 + unit(random));
      volt = -value;
    }
    ASSERT_TRUE(store.Append(t, {value, volt}));
    times.push_back(std::llround(t * 1000.0) / 1000.0);
    currents.push_back(static_cast<float>(value));
    volts.push_back(static_cast<float>(volt));
  }
}

TEST(RunStore, StoresSamplesAndSummarisesColumnsExactlyOnRandomRuns) {
  std::mt19937 random(20261208);
  for (std::size_t count : {1000u, 40000u, 300000u + 123u}) {
    RunStore store;
    std::vector<double> times;
    std::vector<float> currents, volts;
    FillRandomRun(store, count, random, times, currents, volts);
    ASSERT_EQ(store.Count(), count);
    // Every sample reads back: times to the millisecond, values as floats.
    for (std::size_t i = 0; i < count; ++i) {
      ASSERT_EQ(store.TimeAt(i), times[i]) << i;
      ASSERT_EQ(store.ValueAt(0, i), currents[i]) << i;
      ASSERT_EQ(store.Sample(i).values[1], volts[i]) << i;
    }
    EXPECT_EQ(store.ChannelRange(0).min, *std::min_element(currents.begin(), currents.end()));
    EXPECT_EQ(store.ChannelRange(1).max, *std::max_element(volts.begin(), volts.end()));
    EXPECT_EQ(store.TimeRange().max, times.back());

    const double first = times.front(), last = times.back();
    std::uniform_real_distribution<double> when(first - 10, last + 10);
    std::uniform_int_distribution<std::size_t> index(0, count - 1);
    std::uniform_int_distribution<int> width(1, 2000);
    for (int query = 0; query < 24; ++query) {
      double t0 = when(random), t1 = when(random);
      if (query % 3 == 0) t0 = first, t1 = last;
      if (query % 3 == 1) {
        // Span ends on sample times, one column per sample interval, so column
        // edges fall on samples.
        t0 = times[index(random)];
        t1 = times[index(random)];
      }
      if (t1 < t0) std::swap(t0, t1);
      // Few columns make whole summaries of 8 and 64 blocks count.
      const int columns = query % 3 == 1 ? std::clamp(static_cast<int>(t1 - t0), 1, 5000)
                          : query < 6    ? 1 + query % 3
                                         : width(random);
      const int channel = query % 2;
      ExpectSameColumns(store.MinMaxColumns(channel, t0, t1, columns), BruteColumns(store, channel, t0, t1, columns));
      EXPECT_EQ(store.FirstIndexAtOrAfter(t0),
                static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), t0) - times.begin()));
    }
  }
}

TEST(RunStore, SpikeOfOneSampleInAMillionShowsInAThousandColumns) {
  RunStore store;
  const std::size_t spike = 654321, dip = 123457;
  for (std::size_t i = 0; i < 1000000; ++i) {
    const double value = i == spike ? 5e-6 : i == dip ? -5e-6 : 1e-6 * (1 + 1e-3 * std::sin(i * 0.1));
    ASSERT_TRUE(store.Append(static_cast<double>(i), {value, 0.5}));
  }
  const std::vector<ColumnRange> columns = store.MinMaxColumns(0, 0, 999999, 1000);
  for (int c = 0; c < 1000; ++c) {
    ASSERT_FALSE(columns[c].empty);
    EXPECT_EQ(columns[c].max == static_cast<float>(5e-6), c == 654) << c;  // 654321 * 1000 / 999999
    EXPECT_EQ(columns[c].min == static_cast<float>(-5e-6), c == 123) << c;
    EXPECT_GT(columns[c].count, 999u);
  }
  // A span that starts or ends on the spike keeps it in its first or last column.
  EXPECT_EQ(store.MinMaxColumns(0, 654321, 700000, 1000).front().max, static_cast<float>(5e-6));
  EXPECT_EQ(store.MinMaxColumns(0, 600000, 654321, 1000).back().max, static_cast<float>(5e-6));
}

TEST(RunStore, EmptyStoreOneSampleRefusalsAndTheColumnRule) {
  RunStore store;
  EXPECT_TRUE(store.TimeRange().empty);
  EXPECT_TRUE(store.ChannelRange(0).empty);
  EXPECT_EQ(store.FirstIndexAtOrAfter(0), 0u);
  EXPECT_TRUE(store.MinMaxColumns(0, 0, 10, 5).at(4).empty);
  EXPECT_TRUE(store.MinMaxColumns(0, 0, 10, 0).empty());

  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(store.Append(nan, {1, 1}));
  EXPECT_FALSE(store.Append(1, {nan, 1}));
  EXPECT_FALSE(store.Append(1, {1, -inf}));
  EXPECT_FALSE(store.Append(1, {1e39, 1}));  // beyond float
  EXPECT_FALSE(store.Append(2e12, {1, 1}));
  EXPECT_FALSE(store.Append(1, {1}));
  EXPECT_EQ(store.Count(), 0u);

  ASSERT_TRUE(store.Append(5, {1.5, -2}));
  EXPECT_FALSE(store.Append(4.99, {1, 1}));  // earlier than the last sample
  ASSERT_EQ(store.Count(), 1u);
  const std::vector<ColumnRange> columns = store.MinMaxColumns(1, 0, 10, 10);
  for (int c = 0; c < 10; ++c) EXPECT_EQ(columns[c].empty, c != 5) << c;
  EXPECT_EQ(columns[5].count, 1u);
  EXPECT_EQ(columns[5].min, -2);
  EXPECT_EQ(columns[5].last, -2);
  EXPECT_FALSE(store.MinMaxColumns(0, 0, 5, 4)[3].empty);  // t1 itself: the last column
  EXPECT_TRUE(store.MinMaxColumns(0, 5.001, 10, 4)[0].empty);
  EXPECT_TRUE(store.MinMaxColumns(0, 5, 5, 4)[0].empty);    // no span
  EXPECT_TRUE(store.MinMaxColumns(2, 0, 10, 10)[5].empty);  // no such channel

  const ColumnSpan span(0, 10, 10);
  EXPECT_EQ(span.ColumnOf(3.0), 3);
  EXPECT_EQ(span.ColumnOf(2.9999), 2);
  EXPECT_EQ(span.ColumnOf(10), 9);
  EXPECT_EQ(span.ColumnOf(-0.001), -1);
  EXPECT_EQ(span.ColumnOf(10.001), 10);
}

TEST(RunStore, ADayOfSamplesFitsInTwoMebibytesEvenWithNoisyValues) {
  std::mt19937 random(86400);
  std::normal_distribution<double> jitter(0.0, 0.01);
  std::uniform_int_distribution<std::uint32_t> bits;
  RunStore typical, noisy;
  for (int i = 0; i < 86400; ++i) {
    const double t = i + jitter(random);
    ASSERT_TRUE(typical.Append(t, {1e-6 * (1 + 0.001 * jitter(random)), 0.5}));
    // Any finite float: both channels at full entropy.
    float any[2];
    for (float& v : any) {
      do {
        const std::uint32_t b = bits(random);
        std::memcpy(&v, &b, sizeof v);
      } while (!std::isfinite(v));
    }
    ASSERT_TRUE(noisy.Append(t, {any[0], any[1]}));
  }
  EXPECT_LT(typical.MemoryBytes(), 2u << 20);
  EXPECT_LT(noisy.MemoryBytes(), 2u << 20);
  // The accounting cannot hide the samples: 8 bytes of values each at least.
  EXPECT_GT(noisy.MemoryBytes(), 86400u * 8);
  EXPECT_LT(typical.MemoryBytes(), noisy.MemoryBytes() / 2);
}

TEST(RunStore, SnapshotKeepsItsSamplesWhileTheStoreGrows) {
  RunStore store;
  for (int i = 0; i < 10000; ++i) ASSERT_TRUE(store.Append(i, {std::sin(i * 0.01), i * 1e-3}));
  const std::shared_ptr<const RunStore> snapshot = store.Snapshot();
  const std::vector<ColumnRange> before = store.MinMaxColumns(0, 0, 20000, 700);
  for (int i = 10000; i < 20000; ++i) ASSERT_TRUE(store.Append(i, {-5.0 + (i % 7), 0.0}));
  EXPECT_EQ(snapshot->Count(), 10000u);
  EXPECT_EQ(snapshot->ValueAt(1, 9999), static_cast<float>(9.999));
  ExpectSameColumns(snapshot->MinMaxColumns(0, 0, 20000, 700), before);
  EXPECT_NE(store.MinMaxColumns(0, 0, 20000, 700)[500].count, 0u);
}

}  // namespace
