#include "process/clock.h"

#include <chrono>
#include <thread>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Read once during static initialisation, so that the clock counts from the
// process start and not from its first use. Immutable afterwards.
const SteadyClock::time_point kProcessStart = SteadyClock::now();

}  // namespace

std::int64_t ProcessClock::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - kProcessStart).count();
}

void ProcessClock::DelayMs(int milliseconds) {
  if (milliseconds <= 0) return;
  // sleep_until on the steady clock: an early wake-up (a signal) sleeps again,
  // and the wait never ends before the deadline.
  const SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::milliseconds(milliseconds);
  while (SteadyClock::now() < deadline) std::this_thread::sleep_until(deadline);
}
