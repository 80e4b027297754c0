// The one-second tick of ivra-run on the monotonic clock, with the habits of a
// window timer: ticks stay on the grid start + k * period, and ticks that fall
// due while the previous one is still being handled fold into one tick taken as
// soon as the loop is free, with no catch-up burst.
#pragma once

#include <cstdint>

class TickSchedule {
 public:
  explicit TickSchedule(std::int64_t startMs, std::int64_t periodMs = 1000)
      : startMs_(startMs), periodMs_(periodMs), nextDueMs_(startMs + periodMs) {}

  // Milliseconds until the next tick is due; 0 when it is due now.
  std::int64_t WaitMs(std::int64_t nowMs) const { return nowMs >= nextDueMs_ ? 0 : nextDueMs_ - nowMs; }

  // Takes the due tick at `nowMs`; the next one is the first grid point after it.
  void Take(std::int64_t nowMs) {
    const std::int64_t periods = (nowMs - startMs_) / periodMs_ + 1;
    nextDueMs_ = startMs_ + (periods < 1 ? 1 : periods) * periodMs_;
  }

  std::int64_t NextDueMs() const { return nextDueMs_; }

 private:
  std::int64_t startMs_;
  std::int64_t periodMs_;
  std::int64_t nextDueMs_;
};
