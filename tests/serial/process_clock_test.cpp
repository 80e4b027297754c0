#include "serial/process_clock.h"

#include <chrono>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A scripted clock: hands out the given readings in order, then keeps
// returning the last one plus one per call, and counts the calls.
std::vector<std::int64_t> g_script;
std::size_t g_calls = 0;

std::int64_t ScriptedClock() {
  const std::size_t call = g_calls++;
  if (call < g_script.size()) return g_script[call];
  return g_script.back() + static_cast<std::int64_t>(call - g_script.size() + 1);
}

class ScriptedClockTest : public ::testing::Test {
 protected:
  void Use(std::vector<std::int64_t> readings) {
    g_script = std::move(readings);
    g_calls = 0;
    SetProcessClockForTesting(&ScriptedClock);
  }
  void TearDown() override { SetProcessClockForTesting(nullptr); }
};

TEST_F(ScriptedClockTest, DelayReturnsAtTheFirstReadingAtOrPastTheDeadline) {
  Use({1000, 1100, 1299, 1300, 5000});
  DelayMs(300);
  EXPECT_EQ(g_calls, 4u);  // start, 1100, 1299, 1300

  Use({1000, 1299, 1450, 5000});
  DelayMs(300);
  EXPECT_EQ(g_calls, 3u);  // a reading past the deadline ends it too

  // Each whole count is exact: 100 ms waits for start + 100, not a tick less.
  Use({7, 106, 107});
  DelayMs(100);
  EXPECT_EQ(g_calls, 3u);
}

TEST_F(ScriptedClockTest, ZeroOrNegativeDelayReturnsAfterTheSecondReading) {
  Use({500, 500});
  DelayMs(0);
  EXPECT_EQ(g_calls, 2u);
  Use({500, 500});
  DelayMs(-20);
  EXPECT_EQ(g_calls, 2u);
}

TEST_F(ScriptedClockTest, SubstitutedClockFeedsTheReadings) {
  Use({123456});
  EXPECT_EQ(ProcessClockMs(), 123456);
  EXPECT_DOUBLE_EQ(ProcessClockSeconds(), 123.457);
  SetProcessClockForTesting(nullptr);
  EXPECT_LT(ProcessClockMs(), 123456);  // the real clock is back (a fresh test process)
}

TEST(ProcessClockTest, RealClockIsElapsedTimeInMilliseconds) {
  const std::int64_t first = ProcessClockMs();
  EXPECT_GE(first, 0);
  const auto start = std::chrono::steady_clock::now();
  DelayMs(50);
  const double waited =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 49.0);
  EXPECT_LT(waited, 2000.0);
  const std::int64_t second = ProcessClockMs();
  EXPECT_GE(second - first, 50);
  EXPECT_NEAR(ProcessClockSeconds(), ProcessClockMs() / 1000.0, 0.01);
}

}  // namespace
