#include "plot/run_store.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kUpperLevelBase = kBlockSummaryLevels;  // level 3 summarises 8 blocks
// What make_shared adds to each packed block for its use counts, about.
constexpr std::size_t kSharedControlBytes = 24;

double Seconds(std::int64_t ms) { return static_cast<double>(ms) / 1000.0; }

// Samples covered by one summary entry of `level`: 64 * 8^level = 1 << LevelShift.
int LevelShift(int level) { return 6 + 3 * level; }
static_assert(kSummarySpan[0] == 64 && kSummaryFanout == 8 && kRunBlockSamples == 64 * 8 * 8,
              "LevelShift assumes these sizes");

}  // namespace

ColumnSpan::ColumnSpan(double t0, double t1, int columns) : t0_(t0), t1_(t1), columns_(columns) {
  if (columns > 0 && std::isfinite(t0) && std::isfinite(t1) && t0 < t1 && std::isfinite(t1 - t0)) {
    columnsPerSecond_ = columns / (t1 - t0);
    usable_ = std::isfinite(columnsPerSecond_) && columnsPerSecond_ > 0.0;
  }
}

int ColumnSpan::ColumnOf(double t) const {
  if (t < t0_) return -1;
  if (t > t1_) return columns_;
  const double x = (t - t0_) * columnsPerSecond_;
  return x >= columns_ ? columns_ - 1 : static_cast<int>(x);
}

RunStore::RunStore(int channelCount) : channelCount_(std::clamp(channelCount, 1, kMaxChannels)), open_(channelCount_) {
  overall_.fill(EmptyMinMax());
}

bool RunStore::Append(double seconds, std::initializer_list<double> values) {
  if (values.size() != static_cast<std::size_t>(channelCount_)) return false;
  return Append(seconds, values.begin());
}

bool RunStore::Append(double seconds, const double* values) {
  if (!std::isfinite(seconds) || std::fabs(seconds) > kMaxAbsSeconds) return false;
  const std::int64_t ms = std::llround(seconds * 1000.0);
  if (count_ > 0 && ms < lastMs_) return false;
  float stored[kMaxChannels];
  for (int c = 0; c < channelCount_; ++c) {
    if (!std::isfinite(values[c])) return false;
    stored[c] = static_cast<float>(values[c]);
    if (!std::isfinite(stored[c])) return false;
  }
  open_.Append(ms, stored);
  for (int c = 0; c < channelCount_; ++c) Widen(overall_[c], stored[c]);
  lastMs_ = ms;
  ++count_;
  if (open_.Full()) SealOpenBlock();
  return true;
}

void RunStore::SealOpenBlock() {
  packed_.push_back(std::make_shared<const PackedBlock>(open_, channelCount_));
  open_.Clear();
  // Every upper entry whose last block this was can now be closed.
  const std::size_t blocks = packed_.size();
  std::size_t group = 1;
  for (std::size_t u = 0;; ++u) {
    group *= kSummaryFanout;
    if (blocks % group != 0) break;
    if (upper_.size() <= u) upper_.emplace_back();
    const std::size_t entry = blocks / group - 1;
    for (int c = 0; c < channelCount_; ++c) {
      MinMaxF range = EmptyMinMax();
      for (std::size_t i = entry * kSummaryFanout; i < (entry + 1) * kSummaryFanout; ++i) {
        Widen(range, u == 0 ? packed_[i]->Summaries(c)[kSummaryOffset[kBlockSummaryLevels - 1]]
                            : upper_[u - 1][i * channelCount_ + c]);
      }
      upper_[u].push_back(range);
    }
  }
}

std::int64_t RunStore::TimeMsAt(std::size_t index) const {
  const std::size_t block = index / kRunBlockSamples;
  const int k = static_cast<int>(index % kRunBlockSamples);
  return block < packed_.size() ? packed_[block]->TimeMs(k) : open_.TimeMs(k);
}

float RunStore::FloatAt(int channel, std::size_t index) const {
  const std::size_t block = index / kRunBlockSamples;
  const int k = static_cast<int>(index % kRunBlockSamples);
  return block < packed_.size() ? packed_[block]->Value(channel, k) : open_.Value(channel, k);
}

double RunStore::TimeAt(std::size_t index) const { return Seconds(TimeMsAt(index)); }

double RunStore::ValueAt(int channel, std::size_t index) const { return FloatAt(channel, index); }

RunSample RunStore::Sample(std::size_t index) const {
  RunSample sample;
  sample.time = TimeAt(index);
  for (int c = 0; c < channelCount_; ++c) sample.values[c] = ValueAt(c, index);
  return sample;
}

ValueRange RunStore::TimeRange() const {
  if (count_ == 0) return ValueRange{};
  return ValueRange{false, TimeAt(0), Seconds(lastMs_)};
}

