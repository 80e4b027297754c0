#include "datafile/data_file_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "datafile/data_line.h"

namespace {

// No data line comes near this; a longer one is kept only as "too long".
constexpr std::size_t kLongestDataLine = 256;
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

}  // namespace

void DataLineParser::ParseLine(const char* begin, const char* end) {
  double seconds = 0.0;
  double microamperes = 0.0;
  double volts = 0.0;
  bool hasVolts = false;
  const bool good =
      static_cast<std::size_t>(end - begin) <= kLongestDataLine &&
      ParseDataLine(begin, end, seconds, microamperes, volts, hasVolts) &&
      (hasVolts ? sink_.TakeSampleWithVolts(seconds, microamperes, volts) : sink_.TakeSample(seconds, microamperes));
  if (good) {
    ++tally_.dataLines;
  } else {
    CountBadLine();
  }
}

void DataLineParser::CountBadLine() {
  if (tally_.badLines == 0) {
    tally_.firstBadLine = tally_.dataLines + 1;
  }
  ++tally_.badLines;
}

void DataLineParser::Feed(const char* data, std::size_t size) {
  const char* at = data;
  const char* const end = data + size;
  if (!pending_.empty()) {
    const char* newline = static_cast<const char*>(std::memchr(at, '\n', size));
    if (newline == nullptr) {
      // Past the longest data line only the length matters, not the bytes.
      const std::size_t keep = std::min(size, kLongestDataLine + 1 - std::min(pending_.size(), kLongestDataLine + 1));
      pending_.insert(pending_.end(), at, at + keep);
      pendingExtra_ += size - keep;
      return;
    }
    pending_.insert(pending_.end(), at, newline);
    const std::size_t length = pending_.size() + pendingExtra_;
    if (pendingExtra_ == 0) {
      ParseLine(pending_.data(), pending_.data() + pending_.size());
    } else {
      CountBadLine();
    }
    tally_.bytesUsed += length + 1;
    pending_.clear();
    pendingExtra_ = 0;
    at = newline + 1;
  }
  while (at < end) {
    const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    if (newline == nullptr) {
      const std::size_t rest = static_cast<std::size_t>(end - at);
      const std::size_t keep = std::min(rest, kLongestDataLine + 1);
      pending_.assign(at, at + keep);
      pendingExtra_ = rest - keep;
      return;
    }
    ParseLine(at, newline);
    tally_.bytesUsed += static_cast<std::uint64_t>(newline - at) + 1;
    at = newline + 1;
  }
}

DataFileReading ReadDataFile(const std::string& path, DataLineSink& sink, const DataFileProgress& progress) {
  DataFileReading reading;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    reading.status = DataFileStatus::CannotOpen;
    return reading;
  }
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    reading.fileBytes = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  }
  std::rewind(file);
  DataLineParser parser(sink);
  std::unique_ptr<char[]> block(new char[kBlockBytes]);
  std::uint64_t done = 0;
  for (;;) {
    const std::size_t got = std::fread(block.get(), 1, kBlockBytes, file);
    parser.Feed(block.get(), got);
    done += got;
    if (got < kBlockBytes) {
      if (std::ferror(file)) {
        reading.status = DataFileStatus::ReadFailed;
      }
      break;
    }
    if (progress && !progress(done, reading.fileBytes)) {
      reading.status = DataFileStatus::Cancelled;
      break;
    }
  }
  std::fclose(file);
  reading.tally = parser.Tally();
  return reading;
}

std::string BadLinesText(const std::string& path, const DataFileTally& tally) {
  if (tally.badLines == 0) {
    return std::string();
  }
  const std::string first = std::to_string(tally.firstBadLine);
  if (tally.badLines == 1) {
    return "Line " + first + " of " + path + " is not a data line and was skipped.";
  }
  return std::to_string(tally.badLines) + " lines of " + path +
         " are not data lines and were skipped; the first is line " + first + ".";
}
