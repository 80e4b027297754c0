// Reads an Ivra data file back: one line per sample (datafile/data_line.h).
//
// A line that is not exactly of that form (a blank line, a missing unit, a
// number with text after it, a NaN or an infinity) is never guessed at: it is
// counted, the number of the first such line is kept, and reading goes on. A
// line ending in "\r\n" is read like one ending in "\n". A file still being
// written is read up to its last complete line; the bytes after it are left
// for a later read.
//
// The reader knows nothing of where the samples go: a DataLineSink takes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class DataLineSink {
 public:
  virtual ~DataLineSink() = default;
  // One data line. Returns false when the sample cannot be kept (its time is
  // earlier than the one before); the reader then counts the line as bad.
  virtual bool TakeSample(double seconds, double microamperes) = 0;
  // A data line that also holds the voltage set for it. Sinks that draw the
  // current alone leave it to TakeSample.
  virtual bool TakeSampleWithVolts(double seconds, double microamperes, double volts) {
    (void)volts;
    return TakeSample(seconds, microamperes);
  }
};

// The sink the viewers use: each sample's current appended, as the one channel,
// to a store with Append(seconds, const double* values) -> bool (a RunStore).
template <class Store>
class AppendingSink : public DataLineSink {
 public:
  explicit AppendingSink(Store& store) : store_(store) {}
  bool TakeSample(double seconds, double microamperes) override { return store_.Append(seconds, &microamperes); }

 private:
  Store& store_;
};

struct DataFileTally {
  std::uint64_t dataLines = 0;
  std::uint64_t badLines = 0;
  std::uint64_t firstBadLine = 0;  // 1-based; 0 when every line was a data line
  std::uint64_t bytesUsed = 0;     // up to the end of the last complete line
};

// Splits bytes into lines and parses them, in as many pieces as the bytes come.
class DataLineParser {
 public:
  explicit DataLineParser(DataLineSink& sink) : sink_(sink) {}

  // Parses every complete line in `size` bytes plus what earlier calls left;
  // keeps an incomplete last line for the next call.
  void Feed(const char* data, std::size_t size);
  const DataFileTally& Tally() const { return tally_; }
  // Bytes of an incomplete last line held back so far.
  std::size_t PendingBytes() const { return pending_.size() + pendingExtra_; }

 private:
  void ParseLine(const char* begin, const char* end);
  void CountBadLine();

  DataLineSink& sink_;
  DataFileTally tally_;
  // The start of an incomplete line (at most one byte past the longest data
  // line) and how many bytes of it were dropped.
  std::vector<char> pending_;
  std::size_t pendingExtra_ = 0;
};

enum class DataFileStatus { Read, CannotOpen, ReadFailed, Cancelled };

struct DataFileReading {
  DataFileStatus status = DataFileStatus::Read;
  DataFileTally tally;
  std::uint64_t fileBytes = 0;  // the size when reading began
};

// Called after each block read with the bytes done and the size when reading
// began; returning false stops the reading (status Cancelled).
using DataFileProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Reads the whole file at `path` in large blocks.
DataFileReading ReadDataFile(const std::string& path, DataLineSink& sink, const DataFileProgress& progress = nullptr);

// The bad-line note front ends show, e.g. "3 lines of run.dat are not data
// lines and were skipped; the first is line 17." Empty when there are none.
std::string BadLinesText(const std::string& path, const DataFileTally& tally);
