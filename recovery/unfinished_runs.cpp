#include "recovery/unfinished_runs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "connection/connection_link.h"
#include "datafile/data_file.h"
#include "datafile/data_line.h"
#include "instrument/instrument_protocol.h"
#include "instrument/scpi_commands.h"

namespace fs = std::filesystem;

namespace {

constexpr char kRecordSuffix[] = ".run.json";
constexpr char kEntrySuffix[] = ".entry";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  const fs::path absolute = fs::absolute(path, ignored);
  return absolute.empty() ? path : absolute.lexically_normal().string();
}

// One entry per record, named by its path's FNV-1a hash: short, and the same every time.
std::string EntryPath(const std::string& absoluteRecordPath) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : absoluteRecordPath) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  return (fs::path(RunStateFolder()) / (std::string(name) + kEntrySuffix)).string();
}

bool ReadWhole(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream buffer;
  buffer << file.rdbuf();
  text = buffer.str();
  return true;
}

// What the data file holds: its whole lines, the last one's elapsed, and the
// bytes of a line a crash left without its end.
struct FileTail {
  long long lines = 0;
  double lastElapsed = -1.0;
  long long tornBytes = 0;
};

FileTail ReadTail(const std::string& path) {
  FileTail tail;
  std::ifstream file(path, std::ios::binary);
  if (!file) return tail;
  char block[1 << 16];
  long long offset = 0;
  long long lastEnd = -1;  // offset of the last "\n"
  long long lineEnd = -1;  // and of the one before it
  while (file) {
    file.read(block, sizeof block);
    const std::streamsize n = file.gcount();
    if (n <= 0) break;
    for (std::streamsize i = 0; i < n; ++i) {
      if (block[i] != '\n') continue;
      ++tail.lines;
      lineEnd = lastEnd;
      lastEnd = offset + i;
    }
    offset += n;
  }
  tail.tornBytes = offset - (lastEnd + 1);
  if (lastEnd < 0) return tail;
  std::ifstream again(path, std::ios::binary);
  const long long from = lineEnd + 1;
  std::string line(static_cast<std::size_t>(lastEnd - from), '\0');
  again.seekg(from);
  again.read(&line[0], static_cast<std::streamsize>(line.size()));
  double seconds = 0.0, microamperes = 0.0, volts = 0.0;
  bool hasVolts = false;
  if (again && ParseDataLine(line.data(), line.data() + line.size(), seconds, microamperes, volts, hasVolts)) {
    tail.lastElapsed = seconds;
  }
  return tail;
}

std::string OutputPathOf(const std::string& recordPath) {
  return recordPath.substr(0, recordPath.size() - (sizeof kRecordSuffix - 1));
}

UnfinishedRun DescribeRun(const std::string& recordPath, const ResumePlan& plan) {
  UnfinishedRun run;
  run.recordPath = recordPath;
  run.outputPath = OutputPathOf(recordPath);
  run.connection = plan.settings.portPath;
  run.startClock = plan.record.startClock;
  run.pid = plan.record.pid;
  run.host = plan.record.host;
  run.plannedEndClock = plan.record.plannedEndClock;
  const FileTail tail = ReadTail(run.outputPath);
  run.samplesWritten = tail.lines;
  run.lastLineElapsed = tail.lastElapsed;
  if (tail.lastElapsed >= 0) {
    run.lastLineClock = WallClockText(plan.start + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                                       std::chrono::duration<double>(tail.lastElapsed)));
  }
  const double sinceStart = std::chrono::duration<double>(std::chrono::system_clock::now() - plan.start).count();
  run.plannedEndPassed = sinceStart >= plan.settings.measurementTime;
  return run;
}

}  // namespace

void ListRunningRun(const std::string& recordPath, bool running) {
  const std::string entry = EntryPath(Absolute(recordPath));
  std::error_code ignored;
  if (!running) {
    fs::remove(entry, ignored);
    return;
  }
  // Best effort: a state folder that can't be written must not stop a measurement.
  fs::create_directories(RunStateFolder(), ignored);
  std::string error;
  ReplaceFileAtomically(entry, Absolute(recordPath) + "\n", error);
}

