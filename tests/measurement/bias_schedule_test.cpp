#include "run/bias_schedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/setting_checks.h"

namespace {

BiasSchedule ThreeSteps(int repeat) {
  BiasSchedule s;
  s.steps = {{1.0, 2000}, {2.0, 1000}, {-1.0, 3000}};
  s.repeat = repeat;
  return s;
}

TEST(BiasSchedule, EachDueTimeGetsTheStepThatHeldUpToItAcrossRepeats) {
  const BiasSchedule s = ThreeSteps(2);
  EXPECT_EQ(ScheduleTotalMs(s), 12000);
  struct Due {
    std::int64_t ms;
    int step;
    int pass;
  };
  // A step holds (start, end]: the sample at its end is still its own.
  const Due dues[] = {{1000, 0, 0}, {2000, 0, 0}, {2001, 1, 0}, {3000, 1, 0}, {4000, 2, 0},  {6000, 2, 0},
                      {6001, 0, 1}, {7000, 0, 1}, {9000, 1, 1}, {9500, 2, 1}, {12000, 2, 1}, {15000, 2, 1}};
  for (const Due& due : dues) {
    const StepInForce found = StepAt(s, due.ms);
    EXPECT_EQ(found.step, due.step) << due.ms;
    EXPECT_EQ(found.pass, due.pass) << due.ms;
    EXPECT_EQ(found.volts, s.steps[due.step].volts) << due.ms;
  }
  EXPECT_EQ(StepAt(s, 0).step, 0);
}

TEST(BiasSchedule, AStepOfOneIntervalGetsExactlyOneSample) {
  BiasSchedule s;
  s.steps = {{0.1, 500}, {0.2, 500}, {0.3, 700}};
  std::vector<int> seen;
  for (std::int64_t due = 500; due <= ScheduleTotalMs(s); due += 500) seen.push_back(StepAt(s, due).step);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
}

TEST(BiasSchedule, TheRampClimbsFromZeroFollowsStepsAndComesBackDown) {
  BiasSchedule s;
  s.steps = {{1.0, 3000}, {-0.5, 2000}};
  s.rampVoltsPerSecond = 0.4;
  BiasSource source;
  source.Reset(s, 9.0, 1000);
  std::vector<double> set;
  std::vector<bool> changed;
  for (std::int64_t due = 1000; due <= 5000; due += 1000) {
    set.push_back(source.ForSample(due));
    changed.push_back(source.StepChanged());
  }
  const std::vector<double> expected{0.4, 0.8, 1.0, 0.6, 0.2};
  ASSERT_EQ(set.size(), expected.size());
  for (std::size_t i = 0; i < set.size(); ++i) EXPECT_NEAR(set[i], expected[i], 1e-12) << i;
  EXPECT_EQ(changed, (std::vector<bool>{true, false, false, true, false}));
  EXPECT_NEAR(source.ForRampDown(), 0.0, 0.0);  // 0.2 is within one step of 0 V
  EXPECT_TRUE(source.AtZero());

  // Without steps the one output voltage is ramped to; from 10 V at 1 V/s it takes ten samples down.
  BiasSchedule rampOnly;
  rampOnly.rampVoltsPerSecond = 1.0;
  source.Reset(rampOnly, 10.0, 1000);
  int up = 0;
  while (source.ForSample(1000) != 10.0) ++up;
  EXPECT_EQ(up, 9);
  EXPECT_FALSE(source.HasStep());
  int down = 0;
  while (!source.AtZero()) {
    source.ForRampDown();
    ++down;
  }
  EXPECT_EQ(down, 10);
  // No ramp: every change at once.
  EXPECT_EQ(RampedVoltage(-3.0, 7.5, 0.0, 1000), 7.5);
  EXPECT_EQ(RampedVoltage(-3.0, 7.5, 2.0, 500), -2.0);
}

TEST(StepsText, GoodFilesWithCommentsBlanksAndTabs) {
  std::vector<BiasStep> steps;
  int bad = -1;
  const std::string text = "# warm up\n0.5 60\n\n  -1.25\t 30   # down\r\n\t\n+2 1.5\n10 1";
  ASSERT_EQ(CheckStepsText(text, 1000, steps, bad), std::nullopt);
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].volts, 0.5);
  EXPECT_EQ(steps[0].durationMs, 60000);
  EXPECT_EQ(steps[1].volts, -1.25);
  EXPECT_EQ(steps[1].durationMs, 30000);
  EXPECT_EQ(steps[2].durationMs, 1500);
  EXPECT_EQ(steps[3].volts, 10.0);
}

