#include <gtest/gtest.h>

#include <string>

#include "programs/ivra-run/terminal_front_end.h"

namespace {

RunSnapshot TenSecondRun() {
  RunSnapshot run;
  run.state = RunState::Running;
  run.settings.measurementTime = 10;
  run.settings.sampleInterval = 2;
  return run;
}

TEST(StatusLine, ShowsTheRunsClockCountsAndProgress) {
  RunSnapshot run = TenSecondRun();
  // Nothing yet: no current. The clock rounds like the window's (1.5 s reads 2 s).
  EXPECT_EQ(FormatStatusLine(run, 1.5, 200),
            "00:00:02/00:00:10  0/5 samples  I -  missed 0  lost 0  [###.................]  15%");
  EXPECT_EQ(FormatStatusLine(run, 1.49, 200).substr(0, 8), "00:00:01");

  run.counters.samplesTaken = 4;
  run.counters.missedSamples = 1;
  run.counters.lostLines = 2;
  run.latest.current = 5e-7;
  run.state = RunState::PortLost;
  // The stop tick comes a second after the time: the clock stops at the total.
  EXPECT_EQ(FormatStatusLine(run, 11.0, 200),
            "00:00:10/00:00:10  4/5 samples  I 5e-07 A  missed 1  lost 2  PORT LOST  [####################] 100%");
}

TEST(StatusLine, FitsTheTerminalWidth) {
  const RunSnapshot run = TenSecondRun();
  const std::string full = FormatStatusLine(run, 5.0, 200);
  // Narrower: a shorter bar, then none, then the line cut, always one column short.
  const std::string shortBar = FormatStatusLine(run, 5.0, 70);
  EXPECT_EQ(shortBar.size(), 69u);
  EXPECT_NE(shortBar.find("[#"), std::string::npos);
  const std::string noBar = FormatStatusLine(run, 5.0, 55);
  EXPECT_EQ(noBar, full.substr(0, full.find("  [")));
  EXPECT_EQ(FormatStatusLine(run, 5.0, 20), full.substr(0, 19));
}

}  // namespace
