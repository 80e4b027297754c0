#include "process/clock.h"

#include <chrono>
#include <cstdint>
#include <ctime>

#include <gtest/gtest.h>

namespace {

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// The settle wait before every run must not spin a core: a 300 ms wait that
// burns 300 ms of CPU is what made the programs cost a core per sample.
TEST(ProcessClockTest, DelayWaitsAtLeastItsTimeAndSleepsMeanwhile) {
  ProcessClock clock;
  const std::int64_t first = clock.NowMs();
  EXPECT_GE(first, 0);
  const auto start = std::chrono::steady_clock::now();
  const double cpuBefore = ThreadCpuMs();
  clock.DelayMs(200);
  const double cpu = ThreadCpuMs() - cpuBefore;
  const double waited = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 200.0);
  EXPECT_LT(waited, 5000.0);
  EXPECT_LT(cpu, 0.5 * waited) << "the delay spent " << cpu << " ms of CPU in " << waited << " ms";
  EXPECT_GE(clock.NowMs() - first, 200);
  EXPECT_NEAR(clock.NowSeconds(), clock.NowMs() / 1000.0, 0.01);

  const auto before = std::chrono::steady_clock::now();
  clock.DelayMs(0);
  clock.DelayMs(-20);
  const double none = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count();
  EXPECT_LT(none, 100.0);
}

TEST(ProcessClockTest, EveryInstanceReadsTheSameProcessClock) {
  ProcessClock a;
  ProcessClock b;
  const std::int64_t ta = a.NowMs();
  const std::int64_t tb = b.NowMs();
  EXPECT_GE(tb, ta);
  EXPECT_LT(tb - ta, 1000);
}

}  // namespace