ValueRange RunStore::ChannelRange(int channel) const {
  if (count_ == 0 || channel < 0 || channel >= channelCount_) return ValueRange{};
  return ValueRange{false, overall_[channel].min, overall_[channel].max};
}

template <typename Reached>
std::size_t RunStore::FirstIndexWhere(std::size_t from, Reached reached) const {
  // Galloping from `from`: the next column's edge is usually near, so the
  // search costs about twice the log of the distance, not of the run.
  std::size_t passed = from;  // the last index known not to be reached
  std::size_t probe = from;
  for (std::size_t step = 1;; step *= 2) {
    if (probe >= count_) {
      probe = count_;
      break;
    }
    if (reached(Seconds(TimeMsAt(probe)))) break;
    passed = probe;
    probe = from + step;
  }
  if (probe == from) return from;
  std::size_t low = passed + 1, high = probe;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (reached(Seconds(TimeMsAt(middle)))) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

std::size_t RunStore::FirstIndexAtOrAfter(double seconds) const {
  if (std::isnan(seconds)) return count_;
  return FirstIndexWhere(0, [seconds](double t) { return t >= seconds; });
}

const MinMaxF& RunStore::Entry(int channel, int level, std::size_t start) const {
  if (level < kUpperLevelBase) {
    const std::size_t block = start / kRunBlockSamples;
    const MinMaxF* summaries = block < packed_.size() ? packed_[block]->Summaries(channel) : open_.Summaries(channel);
    return summaries[kSummaryOffset[level] + ((start % kRunBlockSamples) >> LevelShift(level))];
  }
  return upper_[level - kUpperLevelBase][(start >> LevelShift(level)) * channelCount_ + channel];
}

MinMaxF RunStore::RangeMinMax(int channel, std::size_t from, std::size_t to) const {
  MinMaxF range = EmptyMinMax();
  // Single samples where the range's ends cut into an entry of 64 (the two
  // pieces never cross a block edge, blocks being whole entries).
  const std::size_t finest = kSummarySpan[0];
  auto scan = [&](std::size_t a, std::size_t b) {
    if (a >= b) return;
    const std::size_t block = a / kRunBlockSamples;
    const int k0 = static_cast<int>(a % kRunBlockSamples);
    const int k1 = k0 + static_cast<int>(b - a);
    if (block < packed_.size()) {
      packed_[block]->Scan(channel, k0, k1, range);
    } else {
      open_.Scan(channel, k0, k1, range);
    }
  };
  std::size_t low = from, high = to;
  const std::size_t leftEnd = std::min(high, (low + finest - 1) / finest * finest);
  scan(low, leftEnd);
  low = leftEnd;
  const std::size_t rightStart = std::max(low, high / finest * finest);
  scan(rightStart, high);
  high = rightStart;
  // Whole entries, climbing a level once both ends are aligned to it: at most
  // 7 entries per end and level.
  for (int level = 0; low < high; ++level) {
    const std::size_t span = std::size_t{1} << LevelShift(level);
    const std::size_t next = span * kSummaryFanout;
    for (; low < high && low % next != 0; low += span) Widen(range, Entry(channel, level, low));
    while (low < high && high % next != 0) {
      high -= span;
      Widen(range, Entry(channel, level, high));
    }
  }
  return range;
}

std::vector<ColumnRange> RunStore::MinMaxColumns(int channel, double t0, double t1, int columns) const {
  if (columns <= 0) return {};
  std::vector<ColumnRange> result(static_cast<std::size_t>(columns));
  const ColumnSpan span(t0, t1, columns);
  if (!span.Usable() || channel < 0 || channel >= channelCount_) return result;
  std::size_t from = FirstIndexWhere(0, [&span](double t) { return span.ColumnOf(t) >= 0; });
  for (int c = 0; c < columns && from < count_; ++c) {
    const std::size_t to = FirstIndexWhere(from, [&span, c](double t) { return span.ColumnOf(t) > c; });
    if (to > from) {
      const MinMaxF range = RangeMinMax(channel, from, to);
      ColumnRange& column = result[c];
      column.empty = false;
      column.count = to - from;
      column.min = range.min;
      column.max = range.max;
      column.first = FloatAt(channel, from);
      column.last = FloatAt(channel, to - 1);
    }
    from = to;
  }
  return result;
}

std::size_t RunStore::MemoryBytes() const {
  std::size_t bytes = sizeof(RunStore) + open_.MemoryBytes();
  bytes += packed_.capacity() * sizeof(packed_[0]);
  for (const auto& block : packed_) bytes += block->MemoryBytes() + kSharedControlBytes;
  bytes += upper_.capacity() * sizeof(upper_[0]);
  for (const auto& level : upper_) bytes += level.capacity() * sizeof(MinMaxF);
  return bytes;
}

std::shared_ptr<const RunStore> RunStore::Snapshot() const { return std::make_shared<const RunStore>(*this); }
