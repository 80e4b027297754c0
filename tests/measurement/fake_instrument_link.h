// A byte link for driving the protocol and the run without a port: it records
// every write and hands out scripted replies as a port's input queue would.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "instrument/instrument_link.h"
#include "serial/serial_link.h"

class FakeInstrumentLink final : public InstrumentLink {
 public:
  bool openSucceeds = true;
  bool writesSucceed = true;
  bool lost = false;  // the line is down: writes fail, reads get nothing, until an Open succeeds
  int opens = 0;
  int discards = 0;
  int closes = 0;
  std::string lastOpenedPath;
  PortOpenError openFailure;        // handed out when the open fails
  std::vector<std::string> writes;  // one entry per Write call
  std::vector<int> readSizes;       // the count asked for by every Read
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
  int baud = 9600;
  void SetBaudRate(int rate) override { baud = rate; }
  LineFormat lineFormat;
  void SetLineFormat(const LineFormat& format) override { lineFormat = format; }

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
  }
};
