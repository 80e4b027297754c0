#include "text/setting_checks.h"

#include <gtest/gtest.h>

namespace {

std::string IntProblem(const std::string& text, const IntSettingRange& range, int& value) {
  const auto problem = CheckIntSetting(text, range, value);
  return problem ? *problem : "";
}

std::string DoubleProblem(const std::string& text, double& value) {
  const auto problem = CheckDoubleSetting(text, kOutputVoltageRange, value);
  return problem ? *problem : "";
}

TEST(SettingChecks, MeasurementTimeBounds) {
  const std::string range = "Please enter an integer between 10 and 10000000.";
  int value = -1;
  EXPECT_EQ(IntProblem("9", kMeasurementTimeRange, value), range);
  EXPECT_EQ(IntProblem("10000001", kMeasurementTimeRange, value), range);
  EXPECT_EQ(IntProblem("99999999999999999999", kMeasurementTimeRange, value), range);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(IntProblem("10", kMeasurementTimeRange, value), "");
  EXPECT_EQ(value, 10);
  EXPECT_EQ(IntProblem(" 10000000 ", kMeasurementTimeRange, value), "");
  EXPECT_EQ(value, 10000000);
}

TEST(SettingChecks, IntervalBoundsAndNonIntegers) {
  int value = -1;
  const std::string range = "Please enter an integer between 1 and 1000.";
  EXPECT_EQ(IntProblem("0", kSampleIntervalRange, value), range);
  EXPECT_EQ(IntProblem("1001", kSampleIntervalRange, value), range);
  EXPECT_EQ(IntProblem("-3", kSampleIntervalRange, value), range);
  for (const char* text : {"", "   ", "abc", "1.5", "12x", "1 2", "+-1", "0x10"}) {
    EXPECT_EQ(IntProblem(text, kSampleIntervalRange, value), "Please enter an integer.") << text;
  }
  EXPECT_EQ(value, -1);
  EXPECT_EQ(IntProblem("1", kSampleIntervalRange, value), "");
  EXPECT_EQ(value, 1);
  EXPECT_EQ(IntProblem("+1000", kSampleIntervalRange, value), "");
  EXPECT_EQ(value, 1000);
  EXPECT_EQ(IntProblem("\t5\n", kPortNumberRange, value), "Please enter an integer between 1 and 4.");
}

TEST(SettingChecks, DecimalIntervalsReadBackAsTypedAndTheLeastIntervalNote) {
  int whole = -1;
  int ms = -1;
  EXPECT_FALSE(CheckIntervalSetting(" 0.020 ", whole, ms));
  EXPECT_EQ(whole, 0);
  EXPECT_EQ(ms, 20);
  EXPECT_EQ(IntervalText(ms), "0.02");
  EXPECT_FALSE(CheckIntervalSetting("7.000", whole, ms));  // a whole second keeps the once-a-second tick
  EXPECT_EQ(whole, 7);
  EXPECT_EQ(ms, 0);
  EXPECT_EQ(IntervalText(1500), "1.5");
  // The defaults: 9600 baud, NPLC 1, auto-zero on (worked out in the sampling grid's cases).
  EXPECT_EQ(LeastIntervalNote(InstrumentSettings{}),
            "Least time between samples with these values: 0.119 s on 50 Hz mains, 0.109 s on 60 Hz.");
  InstrumentSettings fast;
  fast.baud = 57600;
  fast.nplc = 0.01;
  fast.autoZero = AutoZero::Off;
  EXPECT_EQ(LeastIntervalNote(fast), "Least time between samples with these values: 0.012 s.");
}

TEST(SettingChecks, VoltageBoundsAndNonNumbers) {
  double value = 99.0;
  const std::string range = "Please enter a number between -10 and 10.";
  EXPECT_EQ(DoubleProblem("-10.001", value), range);
  EXPECT_EQ(DoubleProblem("10.5", value), range);
  EXPECT_EQ(DoubleProblem("1e3", value), range);
  for (const char* text : {"", "volts", "1,5", "0.5V", "inf", "nan", "--1", "1 0"}) {
    EXPECT_EQ(DoubleProblem(text, value), "Please enter a number.") << text;
  }
  EXPECT_EQ(value, 99.0);
  EXPECT_EQ(DoubleProblem("-10", value), "");
  EXPECT_EQ(value, -10.0);
  EXPECT_EQ(DoubleProblem(" 10 ", value), "");
  EXPECT_EQ(value, 10.0);
  EXPECT_EQ(DoubleProblem("0", value), "");
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(DoubleProblem("-.25", value), "");
  EXPECT_EQ(value, -0.25);
}

}  // namespace

TEST(SettingChecks, ScheduleSummaryAndAStepsFileThatReadsBackTheSameSteps) {
  BiasSchedule schedule;
  schedule.steps = {{1.0, 5000}, {0.5, 3000}, {0.75, 3000}};
  schedule.repeat = 2;
  EXPECT_EQ(ScheduleSummary(schedule), "3 steps, 0.5..1 V, 2 \u00d7 11 s");
  schedule.steps = {{-0.25, 1500}};
  schedule.repeat = 1;
  EXPECT_EQ(ScheduleSummary(schedule), "1 step, -0.25 V, 1.5 s");

  // Values that need every digit, and a step of 20 ms.
  const std::vector<BiasStep> written = {{0.1, 20}, {-9.999999999, 10000000000}, {1.0 / 3.0, 61234}};
  std::vector<BiasStep> read;
  int badLine = -1;
  ASSERT_FALSE(CheckStepsText(StepsFileText(written), 20, read, badLine));
  ASSERT_EQ(read.size(), written.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].volts, written[i].volts);
    EXPECT_EQ(read[i].durationMs, written[i].durationMs);
  }
}