TEST(StepsText, BadLinesAreNamedByNumberAndEmptyFilesRefused) {
  struct Case {
    const char* text;
    int line;
    const char* problem;
  };
  const Case cases[] = {
      {"0.5 60\n# x\n0.5\n", 3, "Please enter a voltage and a duration in seconds"},
      {"0.5 60 7\n", 1, "Please enter a voltage and a duration in seconds"},
      {"\n\nvolts 60\n", 3, "Please enter a voltage and a duration in seconds"},
      {"0.5 60s\n", 1, "Please enter a voltage and a duration in seconds"},
      {"1 10\n10.5 10\n", 2, "Please enter a voltage between -10 and 10."},
      {"1 0\n", 1, "Please enter a duration of at least 1 s, the time between samples."},
      {"1 -5\n", 1, "Please enter a duration of at least 1 s"},
      {"1 0.5\n", 1, "Please enter a duration of at least 1 s"},
      {"1 nan\n", 1, "Please enter a voltage and a duration in seconds"},
      {"1 20000000\n", 1, "Please enter a duration of at most 10000000 s."},
      {"", 0, "Please enter at least one step"},
      {"# only a comment\n\n", 0, "Please enter at least one step"},
  };
  for (const Case& c : cases) {
    std::vector<BiasStep> steps{{1.0, 1000}};
    int bad = -1;
    const auto problem = CheckStepsText(c.text, 1000, steps, bad);
    ASSERT_TRUE(problem) << c.text;
    EXPECT_EQ(problem->rfind(c.problem, 0), 0u) << *problem;
    EXPECT_EQ(bad, c.line) << c.text;
    EXPECT_EQ(steps.size(), 1u);  // untouched
  }
  EXPECT_EQ(StepsFileLineMessage("s.txt", 3, "Please enter a number."), "line 3 of s.txt: please enter a number.");
}

TEST(StepsText, StepPairsRampsAndTotals) {
  BiasStep step;
  EXPECT_EQ(CheckStepPair("-2.5:0.25", 250, step), std::nullopt);
  EXPECT_EQ(step.volts, -2.5);
  EXPECT_EQ(step.durationMs, 250);
  for (const char* bad : {"0.5", "a:b", "0.5:", ":10", "0.5:10:3", "0.5;10"}) {
    EXPECT_EQ(CheckStepPair(bad, 1000, step), "Please enter a voltage and a duration as VOLTS:SECONDS, e.g. 0.5:60.")
        << bad;
  }
  EXPECT_TRUE(CheckStepPair("-10.001:5", 1000, step));
  double ramp = 0;
  EXPECT_EQ(CheckRampSetting("0", ramp), "Please enter a number above 0.");
  EXPECT_EQ(CheckRampSetting("-1", ramp), "Please enter a number above 0.");
  EXPECT_EQ(CheckRampSetting("fast", ramp), "Please enter a number.");
  EXPECT_EQ(CheckRampSetting("0.25", ramp), std::nullopt);
  EXPECT_EQ(ramp, 0.25);

  BiasSchedule s;
  s.steps = {{1.0, 5'000'000'000}, {2.0, 5'000'000'000}};
  EXPECT_EQ(CheckScheduleTotal(s), std::nullopt);
  EXPECT_EQ(ScheduleMeasurementTime(s), 10000000);
  s.repeat = 2;
  EXPECT_TRUE(CheckScheduleTotal(s));
  s.steps = {{1.0, 1500}};
  s.repeat = 3;
  EXPECT_EQ(ScheduleMeasurementTime(s), 5);  // 4.5 s rounded up to the tick
}

}  // namespace
