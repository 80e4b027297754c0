#include "serial/process_clock.h"

#include <atomic>
#include <chrono>

namespace {

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point ProcessStart() {
  static const SteadyClock::time_point start = SteadyClock::now();
  return start;
}

// Fixes the start point during static initialisation, so that the clock counts
// from the process start and not from its first use.
const SteadyClock::time_point kStartAtLoad = ProcessStart();

std::int64_t RealClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - ProcessStart())
      .count();
}

std::atomic<ProcessClockFn> g_clock{nullptr};

}  // namespace

std::int64_t ProcessClockMs() {
  ProcessClockFn clock = g_clock.load(std::memory_order_acquire);
  return clock != nullptr ? clock() : RealClockMs();
}

double ProcessClockSeconds() { return static_cast<double>(ProcessClockMs()) / 1000.0; }

void SetProcessClockForTesting(ProcessClockFn clock) {
  g_clock.store(clock, std::memory_order_release);
}

void DelayMs(int milliseconds) {
  const double start = static_cast<double>(ProcessClockMs());
  // The count as seconds, then as clock ticks: exactly start + milliseconds for
  // every whole count the program uses.
  const double deadline = start + (static_cast<double>(milliseconds) / 1000.0) * 1000.0;
  while (static_cast<double>(ProcessClockMs()) < deadline) {
    // Busy wait: nothing sleeps and nothing is dispatched meanwhile.
  }
}
