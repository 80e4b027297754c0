// The data-file reader on any bytes, fed in pieces the input chooses: the
// tally and the samples do not depend on how the bytes are split; each line is
// judged as the line's grammar says; a line read back is written and read
// again to the same values; and every line the writer makes is read back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "datafile/data_file_reader.h"
#include "datafile/data_line.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/oracles.h"

namespace {

// The reader counts a longer line as bad without reading it: no line the
// writer makes comes near.
constexpr std::size_t kLongestDataLine = 256;
// The instrument's overflow mark in microamperes: no larger current is written.
constexpr double kLargestMicroamperes = 9.9e43;

using Samples = std::vector<std::pair<double, double>>;

// Like the viewers' store: a sample earlier than the one before is refused.
class Recorder : public DataLineSink {
 public:
  bool TakeSample(double seconds, double microamperes) override {
    if (!samples.empty() && seconds < samples.back().first) return false;
    samples.emplace_back(seconds, microamperes);
    return true;
  }
  Samples samples;
};

struct Outcome {
  DataFileTally tally;
  std::size_t pending = 0;
  Samples samples;
};

bool SameOutcome(const Outcome& a, const Outcome& b) {
  return a.tally.dataLines == b.tally.dataLines && a.tally.badLines == b.tally.badLines &&
         a.tally.firstBadLine == b.tally.firstBadLine && a.tally.bytesUsed == b.tally.bytesUsed &&
         a.pending == b.pending && a.samples.size() == b.samples.size() &&
         (a.samples.empty() ||
          std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * sizeof(a.samples[0])) == 0);
}

// Pieces of random sizes, empty ones among them, at most `largest` bytes;
// with `largest` 0, all in one.
Outcome FeedInPieces(std::string_view bytes, std::uint64_t seed, std::size_t largest) {
  Recorder recorder;
  DataLineParser parser(recorder);
  std::uint64_t state = seed | 1;
  std::size_t at = 0;
  if (largest == 0) parser.Feed(bytes.data(), bytes.size());
  while (largest != 0 && at < bytes.size()) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const std::size_t piece = std::min<std::size_t>(bytes.size() - at, state % (largest + 1));
    parser.Feed(bytes.data() + at, piece);
    at += piece;
  }
  return Outcome{parser.Tally(), parser.PendingBytes(), recorder.samples};
}

// Line by line, each judged by the grammar alone.
Outcome Expected(std::string_view bytes) {
  Outcome expected;
  Recorder recorder;
  std::size_t start = 0;
  for (std::size_t newline = bytes.find('\n'); newline != std::string_view::npos;
       start = newline + 1, newline = bytes.find('\n', start)) {
    const std::string_view line = bytes.substr(start, newline - start);
    const DataLineContent content = RereadDataLine(line);
    if (line.size() <= kLongestDataLine && content.isData &&
        recorder.TakeSample(content.seconds, content.microamperes)) {
      ++expected.tally.dataLines;
    } else {
      if (expected.tally.badLines++ == 0) expected.tally.firstBadLine = expected.tally.dataLines + 1;
    }
    expected.tally.bytesUsed = newline + 1;
  }
  expected.pending = bytes.size() - expected.tally.bytesUsed;
  expected.samples = recorder.samples;
  return expected;
}

bool Near(double read, double written, double relative, double absolute) {
  return std::fabs(read - written) <= relative * std::fabs(written) + absolute;
}

// Written with two decimals and six digits, read back within that precision;
// written again, byte for byte the same line.
void CheckWrittenLine(double seconds, double amperes) {
  const std::string line = FormatDataLine(seconds, amperes);
  FUZZ_CHECK(!line.empty() && line.back() == '\n' && line.size() <= kLongestDataLine + 1);
  Recorder recorder;
  DataLineParser parser(recorder);
  parser.Feed(line.data(), line.size());
  FUZZ_CHECK(parser.Tally().dataLines == 1 && parser.Tally().badLines == 0 && parser.PendingBytes() == 0);
  const auto [readSeconds, readMicroamperes] = recorder.samples.front();
  const double microamperes = amperes * 1e6;
  FUZZ_CHECK(Near(readSeconds, seconds, 1e-15, 0.005 + 1e-12));
  FUZZ_CHECK(Near(readMicroamperes, microamperes, 5e-6 + 1e-15, 1e-300));
  FUZZ_CHECK(FormatDataLine(readSeconds, readMicroamperes * 1e-6) == line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint64_t seed = input.ConsumeIntegral<std::uint64_t>();
  const double seconds = input.ConsumeFloatingPointInRange<double>(0.0, 1e9);
  const double current = input.ConsumeFloatingPointInRange<double>(-10.0, 10.0) *
                         std::pow(10.0, input.ConsumeIntegralInRange<int>(-40, 37));
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  const Outcome whole = FeedInPieces(bytes, seed, 0);
  FUZZ_CHECK(SameOutcome(whole, Expected(bytes)));
  FUZZ_CHECK(SameOutcome(FeedInPieces(bytes, seed, seed % 2 == 0 ? 3 : 600), whole));
  if (bytes.size() <= 1024) FUZZ_CHECK(SameOutcome(FeedInPieces(bytes, seed, 1), whole));

  for (const auto& [s, ua] : whole.samples) {
    FUZZ_CHECK(std::isfinite(s) && std::isfinite(ua));
    const bool writable = ua == 0.0 || (std::fabs(ua) >= 1e-280 && std::fabs(ua) < kLargestMicroamperes);
    if (writable && s >= 0.0 && s <= 1e9) CheckWrittenLine(s, ua * 1e-6);
  }
  if (std::fabs(current) < kLargestMicroamperes * 1e-6) CheckWrittenLine(seconds, current);
  return 0;
}
