// The clock a measurement reads and the wait it makes before reading a reply.
//
// The process clock is the elapsed real time since the process started, in
// whole milliseconds, on the monotonic clock: it never wraps and never jumps
// with the wall clock. A time in seconds is a reading divided by 1000.0.
// Tests hand a run a clock of their own, whose waits advance it instead of
// taking time.
#pragma once

#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since the clock's zero (the process start for the real one).
  virtual std::int64_t NowMs() = 0;
  // Returns once the clock has advanced by `milliseconds` (zero or less: at once).
  virtual void DelayMs(int milliseconds) = 0;

  double NowSeconds() { return static_cast<double>(NowMs()) / 1000.0; }
};

// The process clock. DelayMs sleeps until its deadline on the steady clock:
// nothing spins, and nothing is dispatched meanwhile. Stateless: every
// instance reads the same clock.
class ProcessClock final : public Clock {
 public:
  std::int64_t NowMs() override;
  void DelayMs(int milliseconds) override;
};