RunLookupResult LookUpRun(const std::string& path) {
  RunLookupResult result;
  result.recordPath = Absolute(EndsWith(path, kRecordSuffix) ? path : path + kRecordSuffix);
  std::string text;
  std::error_code ignored;
  if (!fs::is_regular_file(result.recordPath, ignored) || !ReadWhole(result.recordPath, text)) {
    result.lookup = RunLookup::NoRecord;
    return result;
  }
  ResumePlan plan;
  if (!ReadRunRecord(text, plan, result.problem)) {
    result.lookup = RunLookup::NotARun;
    return result;
  }
  result.pid = plan.record.pid;
  result.run = DescribeRun(result.recordPath, plan);
  // The lock first: whatever the record says, a held lock is a run going on.
  if (DataFileLocked(result.run.outputPath)) {
    result.lookup = RunLookup::Alive;
  } else if (plan.record.ended) {
    result.lookup = RunLookup::Ended;
    result.outputMayBeOn = plan.record.outputOffDelivered != 1;
  } else {
    result.lookup = RunLookup::Unfinished;
  }
  return result;
}

std::vector<UnfinishedRun> FindUnfinishedRuns() {
  std::vector<std::pair<std::string, UnfinishedRun>> found;
  std::error_code error;
  for (fs::directory_iterator it(RunStateFolder(), error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().string();
    if (!EndsWith(entry, kEntrySuffix)) continue;  // a temporary file of an entry being written
    std::string recordPath;
    std::ifstream file(entry);
    std::getline(file, recordPath);
    file.close();
    const RunLookupResult result = recordPath.empty() ? RunLookupResult{} : LookUpRun(recordPath);
    if (result.lookup == RunLookup::Unfinished) {
      found.emplace_back(result.run.startClock, result.run);
    } else if (result.lookup != RunLookup::Alive) {
      std::error_code ignored;
      fs::remove(entry, ignored);  // ended, or nothing left to find
    }
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    std::chrono::system_clock::time_point ta, tb;
    ParseWallClock(a.first, ta);
    ParseWallClock(b.first, tb);
    return ta < tb;
  });
  std::vector<UnfinishedRun> runs;
  for (auto& run : found) runs.push_back(std::move(run.second));
  return runs;
}

RecoverResult RecoverUnfinishedRun(const UnfinishedRun& run) {
  RecoverResult result;
  if (DataFileLocked(run.outputPath)) {
    result.alive = true;
    return result;
  }
  std::string text;
  ResumePlan plan;
  if (!ReadWhole(run.recordPath, text) || !ReadRunRecord(text, plan, result.recordError)) {
    if (result.recordError.empty()) result.recordError = "the record could not be read";
    return result;
  }
  ConnectionInstrumentLink link;
  link.SetBaudRate(plan.settings.instrument.baud);
  link.SetLineFormat(plan.settings.instrument.lineFormat);
  link.SetGpibAddress(plan.settings.gpibAddress);
  result.portOpened = link.Open(plan.settings.portPath, &result.portError);
  if (result.portOpened) {
    // As Stop does: the close waits for the command to leave the port.
    const bool sent = SendCommand(link, kOutputOffCommand) && !link.Lost();
    link.Close();
    result.outputOff = sent && !link.Lost();
  } else {
    result.portError.path = plan.settings.portPath;
  }
  const std::string closed = InterruptedRecordJson(text, run.lastLineElapsed, run.lastLineClock,
                                                   WallClockText(std::chrono::system_clock::now()), result.outputOff,
                                                   ReadTail(run.outputPath).lines, result.recordError);
  if (!closed.empty()) ReplaceFileAtomically(run.recordPath, closed, result.recordError);
  ListRunningRun(run.recordPath, false);
  return result;
}

bool ReadResumePlan(const UnfinishedRun& run, ResumePlan& plan, std::string& problem) {
  std::string text;
  if (!ReadWhole(run.recordPath, text)) {
    problem = "its record " + run.recordPath + " can't be read";
    return false;
  }
  if (!ReadRunRecord(text, plan, problem)) return false;
  if (plan.record.ended) {
    problem = "the run has ended";
    return false;
  }
  // The record may name the file as it was typed; the record's own place is where it is.
  plan.settings.outputPath = run.outputPath;
  const FileTail tail = ReadTail(run.outputPath);
  plan.wholeLines = tail.lines;
  plan.lastLineElapsed = tail.lastElapsed;
  plan.tornBytes = tail.tornBytes;
  // The lines in the file are what was written, also those the record had not counted yet.
  plan.counters.samplesTaken = static_cast<int>(tail.lines) + plan.counters.lostLines;
  const double sinceStart = std::chrono::duration<double>(std::chrono::system_clock::now() - plan.start).count();
  if (std::max(sinceStart, tail.lastElapsed) >= plan.settings.measurementTime) {
    problem = "its planned end (" + plan.record.plannedEndClock + ") has passed";
    return false;
  }
  return true;
}
