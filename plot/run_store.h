// RunStore: every sample of a run, compact enough for 10^7 samples, with
// min/max summaries so that drawing W pixel columns costs about W, not the
// number of samples.
//
// A sample is a time in seconds and one value per channel (1..4 channels,
// fixed at construction; a run stores current and voltage).
// - Times are kept in whole milliseconds, rounded: the data file logs
//   hundredths of a second. They must not decrease.
// - Values are kept as float: the data file logs values with 6 significant
//   digits, float's 24-bit mantissa holds about 7, so what the file shows
//   survives. Reading a value back gives the float nearest the appended one.
// - Append refuses a sample (returns false, stores nothing) when its time or a
//   value is not finite, when a value is beyond the float range, when the time
//   lies beyond +-1e12 s, or when the time, rounded, is earlier than the
//   latest stored one. So no NaN or infinity is ever stored or summarised.
//
// Storage: blocks of 4096 samples (see run_store_block.h); full blocks are
// bit-packed and immutable, so growth never copies samples and memory follows
// the samples held: a steady run at one sample a second, a noisy current and a
// constant voltage, takes about 3.6 bytes a sample (bench/plot/run_store.md).
//
// Summaries: min and max of each channel per 64 samples, per 512, per block,
// and above that per 8 blocks, 64 blocks, and so on. A column query splits its
// span by time, finds where each column ends by a galloping search from where
// the one before ended, takes whole summary entries inside the column and
// scans single samples only where the column's ends cut into an entry of 64.
// The result is exact: the min and max of precisely the samples whose times
// fall into the column.
//
// Threads: a RunStore is not locked; one thread appends and reads it. Another
// thread gets its own view through Snapshot(), taken by the appending thread
// and handed over: the snapshot is immutable, shares every full block with the
// store (they never change) and copies only the filling block and the small
// summaries above blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "plot/run_store_block.h"

struct ValueRange {
  bool empty = true;
  double min = 0.0;
  double max = 0.0;
};

// The samples of one pixel column.
struct ColumnRange {
  bool empty = true;
  std::size_t count = 0;
  double min = 0.0;  // the smallest and largest value in the column
  double max = 0.0;
  double first = 0.0;  // the values of its earliest and latest sample, to join
  double last = 0.0;   // a line to the neighbouring columns
};

// [t0, t1] split into `columns` columns of equal width; t1 itself falls into
// the last column. Usable only when t0 < t1, both finite, and columns > 0.
class ColumnSpan {
 public:
  ColumnSpan(double t0, double t1, int columns);
  bool Usable() const { return usable_; }
  // The column of time t: -1 before t0, `columns` after t1. Never decreases
  // as t grows, so a column's samples are one run of indices.
  int ColumnOf(double t) const;

 private:
  double t0_, t1_;
  int columns_;
  double columnsPerSecond_ = 0.0;
  bool usable_ = false;
};

struct RunSample {
  double time = 0.0;
  std::array<double, kMaxRunChannels> values{};
};

class RunStore {
 public:
  static constexpr int kMaxChannels = kMaxRunChannels;
  static constexpr double kMaxAbsSeconds = 1e12;

  // channelCount is clamped to 1..kMaxChannels.
  explicit RunStore(int channelCount = 2);

  int ChannelCount() const { return channelCount_; }
  // values holds ChannelCount() values. False when the sample is refused (see above).
  bool Append(double seconds, const double* values);
  // False also when the list does not hold exactly ChannelCount() values.
  bool Append(double seconds, std::initializer_list<double> values);

  std::size_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // Sample access, 0 <= index < Count(); channel 0 <= channel < ChannelCount().
  double TimeAt(std::size_t index) const;
  double ValueAt(int channel, std::size_t index) const;
  RunSample Sample(std::size_t index) const;
  // First and last time (empty when no sample is stored).
  ValueRange TimeRange() const;
  // Smallest and largest value of a channel over the whole run, for the axis.
  ValueRange ChannelRange(int channel) const;
  // The index of the first sample at or after `seconds` (Count() if none).
  std::size_t FirstIndexAtOrAfter(double seconds) const;

  // Min, max, first and last value of the channel in each of `columns`
  // columns over [t0, t1] (see ColumnSpan). Returns `columns` entries, all
  // empty when the span is not usable or the channel does not exist; none
  // when columns <= 0.
  std::vector<ColumnRange> MinMaxColumns(int channel, double t0, double t1, int columns) const;

  // Bytes held by the store's own allocations (blocks it shares with
  // snapshots count in full; the allocator's own overhead does not).
  std::size_t MemoryBytes() const;

  // An immutable copy for another thread (see above).
  std::shared_ptr<const RunStore> Snapshot() const;

 private:
  std::int64_t TimeMsAt(std::size_t index) const;
  float FloatAt(int channel, std::size_t index) const;
  // The summary entry of `level` (0: 64 samples, 1: 512, 2: a block, 3: 8
  // blocks, ...) that starts at sample `start`; the entry must be complete.
  const MinMaxF& Entry(int channel, int level, std::size_t start) const;
  // Exact min and max of the channel's samples [from, to), from < to.
  MinMaxF RangeMinMax(int channel, std::size_t from, std::size_t to) const;
  // The first index >= from whose time (in seconds) satisfies `reached`, a
  // test that once true stays true for later times; Count() if none.
  template <typename Reached>
  std::size_t FirstIndexWhere(std::size_t from, Reached reached) const;
  void SealOpenBlock();

  int channelCount_;
  std::size_t count_ = 0;
  std::int64_t lastMs_ = 0;
  std::vector<std::shared_ptr<const PackedBlock>> packed_;
  OpenBlock open_;
  // Summaries above blocks: upper_[u] has one entry per 8^(u+1) blocks, the
  // channels of an entry side by side.
  std::vector<std::vector<MinMaxF>> upper_;
  std::array<MinMaxF, kMaxRunChannels> overall_;
};
