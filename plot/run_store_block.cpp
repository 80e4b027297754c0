#include "plot/run_store_block.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

int BitWidth(std::uint64_t value) {
  int width = 0;
  for (; value != 0; value >>= 1) ++width;
  return width;
}

void PutBits(std::uint64_t* words, std::size_t bit, std::uint64_t value, int width) {
  if (width == 0) return;
  const std::size_t word = bit >> 6;
  const int shift = static_cast<int>(bit & 63);
  words[word] |= value << shift;
  if (shift + width > 64) words[word + 1] |= value >> (64 - shift);
}

// Offsets of the block's times from t0 + k * step; the narrowest of the two
// candidate steps wins. Times lie within +-1e15 ms (RunStore's limit), so no
// product or difference here leaves the int64 range.
struct TimeLine {
  std::int64_t step;
  std::int64_t lowest;  // smallest offset
  std::uint64_t spread;
};

TimeLine FitTimeLine(const OpenBlock& block) {
  const int n = kRunBlockSamples;
  std::vector<std::int64_t> intervals(n - 1);
  for (int k = 0; k + 1 < n; ++k) intervals[k] = block.TimeMs(k + 1) - block.TimeMs(k);
  std::nth_element(intervals.begin(), intervals.begin() + (n - 1) / 2, intervals.end());
  const std::int64_t candidates[] = {intervals[(n - 1) / 2], (block.TimeMs(n - 1) - block.TimeMs(0)) / (n - 1)};
  TimeLine best{0, 0, std::numeric_limits<std::uint64_t>::max()};
  for (std::int64_t step : candidates) {
    std::int64_t lowest = std::numeric_limits<std::int64_t>::max();
    std::int64_t highest = std::numeric_limits<std::int64_t>::min();
    for (int k = 0; k < n; ++k) {
      const std::int64_t offset = (block.TimeMs(k) - block.TimeMs(0)) - k * step;
      lowest = std::min(lowest, offset);
      highest = std::max(highest, offset);
    }
    const std::uint64_t spread = static_cast<std::uint64_t>(highest) - static_cast<std::uint64_t>(lowest);
    if (spread < best.spread) best = TimeLine{step, lowest, spread};
  }
  return best;
}

}  // namespace

MinMaxF EmptyMinMax() {
  return MinMaxF{std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
}

OpenBlock::OpenBlock(int channelCount)
    : channelCount_(channelCount),
      timesMs_(kRunBlockSamples),
      values_(static_cast<std::size_t>(channelCount) * kRunBlockSamples),
      summaries_(static_cast<std::size_t>(channelCount) * kBlockSummaryEntries, EmptyMinMax()) {}

void OpenBlock::Append(std::int64_t timeMs, const float* values) {
  timesMs_[count_] = timeMs;
  for (int c = 0; c < channelCount_; ++c) values_[c * kRunBlockSamples + count_] = values[c];
  ++count_;
  // Close every summary entry this sample completes, finest first.
  for (int level = 0; level < kBlockSummaryLevels && count_ % kSummarySpan[level] == 0; ++level) {
    const int entry = count_ / kSummarySpan[level] - 1;
    for (int c = 0; c < channelCount_; ++c) {
      MinMaxF range = EmptyMinMax();
      if (level == 0) {
        Scan(c, count_ - kSummarySpan[0], count_, range);
      } else {
        const MinMaxF* below = Summaries(c) + kSummaryOffset[level - 1] + entry * kSummaryFanout;
        for (int i = 0; i < kSummaryFanout; ++i) Widen(range, below[i]);
      }
      summaries_[c * kBlockSummaryEntries + kSummaryOffset[level] + entry] = range;
    }
  }
}

void OpenBlock::Scan(int channel, int from, int to, MinMaxF& range) const {
  const float* values = &values_[channel * kRunBlockSamples];
  for (int k = from; k < to; ++k) Widen(range, values[k]);
}

std::size_t OpenBlock::MemoryBytes() const {
  return timesMs_.capacity() * sizeof(std::int64_t) + values_.capacity() * sizeof(float) +
         summaries_.capacity() * sizeof(MinMaxF);
}

PackedBlock::PackedBlock(const OpenBlock& full, int channelCount)
    : summaries_(full.Summaries(0), full.Summaries(0) + channelCount * kBlockSummaryEntries) {
  const int n = kRunBlockSamples;
  const TimeLine line = FitTimeLine(full);
  stepMs_ = line.step;
  time_.width = BitWidth(line.spread);
  time_.reference = static_cast<std::uint64_t>(full.TimeMs(0)) + static_cast<std::uint64_t>(line.lowest);

  std::array<std::uint32_t, kMaxRunChannels> lowest{};
  std::uint32_t words = static_cast<std::uint32_t>(time_.width) * (n / 64);
  for (int c = 0; c < channelCount; ++c) {
    std::uint32_t low = 0xffffffffu, high = 0;
    for (int k = 0; k < n; ++k) {
      const std::uint32_t bits = OrderedBits(full.Value(c, k));
      low = std::min(low, bits);
      high = std::max(high, bits);
    }
    lowest[c] = low;
    channels_[c].firstWord = words;
    channels_[c].width = BitWidth(high - low);
    channels_[c].reference = low;
    words += static_cast<std::uint32_t>(channels_[c].width) * (n / 64);
  }

  words_.assign(words, 0);
  for (int k = 0; k < n; ++k) {
    const std::uint64_t offset = static_cast<std::uint64_t>(full.TimeMs(k)) - time_.reference -
                                 static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(stepMs_);
    PutBits(words_.data(), static_cast<std::size_t>(k) * time_.width, offset, time_.width);
  }
  for (int c = 0; c < channelCount; ++c) {
    std::uint64_t* column = words_.data() + channels_[c].firstWord;
    for (int k = 0; k < n; ++k) {
      PutBits(column, static_cast<std::size_t>(k) * channels_[c].width, OrderedBits(full.Value(c, k)) - lowest[c],
              channels_[c].width);
    }
  }
}

void PackedBlock::Scan(int channel, int from, int to, MinMaxF& range) const {
  if (from >= to) return;
  // Ordered fields sort like the floats: find the extreme fields, decode two.
  const Column& column = channels_[channel];
  const int width = column.width;
  const std::uint64_t* words = words_.data() + column.firstWord;
  std::uint64_t low = ~std::uint64_t{0}, high = 0;
  for (std::size_t bit = static_cast<std::size_t>(from) * width; from < to; ++from, bit += width) {
    const std::uint64_t field = GetBits(words, bit, width);
    low = std::min(low, field);
    high = std::max(high, field);
  }
  Widen(range, FromOrderedBits(static_cast<std::uint32_t>(column.reference + low)));
  Widen(range, FromOrderedBits(static_cast<std::uint32_t>(column.reference + high)));
}

std::size_t PackedBlock::MemoryBytes() const {
  return sizeof(PackedBlock) + words_.capacity() * sizeof(std::uint64_t) + summaries_.capacity() * sizeof(MinMaxF);
}
