#include "datafile/data_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

bool Parses(const std::string& line) {
  double seconds = 0.0;
  double microamperes = 0.0;
  return ParseDataLine(line.data(), line.data() + line.size(), seconds, microamperes);
}

// Parses `line` without its "\n"; fails the test when it is no data line.
void ReadBack(std::string line, double& seconds, double& microamperes) {
  ASSERT_FALSE(line.empty());
  ASSERT_EQ(line.back(), '\n');
  line.pop_back();
  ASSERT_TRUE(ParseDataLine(line.data(), line.data() + line.size(), seconds, microamperes)) << line;
}

TEST(DataLine, Format) {
  EXPECT_EQ(FormatDataLine(12.3456, 1.5e-6), "12.35\ts\t1.5\tuA\n");
  EXPECT_EQ(FormatDataLine(0.0, 0.0), "0.00\ts\t0\tuA\n");
  EXPECT_EQ(FormatDataLine(1.005, 1.05), "1.00\ts\t1.05e+06\tuA\n");
  EXPECT_EQ(FormatDataLine(3600.0, 2.5e-11), "3600.00\ts\t2.5e-05\tuA\n");
  EXPECT_EQ(FormatDataLine(1.0, -2e-6), "1.00\ts\t-2\tuA\n");
  EXPECT_EQ(FormatDataLine(9999999.999, 1.234567e-3), "10000000.00\ts\t1234.57\tuA\n");
}

// Every current the instrument can send (its replies carry seven significant
// digits, from its 10 pA resolution up to 1.05 A, either sign) at times over
// a whole run: the line reads back to the value within the six digits it is
// written with, and the value read back writes the very same line again, so a
// file passed through a viewer and written out never drifts.
TEST(DataLine, EveryCurrentTheInstrumentSendsReadsBackAndWritesTheSameLine) {
  int lines = 0;
  for (int exponent = -11; exponent <= 0; ++exponent) {
    for (long mantissa = 1000000; mantissa <= 9999999; mantissa += 37123) {
      for (const double sign : {1.0, -1.0}) {
        char reply[32];
        std::snprintf(reply, sizeof reply, "%+.6fE%+03d", sign * mantissa / 1e6, exponent);
        const double amperes = std::strtod(reply, nullptr);
        if (std::fabs(amperes) > 1.05) continue;
        const double time = (lines % 2 == 0) ? lines * 1.01 : 1e7 - lines * 0.37;
        const std::string line = FormatDataLine(time, amperes);
        double seconds = 0.0;
        double microamperes = 0.0;
        ReadBack(line, seconds, microamperes);
        EXPECT_NEAR(seconds, time, 0.005 + 1e-9) << line;
        EXPECT_NEAR(microamperes, amperes * 1e6, std::fabs(amperes * 1e6) * 5e-6) << reply << " -> " << line;
        EXPECT_EQ(FormatDataLine(seconds, microamperes / 1e6), line) << reply;
        ++lines;
      }
    }
  }
  EXPECT_GT(lines, 5000);
}

TEST(DataLine, ReadsNothingButTheExactForm) {
  EXPECT_TRUE(Parses("12.00\ts\t1.5\tuA\r"));
  const char* bad[] = {"",
                       "12.00\ts\t1.5",
                       "12.00\ts\t1.5\tuA ",
                       " 12.00\ts\t1.5\tuA",
                       "12.00 s 1.5 uA",
                       "+1.00\ts\t1.5\tuA",
                       "1.00\ts\tnan\tuA",
                       "inf\ts\t1\tuA",
                       "1.00\ts\t1.5x\tuA",
                       "1.00\ts\t\tuA",
                       "1,00\ts\t1.5\tuA",
                       "1.00\ts\t1.5\tmA",
                       "1.00\ts\t1e999\tuA",
                       "1.00\ts\t0x10\tuA"};
  for (const char* line : bad) EXPECT_FALSE(Parses(line)) << '"' << line << '"';
}

TEST(DataLine, TheSetVoltageFormReadsBackAndTheOldFormSaysItHasNone) {
  EXPECT_EQ(FormatDataLineWithVolts(12.3456, 1.5e-6, 0.5), "12.35\ts\t1.5\tuA\t0.5\tV\n");
  EXPECT_EQ(FormatDataLineWithVolts(0.1234, -2e-6, -0.30000000000000004, 3), "0.123\ts\t-2\tuA\t-0.3\tV\n");
  double seconds = 0, microamperes = 0, volts = 7;
  bool hasVolts = true;
  const std::string withVolts = "12.35\ts\t1.5\tuA\t-9.75\tV\r";
  ASSERT_TRUE(
      ParseDataLine(withVolts.data(), withVolts.data() + withVolts.size(), seconds, microamperes, volts, hasVolts));
  EXPECT_EQ(seconds, 12.35);
  EXPECT_EQ(microamperes, 1.5);
  EXPECT_EQ(volts, -9.75);
  EXPECT_TRUE(hasVolts);
  const std::string plain = "1.00\ts\t2\tuA";
  ASSERT_TRUE(ParseDataLine(plain.data(), plain.data() + plain.size(), seconds, microamperes, volts, hasVolts));
  EXPECT_FALSE(hasVolts);
  EXPECT_EQ(volts, 0.0);
  EXPECT_TRUE(Parses(withVolts));  // the two-value reading takes it too
  for (const char* line : {"1.00\ts\t1.5\tuA\t0.5", "1.00\ts\t1.5\tuA\t0.5\tmV", "1.00\ts\t1.5\tuA\t\tV",
                           "1.00\ts\t1.5\tuA0.5\tV", "1.00\ts\t1.5\tuA\tnan\tV", "1.00\ts\t1.5\tuA\t0.5\tV\t"}) {
    EXPECT_FALSE(Parses(line)) << line;
  }
}

}  // namespace
