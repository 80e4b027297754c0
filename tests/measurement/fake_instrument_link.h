// A byte link for driving the protocol and the run without a port: it records
// every write, hands out scripted replies as a port's input queue would, and
// lets DelayMs advance a fake process clock instead of spinning.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "measurement/instrument_link.h"
#include "serial/serial_link.h"
#include "serial/process_clock.h"

inline std::int64_t g_fakeClockMs = 0;
inline std::int64_t FakeClockMs() { return g_fakeClockMs; }

class FakeInstrumentLink final : public InstrumentLink {
 public:
  bool openSucceeds = true;
  bool writesSucceed = true;
  bool lost = false;  // the line is down: writes fail, reads get nothing, until an Open succeeds
  int opens = 0;
  int discards = 0;
  int closes = 0;
  std::string lastOpenedPath;
  PortOpenError openFailure;  // handed out when the open fails
  std::vector<std::string> writes;  // one entry per Write call
  std::vector<int> readSizes;       // the count asked for by every Read
  std::vector<int> delays;
  std::string pendingInput;         // what the instrument has sent and nobody read yet
  std::deque<std::string> replies;  // queued behind pendingInput, one per Read

  bool Open(const std::string& devicePath, PortOpenError* error) override {
    ++opens;
    lastOpenedPath = devicePath;
    if (!openSucceeds && error != nullptr) *error = openFailure;
    if (openSucceeds) {
      lost = false;
      pendingInput.clear();  // the drain
    }
    return openSucceeds;
  }
  bool Write(const void* bytes, int count) override {
    if (lost) return false;
    writes.emplace_back(static_cast<const char*>(bytes), static_cast<std::size_t>(count));
    return writesSucceed;
  }
  int Read(void* buffer, int count) override {
    readSizes.push_back(count);
    if (lost) return 0;
    if (pendingInput.empty() && !replies.empty()) {
      pendingInput = replies.front();
      replies.pop_front();
    }
    const std::size_t n = std::min(pendingInput.size(), static_cast<std::size_t>(count));
    std::memcpy(buffer, pendingInput.data(), n);
    pendingInput.erase(0, n);  // the rest stays queued for the next read
    return static_cast<int>(n);
  }
  int DiscardInput() override {
    ++discards;
    const int n = static_cast<int>(pendingInput.size());
    pendingInput.clear();
    return n;
  }
  void Close() override { ++closes; }
  bool Lost() override { return lost; }
  void DelayMs(int milliseconds) override {
    delays.push_back(milliseconds);
    g_fakeClockMs += milliseconds;
  }

  std::string Sent() const {
    std::string all;
    for (const auto& w : writes) all += w;
    return all;
  }
  bool AllWritesSingleBytes() const {
    for (const auto& w : writes) {
      if (w.size() != 1) return false;
    }
    return true;
  }
  void Forget() {
    writes.clear();
    readSizes.clear();
    delays.clear();
  }
};

// Substitutes the fake link and clock for one test.
class ScopedFakeLink {
 public:
  explicit ScopedFakeLink(FakeInstrumentLink& link, std::int64_t startMs = 0) {
    g_fakeClockMs = startMs;
    SetActiveInstrumentLink(&link);
    SetProcessClockForTesting(&FakeClockMs);
  }
  ~ScopedFakeLink() {
    SetActiveInstrumentLink(nullptr);
    SetProcessClockForTesting(nullptr);
  }
  ScopedFakeLink(const ScopedFakeLink&) = delete;
  ScopedFakeLink& operator=(const ScopedFakeLink&) = delete;
};
