// A clock for driving the protocol and the run without waiting: it reads a
// time the test sets, and a wait records its length and advances that time.
#pragma once

#include <cstdint>
#include <vector>

#include "process/clock.h"

class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::int64_t startMs = 0) : nowMs(startMs) {}

  std::int64_t nowMs;
  std::vector<int> delays;  // every DelayMs, in order

  std::int64_t NowMs() override { return nowMs; }
  void DelayMs(int milliseconds) override {
    delays.push_back(milliseconds);
    nowMs += milliseconds;
  }
};
