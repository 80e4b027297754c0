// The blocks of a RunStore: 4096 samples each, with their min/max summaries.
//
// The last block of a store fills in plain arrays (OpenBlock). Once full it is
// packed into a PackedBlock that never changes again, so that copies of a store
// can share it. A packed block bit-packs each column at the narrowest width
// that holds the whole block:
// - times, in milliseconds, as offsets from a straight line base + k * step
//   (the step is the block's median interval or its mean, whichever packs
//   narrower), so a steady interval with jitter and a few missed samples costs
//   a few bits a sample;
// - values, as float bit patterns mapped to unsigned integers that sort like
//   the floats, minus the block's smallest: a constant channel costs no bits, a
//   channel moving within a narrow band (the same sign and binary exponent)
//   at most 23, anything else at most 32.
// Any sample stays readable in constant time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

struct MinMaxF {
  float min;
  float max;
};

// An empty range that any value widens.
MinMaxF EmptyMinMax();
inline void Widen(MinMaxF& range, float value) {
  if (value < range.min) range.min = value;
  if (value > range.max) range.max = value;
}
inline void Widen(MinMaxF& range, const MinMaxF& other) {
  if (other.min < range.min) range.min = other.min;
  if (other.max > range.max) range.max = other.max;
}

constexpr int kRunBlockSamples = 4096;
constexpr int kMaxRunChannels = 4;
// Summary levels inside a block: min/max per 64 samples, per 512, per block.
constexpr int kBlockSummaryLevels = 3;
constexpr int kSummaryFanout = 8;
constexpr int kSummarySpan[kBlockSummaryLevels] = {64, 512, kRunBlockSamples};
constexpr int kSummaryOffset[kBlockSummaryLevels] = {0, 64, 72};
// Summary entries per channel and block, levels one after another.
constexpr int kBlockSummaryEntries = 64 + 8 + 1;

// The `width`-bit field at `bit` of a little-endian bit string (width 0..64).
inline std::uint64_t GetBits(const std::uint64_t* words, std::size_t bit, int width) {
  if (width == 0) return 0;
  const std::size_t word = bit >> 6;
  const int shift = static_cast<int>(bit & 63);
  std::uint64_t value = words[word] >> shift;
  if (shift + width > 64) value |= words[word + 1] << (64 - shift);
  return width == 64 ? value : value & ((std::uint64_t{1} << width) - 1);
}

// Float bit patterns mapped so that unsigned order is float order (no NaN
// ever gets here): negatives flipped whole, positives get the top bit.
inline std::uint32_t OrderedBits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

inline float FromOrderedBits(std::uint32_t ordered) {
  const std::uint32_t bits = (ordered & 0x80000000u) ? (ordered & 0x7fffffffu) : ~ordered;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

class OpenBlock {
 public:
  explicit OpenBlock(int channelCount);

  int Count() const { return count_; }
  bool Full() const { return count_ == kRunBlockSamples; }
  // Stores one sample; values holds one float per channel. Not when Full().
  void Append(std::int64_t timeMs, const float* values);
  void Clear() { count_ = 0; }

  std::int64_t TimeMs(int k) const { return timesMs_[k]; }
  float Value(int channel, int k) const { return values_[channel * kRunBlockSamples + k]; }
  // The channel's summaries, laid out as kSummaryOffset says; an entry is
  // valid once the samples it covers are all stored.
  const MinMaxF* Summaries(int channel) const { return &summaries_[channel * kBlockSummaryEntries]; }
  // Widens `range` by the channel's samples [from, to).
  void Scan(int channel, int from, int to, MinMaxF& range) const;
  std::size_t MemoryBytes() const;

 private:
  int channelCount_;
  int count_ = 0;
  std::vector<std::int64_t> timesMs_;
  std::vector<float> values_;  // channel c's samples start at c * kRunBlockSamples
  std::vector<MinMaxF> summaries_;
};

class PackedBlock {
 public:
  // Packs a full block.
  PackedBlock(const OpenBlock& full, int channelCount);

  std::int64_t TimeMs(int k) const {
    // Unsigned arithmetic wraps where an intermediate sum would overflow; the
    // result is the stored time, well inside the int64 range.
    return static_cast<std::int64_t>(
        time_.reference + static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(stepMs_) + Field(time_, k));
  }
  float Value(int channel, int k) const {
    const Column& column = channels_[channel];
    return FromOrderedBits(static_cast<std::uint32_t>(column.reference + Field(column, k)));
  }
  const MinMaxF* Summaries(int channel) const { return &summaries_[channel * kBlockSummaryEntries]; }
  void Scan(int channel, int from, int to, MinMaxF& range) const;
  std::size_t MemoryBytes() const;
  // Bits a sample takes in the time column and in a channel's column.
  int TimeBits() const { return time_.width; }
  int ValueBits(int channel) const { return channels_[channel].width; }

 private:
  struct Column {
    std::uint32_t firstWord = 0;  // where the column starts in words_
    int width = 0;                // bits per sample, 0..64
    std::uint64_t reference = 0;  // added to every stored field
  };
  std::uint64_t Field(const Column& column, int k) const {
    return GetBits(words_.data() + column.firstWord, static_cast<std::size_t>(k) * column.width, column.width);
  }

  std::int64_t stepMs_ = 0;
  Column time_;
  std::array<Column, kMaxRunChannels> channels_{};
  std::vector<std::uint64_t> words_;
  std::vector<MinMaxF> summaries_;
};
