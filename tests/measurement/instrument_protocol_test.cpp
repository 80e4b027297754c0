#include "instrument/instrument_protocol.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "datafile/data_line.h"
#include "fake_clock.h"
#include "fake_instrument_link.h"
#include "instrument/instrument_setup.h"
#include "run/measurement_run.h"
#include "text/setting_checks.h"

namespace {

// The grammar alone: a voltage and a current, any size.
ReplyForm BareForm() {
  ReplyForm form;
  form.elements = {ReplyElement::Voltage, ReplyElement::Current};
  form.maxCurrent = 1e300;
  return form;
}

ReplyVerdict Judge(const std::string& reply, LatestReading& reading, const ReplyForm& form = ReplyForm()) {
  char buffer[kExchangeBufferSize] = {};
  std::memcpy(buffer, reply.data(), std::min(reply.size(), sizeof buffer - 1));
  return JudgeReply(buffer, static_cast<int>(reply.size()), reading, nullptr, form);
}

TEST(InstrumentProtocol, AZeroByteOrAnyByteOutsideTheGrammarIsNeverSkipped) {
  const char zeroBeforeSecond[] =
      "1.0,\0"
      "2.0\r";
  LatestReading r;
  EXPECT_EQ(JudgeReply(zeroBeforeSecond, sizeof zeroBeforeSecond - 1, r, nullptr, BareForm()), ReplyVerdict::Garbled);

  // Faults once seen: bytes that were not next to each other made one number.
  struct Case {
    std::string reply;
    ReplyVerdict verdict;
  };
  const std::vector<Case> cases = {
      {"+5.000000E-01,+5\xae"
       "000000E-07,+9.910000E+37\r",
       ReplyVerdict::Garbled},
      {"2,1e+\x10"
       "2,\r",
       ReplyVerdict::Garbled},
      {"1,- 5\r", ReplyVerdict::Garbled},
      {"1, 5\r", ReplyVerdict::Garbled},
      {"+5.0E-01\x80,+5.0E-07\r", ReplyVerdict::Garbled},
      {"+5.0E-01,+5.0E-07,+9.9\xff"
       "1E+37\r",
       ReplyVerdict::Garbled},
      {"\xab"
       "5.0E-01,+5.0E-07\r",
       ReplyVerdict::Garbled},
  };
  for (const Case& c : cases) {
    LatestReading reading;
    reading.current = 8.0;
    EXPECT_EQ(Judge(c.reply, reading, BareForm()), c.verdict) << c.reply;
    EXPECT_EQ(reading.current, 8.0) << c.reply;
  }
}

TEST(InstrumentProtocol, TheReplyEndsAtItsFirstLineEnd) {
  int stale = -1;
  LatestReading r;
  const char twoLines[] = "1,2\r3\r";
  ASSERT_EQ(JudgeReply(twoLines, sizeof twoLines - 1, r, &stale, BareForm()), ReplyVerdict::Reading);
  EXPECT_EQ(r.current, 2.0);
  EXPECT_EQ(stale, 2);  // "3\r" belongs to something else

  // Padding around the reply is not stale input.
  const char padded[] = "\r\n \0+1.0E+00,+2.0E-06,+9.9E+37,+1.0E+00,+1.0E+00\r\n\0 ";
  ASSERT_EQ(JudgeReply(padded, sizeof padded - 1, r, &stale), ReplyVerdict::Reading);
  EXPECT_EQ(r.current, 2e-6);
  EXPECT_EQ(stale, 0);
}

TEST(InstrumentProtocol, SetVoltageCommandText) {
  EXPECT_EQ(FormatSetVoltageCommand(0.5), ":SOUR:VOLT 0.50000\r");
  EXPECT_EQ(FormatSetVoltageCommand(0.5).size(), 19u);
  EXPECT_EQ(FormatSetVoltageCommand(-10.0), ":SOUR:VOLT -10.00000\r");
  EXPECT_EQ(FormatSetVoltageCommand(-10.0).size(), 21u);
  EXPECT_EQ(FormatSetVoltageCommand(10.0), ":SOUR:VOLT 10.00000\r");
  EXPECT_EQ(FormatSetVoltageCommand(0.000001), ":SOUR:VOLT 0.00000\r");
  EXPECT_EQ(FormatSetVoltageCommand(-0.000001), ":SOUR:VOLT -0.00000\r");
  EXPECT_EQ(FormatSetVoltageCommand(1.234567), ":SOUR:VOLT 1.23457\r");
}

TEST(InstrumentProtocol, CommandsGoOutOneByteAtATime) {
  FakeInstrumentLink link;
  SendCommand(link, FormatSetVoltageCommand(0.5).c_str());
  ASSERT_EQ(link.writes.size(), 19u);
  EXPECT_TRUE(link.AllWritesSingleBytes());
  EXPECT_EQ(link.Sent(), ":SOUR:VOLT 0.50000\r");

  link.Forget();
  SendCommand(link, "");
  EXPECT_TRUE(link.writes.empty());

  // A failing link does not cut the command short.
  link.writesSucceed = false;
  SendCommand(link, kOutputOffCommand);
  EXPECT_EQ(link.Sent(), ":OUTP OFF\r");
  EXPECT_FALSE(SendByte(link, 0x80));
  EXPECT_EQ(link.writes.back(), std::string(1, '\x80'));
}

TEST(InstrumentProtocol, ReadResponseWaitsThenReadsAtMost100BytesOnce) {
  FakeInstrumentLink link;
  FakeClock clock(5000);
  link.pendingInput = std::string(100, '1') + std::string(50, '2');
  char buffer[kExchangeBufferSize];
  std::memset(buffer, 'x', sizeof buffer);

  EXPECT_EQ(ReadResponse(link, clock, buffer), 100);
  EXPECT_EQ(clock.delays, std::vector<int>{100});
  EXPECT_EQ(link.readSizes, std::vector<int>{100});
  EXPECT_EQ(clock.nowMs, 5100);
  EXPECT_EQ(buffer[99], '1');
  EXPECT_EQ(buffer[100], '\0');
  EXPECT_EQ(buffer[101], 'x');

  // The rest of an over-long reply comes first in the next read.
  EXPECT_EQ(ReadResponse(link, clock, buffer), 50);
  EXPECT_EQ(std::string(buffer), std::string(50, '2'));

  // Nothing arrived: an empty text.
  EXPECT_EQ(ReadResponse(link, clock, buffer), 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(link.readSizes.size(), 3u);
}

TEST(InstrumentProtocol, OnlyAWholeFiniteReadingCountsAsOne) {
  struct Case {
    std::string reply;
    ReplyVerdict verdict;
    double current;
    ReplyForm form = BareForm();
  };
  const std::string reading = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.234567E+01,+2.150800E+04";
  const std::vector<Case> cases = {
      {reading + "\r", ReplyVerdict::Reading, 5e-7, ReplyForm()},
      {"+1.0E+00,-2.0E-06\r", ReplyVerdict::Reading, -2e-6},
      {"+1.0E+00 , -2.0E-06\r", ReplyVerdict::Garbled, 0},
      {"-.5,3.\r", ReplyVerdict::Reading, 3.0},
      {"+5.000000E-01,+5.000000E-07\r", ReplyVerdict::Reading, 5e-7},
      // Cut after the current's separator (a pause or a hang-up): the elements after it are missing.
      {reading.substr(0, 35), ReplyVerdict::Incomplete, 0, ReplyForm()},
      // Two readings in one reply: one element too many.
      {(reading + "," + reading).substr(0, 100), ReplyVerdict::Garbled, 0, ReplyForm()},
      {"", ReplyVerdict::NoReply, 0},
      {"GARBAGE\r", ReplyVerdict::NoReading, 0},
      {"+5.000000E-01\r", ReplyVerdict::NoReading, 0, ReplyForm()},
      {"+5.000000E-01,+5.000000E-07+1\r", ReplyVerdict::NoReading, 0},
      // Text that scanf would not have read as two numbers either.
      {"+1.0E+00,ABC\r", ReplyVerdict::NoReading, 0},
      {",1,2\r", ReplyVerdict::NoReading, 0},
      {"1;2\r", ReplyVerdict::NoReading, 0},
      {"1.5 2.5\r", ReplyVerdict::Garbled, 0},
      {"+-1,2\r", ReplyVerdict::NoReading, 0},
      {"1,--2\r", ReplyVerdict::NoReading, 0},
      {"E5,1\r", ReplyVerdict::NoReading, 0},
      {"1.", ReplyVerdict::Incomplete, 0},
      // The reply broke off inside the current, or where more exponent digits could follow.
      {"+5.000000E-01,+5.0000", ReplyVerdict::Incomplete, 0},
      {"+5.000000E-01,+5.000000E", ReplyVerdict::Incomplete, 0},
      {"+5.000000E-01,+5.000000E-0", ReplyVerdict::Incomplete, 0},
      {"+5.000000E-01,+5.000000E-07", ReplyVerdict::Incomplete, 0},
      {"+5.000000E-01,", ReplyVerdict::Incomplete, 0},
      // The instrument's overflow mark in place of a number.
      {"+5.000000E-01,+9.910000E+37,+9.910000E+37,+1.0E+01,+0.0E+00\r", ReplyVerdict::Overflow, 0, ReplyForm()},
      {"+5.000000E-01,-9.900000E+37\r", ReplyVerdict::Overflow, 0},
      {"+9.910000E+37,+5.000000E-07\r", ReplyVerdict::Overflow, 0},
      // Beyond a double is an overflow too, not text without a number.
      {"1e999,1\r", ReplyVerdict::Overflow, 0},
      {"+5.0E-01,1e400\r", ReplyVerdict::Overflow, 0},
  };
  for (const Case& c : cases) {
    LatestReading r;
    r.voltage = 7.0;
    r.current = 8.0;
    EXPECT_EQ(Judge(c.reply, r, c.form), c.verdict) << c.reply;
    if (c.verdict == ReplyVerdict::Reading) {
      EXPECT_DOUBLE_EQ(r.current, c.current) << c.reply;
    } else {
      EXPECT_EQ(r.voltage, 7.0) << c.reply;
      EXPECT_EQ(r.current, 8.0) << c.reply;
    }
  }
}

// Beyond a double, a number is too large or zero by the power of ten of its
// first digit, not by the sign of its exponent (found by fuzzing).
TEST(InstrumentProtocol, ANumberBeyondADoubleIsJudgedByItsSize) {
  const std::string zeros(400, '0');
  LatestReading r;
  const std::string huge = "1" + zeros + "e-1,1\r";  // 1e399
  EXPECT_EQ(JudgeReply(huge.data(), static_cast<int>(huge.size()), r, nullptr, BareForm()), ReplyVerdict::Overflow);
  for (const std::string& tiny : {"1,0." + zeros + "1e+5\r", "1,0." + zeros + "1\r", "1,-0." + zeros + "0\r"}) {
    r.current = 8.0;
    ASSERT_EQ(JudgeReply(tiny.data(), static_cast<int>(tiny.size()), r, nullptr, BareForm()), ReplyVerdict::Reading);
    EXPECT_EQ(r.current, 0.0);
  }
}

TEST(InstrumentProtocol, ComplianceIsBit3OfTheStatusWord) {
  const std::string head = "+5.000000E-01,+1.050000E-04,+9.910000E+37,+1.234567E+01,";
  ReplyForm noStatus;
  noStatus.elements.pop_back();
  struct Case {
    std::string reply;
    bool inCompliance;
    ReplyForm form = ReplyForm();
  };
  const std::vector<Case> cases = {
      {head + "+1.946400E+04\r", true},   // 19464 = 19456 + 8
      {head + "+1.945600E+04\r", false},  // 19456: bit 3 clear
      {head + "+7.000000E+00\r", false},
      {"+5.000000E-01,+1.050000E-04,+9.910000E+37,+1.234567E+01\r", false, noStatus},
      {"+5.000000E-01,+1.050000E-04\r", false, BareForm()},
  };
  for (const Case& c : cases) {
    LatestReading r;
    r.inCompliance = !c.inCompliance;
    ASSERT_EQ(Judge(c.reply, r, c.form), ReplyVerdict::Reading) << c.reply;
    EXPECT_EQ(r.inCompliance, c.inCompliance) << c.reply;
    EXPECT_EQ(r.current, 1.05e-4) << c.reply;
  }
}

// The instrument sends exactly the elements it was asked for, each one number,
// separated by single commas: one more, one fewer, or another separator is damage.
TEST(InstrumentProtocol, AReadingHoldsExactlyTheElementsAskedFor) {
  const std::string healthy = "+5.000000E-01,+2.500000E-07,+9.910000E+37,+1.000000E+00,+1.998800E+04\r";
  LatestReading r;
  ASSERT_EQ(Judge(healthy, r), ReplyVerdict::Reading);
  EXPECT_EQ(r.current, 2.5e-7);
  const std::vector<std::string> damaged = {
      // The decimal point of the current became a comma: six elements, the current cut short.
      "+5.000000E-01,+2,500000E-07,+9.910000E+37,+1.000000E+00,+1.998800E+04\r",
      "+5.000000E-01,+2.500000E-07,+9.910000E+37,+1.000000E+00\r",
      "+5.000000E-01,+2.500000E-07,+9.910000E+37,+1.000000E+00,+1.998800E+04,+0\r",
      "+5.000000E-01,+2.500000E-07;+9.910000E+37,+1.000000E+00,+1.998800E+04\r",
      "+5.000000E-01,+2.500000E-07,,+9.910000E+37,+1.000000E+00,+1.998800E+04\r",
      "+5.000000E-01,+2.500000E-07,+9.910000E+37,+1.000000E+00,+1.998800E+04,\r",
      "+5.000000E-01,+2.500000E-07,+9.91000OE+37,+1.000000E+00,+1.998800E+04\r",
      "+5.000000E-01,+2.500000E-07,+9.910000E+37,+1.000000E+00,+1.9988.0E+04\r",
  };
  for (const std::string& reply : damaged) EXPECT_EQ(Judge(reply, r), ReplyVerdict::Garbled) << reply;
  // Cut inside or before a later element: more was to come.
  EXPECT_EQ(Judge(healthy.substr(0, 60), r), ReplyVerdict::Incomplete);
  EXPECT_EQ(Judge(healthy.substr(0, healthy.size() - 1), r), ReplyVerdict::Incomplete);

  // Asked for voltage, current and status only, the instrument sends three.
  ReplyForm three;
  three.elements = {ReplyElement::Voltage, ReplyElement::Current, ReplyElement::Status};
  EXPECT_EQ(Judge("+5.000000E-01,+2.500000E-07,+8.000000E+00\r", r, three), ReplyVerdict::Reading);
  EXPECT_TRUE(r.inCompliance);
  EXPECT_EQ(Judge(healthy, r, three), ReplyVerdict::Garbled);
}

TEST(InstrumentProtocol, AValueTheInstrumentCannotSendIsNoReading) {
  InstrumentSettings settings;
  settings.currentLimit = 1e-6;
  const ReplyForm limited = ReplyFormFor(settings);
  EXPECT_DOUBLE_EQ(limited.maxCurrent, 1.05e-6);
  settings.currentRange = 1e-7;  // a fixed range below the limit reads to 105 % of its full scale
  EXPECT_DOUBLE_EQ(ReplyFormFor(settings).maxCurrent, 1.05e-7);
  settings.currentRange = 1e-3;
  EXPECT_DOUBLE_EQ(ReplyFormFor(settings).maxCurrent, 1.05e-6);

  auto reply = [](const char* volts, const char* amperes, const char* ohms, const char* time, const char* status) {
    return std::string(volts) + "," + amperes + "," + ohms + "," + time + "," + status + "\r";
  };
  struct Case {
    std::string reply;
    ReplyVerdict verdict;
  };
  const std::vector<Case> cases = {
      // In compliance the current is at the limit: a reading.
      {reply("+5.0E-01", "+1.000000E-06", "+9.91E+37", "+1.0E+00", "+8.0E+00"), ReplyVerdict::Reading},
      {reply("+5.0E-01", "-1.049000E-06", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Reading},
      {reply("+5.0E-01", "+1.051000E-06", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "-2.000000E-05", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Garbled},
      // Below what its smallest range resolves, the instrument sends zero, never a tiny number.
      {reply("+5.0E-01", "+0.000000E+00", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Reading},
      {reply("+5.0E-01", "+1.000000E-12", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Reading},
      {reply("+5.0E-01", "+2.500000E-87", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "+9.910000E+37", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Overflow},
      {reply("+2.100000E+02", "+1.0E-07", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Reading},
      {reply("-2.110000E+02", "+1.0E-07", "+9.91E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "+1.0E-07", "+2.0E+08", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Reading},
      {reply("+5.0E-01", "+1.0E-07", "+9.11E+37", "+1.0E+00", "+0.0E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "+1.0E-07", "+9.91E+37", "-1.0E+00", "+0.0E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "+1.0E-07", "+9.91E+37", "+1.0E+10", "+0.0E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "+1.0E-07", "+9.91E+37", "+1.0E+00", "+8.5E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "+1.0E-07", "+9.91E+37", "+1.0E+00", "-8.0E+00"), ReplyVerdict::Garbled},
      {reply("+5.0E-01", "+1.0E-07", "+9.91E+37", "+1.0E+00", "+1.6777216E+07"), ReplyVerdict::Garbled},
  };
  for (const Case& c : cases) {
    LatestReading r;
    EXPECT_EQ(Judge(c.reply, r, limited), c.verdict) << c.reply;
  }
}

// Every single-bit flip of every byte of a healthy reply, as an 8N1 line would
// pass it on. A flip that moves a separator, or a value beyond what the
// instrument can send, never becomes a reading; the flips that do are digit
// flips no grammar can see, which is what parity is for. With parity, the
// line marks each flipped byte, and none becomes a reading.
TEST(InstrumentProtocol, SingleBitFlipsOfAHealthyReply) {
  const std::string healthy = "+5.000000E-01,+2.500000E-07,+9.910000E+37,+1.000000E+00,+1.998800E+04\r";
  const ReplyForm form = ReplyFormFor(InstrumentSettings{});
  ReplyForm checked = form;
  checked.lineMarksErrors = true;
  int flips = 0;
  int readings = 0;
  double worstFactor = 1.0;
  for (std::size_t at = 0; at < healthy.size(); ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      std::string flipped = healthy;
      flipped[at] = static_cast<char>(flipped[at] ^ (1 << bit));
      ++flips;
      LatestReading r;
      if (Judge(flipped, r, form) == ReplyVerdict::Reading) {
        ++readings;
        const bool separatorMoved = (healthy[at] == ',') != (flipped[at] == ',');
        EXPECT_FALSE(separatorMoved) << at << " bit " << bit;
        EXPECT_LE(std::fabs(r.current), form.maxCurrent);
        if (r.current != 2.5e-7) {
          const double factor = std::max(std::fabs(r.current) / 2.5e-7, 2.5e-7 / std::fabs(r.current));
          worstFactor = std::max(worstFactor, factor);
        }
      }
      // The same byte as a checking line hands it on: marked, on a serial port or doubled on a pty.
      for (const std::string& mark : {std::string("\xff\0", 2), std::string("\xff\xff\0", 3)}) {
        std::string marked = healthy;
        marked.replace(at, 1, mark + flipped[at]);
        EXPECT_EQ(Judge(marked, r, checked), ReplyVerdict::LineError) << at << " bit " << bit;
      }
    }
  }
  EXPECT_EQ(flips, 560);
  EXPECT_LT(readings, flips / 4);
  std::printf("single-bit flips of a healthy reply: %d, still a reading: %d, worst factor %.6g\n", flips, readings,
              worstFactor);
}

// A healthy reply with one byte outside the grammar put in place of each byte
// in turn, or inserted before it: a miss, or the instrument's own numbers.
TEST(InstrumentProtocol, OneForeignByteAnywhereNeverYieldsOtherNumbers) {
  const std::string healthy = "+5.000000E-01,+1.050000E-04,+9.910000E+37,+1.234567E+01,+1.946400E+04\r";
  int readings = 0;
  int misses = 0;
  for (std::size_t at = 0; at < healthy.size(); ++at) {
    const char topBitSet = static_cast<char>(healthy[at] | 0x80);
    for (const char foreign : {topBitSet, '\x80', '\xff', '\x10', ' ', '\0', 'A'}) {
      std::string replaced = healthy;
      replaced[at] = foreign;
      std::string inserted = healthy;
      inserted.insert(at, 1, foreign);
      for (const std::string& reply : {replaced, inserted}) {
        LatestReading r;
        if (Judge(reply, r) != ReplyVerdict::Reading) {
          ++misses;
          continue;
        }
        ++readings;
        EXPECT_EQ(r.voltage, 0.5) << at;
        EXPECT_EQ(r.current, 1.05e-4) << at;
        EXPECT_TRUE(r.inCompliance) << at;
      }
    }
  }
  EXPECT_GT(misses, 0);
  EXPECT_GT(readings, 0);  // padding before the reply is allowed
}

// Switches LC_NUMERIC to a locale with a decimal comma, building one with
// localedef into a scratch directory when none is installed.
bool UseDecimalCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) return true;
  }
  const std::string dir = "/tmp/ivra-locale-" + std::to_string(getpid());
  const std::string build =
      "mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
  bool switched = false;
  if (std::system(build.c_str()) == 0) {
    setenv("LOCPATH", dir.c_str(), 1);
    switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
  }
  [[maybe_unused]] const int removed = std::system(("rm -rf " + dir).c_str());
  return switched;
}

TEST(InstrumentProtocol, NumbersUseADecimalPointUnderAnyLocale) {
  if (!UseDecimalCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma available";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  const std::string printfText = probe;

  const std::string command = FormatSetVoltageCommand(0.5);
  const std::string line = FormatDataLine(1.5, 2.5e-6);
  LatestReading r;
  const bool parsed = Judge("+5.000E-01,+1.5E-06\r", r, BareForm()) == ReplyVerdict::Reading;
  double volts = 0.0;
  const auto problem = CheckDoubleSetting("0.25", kOutputVoltageRange, volts);
  std::setlocale(LC_NUMERIC, "C");

  ASSERT_EQ(printfText, "0,5");  // the locale is in force: printf would write a comma
  EXPECT_EQ(command, ":SOUR:VOLT 0.50000\r");
  EXPECT_EQ(line, "1.50\ts\t2.5\tuA\n");
  EXPECT_TRUE(parsed);
  EXPECT_DOUBLE_EQ(r.voltage, 0.5);
  EXPECT_DOUBLE_EQ(r.current, 1.5e-6);
  EXPECT_FALSE(problem.has_value());
  EXPECT_EQ(volts, 0.25);
}

}  // namespace
