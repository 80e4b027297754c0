#include "measurement/instrument_protocol.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "fake_instrument_link.h"

namespace {

// Filter and parse as a sample does; returns whether a reading was found.
bool ParseReply(const std::string& reply, LatestReading& reading) {
  return ParseReading(FilterReply(reply.c_str()), reading);
}

TEST(InstrumentProtocol, ParsesVoltageAndCurrentFromTheReply) {
  LatestReading r;
  ASSERT_TRUE(ParseReply("+5.000E-01,+1.234E-06,+9.9E+37\r", r));
  EXPECT_DOUBLE_EQ(r.voltage, 0.5);
  EXPECT_DOUBLE_EQ(r.current, 0.000001234);

  ASSERT_TRUE(ParseReply("+1.0E+00 , -2.0E-06", r));
  EXPECT_DOUBLE_EQ(r.voltage, 1.0);
  EXPECT_DOUBLE_EQ(r.current, -0.000002);

  // The simulator's and the instrument's five-field reply.
  ASSERT_TRUE(ParseReply("+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.234567E+01,+2.150800E+04\r", r));
  EXPECT_DOUBLE_EQ(r.current, 5e-7);

  ASSERT_TRUE(ParseReply("-.5,3.", r));
  EXPECT_DOUBLE_EQ(r.voltage, -0.5);
  EXPECT_DOUBLE_EQ(r.current, 3.0);
}

TEST(InstrumentProtocol, AReplyWithoutBothNumbersChangesNothing) {
  LatestReading r;
  r.voltage = 7.0;
  r.current = 8.0;
  for (const char* reply : {"", "\r", "ERROR", "+1.0E+00", "+1.0E+00,", "+1.0E+00,ABC", ",1,2",
                            "1;2", "1.5 2.5", "+-1,2", "1,--2", "E5,1", "1e999,1"}) {
    EXPECT_FALSE(ParseReply(reply, r)) << '"' << reply << '"';
    EXPECT_EQ(r.voltage, 7.0) << reply;
    EXPECT_EQ(r.current, 8.0) << reply;
  }
}

TEST(InstrumentProtocol, FilterKeepsOnlyNumberCharactersAndStopsAtZeroOr250Bytes) {
  EXPECT_EQ(FilterReply(" +1.5E-3 ;A,b\te-2\r\n"), "+1.5E-3;,e-2");
  const char withZero[] = "1.0,2.0\0,3.0";
  EXPECT_EQ(FilterReply(withZero), "1.0,2.0");
  const char zeroBeforeSecond[] = "1.0,\0" "2.0";
  LatestReading r;
  EXPECT_FALSE(ParseReading(FilterReply(zeroBeforeSecond), r));

  char longText[300];
  std::memset(longText, '7', sizeof longText);  // no zero byte in reach
  EXPECT_EQ(FilterReply(longText), std::string(250, '7'));
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
  ScopedFakeLink use(link);
  SendCommand(FormatSetVoltageCommand(0.5).c_str());
  ASSERT_EQ(link.writes.size(), 19u);
  EXPECT_TRUE(link.AllWritesSingleBytes());
  EXPECT_EQ(link.Sent(), ":SOUR:VOLT 0.50000\r");

  link.Forget();
  SendCommand("");
  EXPECT_TRUE(link.writes.empty());

  // A failing link does not cut the command short.
  link.writesSucceed = false;
  SendCommand(kOutputOffCommand);
  EXPECT_EQ(link.Sent(), ":OUTP OFF\r");
  EXPECT_FALSE(SendByte(0x80));
  EXPECT_EQ(link.writes.back(), std::string(1, '\x80'));
}

TEST(InstrumentProtocol, ReadResponseWaitsThenReadsAtMost100BytesOnce) {
  FakeInstrumentLink link;
  ScopedFakeLink use(link, 5000);
  link.pendingInput = std::string(100, '1') + std::string(50, '2');
  char buffer[kExchangeBufferSize];
  std::memset(buffer, 'x', sizeof buffer);

  EXPECT_EQ(ReadResponse(buffer), 100);
  EXPECT_EQ(link.delays, std::vector<int>{100});
  EXPECT_EQ(link.readSizes, std::vector<int>{100});
  EXPECT_EQ(g_fakeClockMs, 5100);
  EXPECT_EQ(buffer[99], '1');
  EXPECT_EQ(buffer[100], '\0');
  EXPECT_EQ(buffer[101], 'x');

  // The rest of an over-long reply comes first in the next read.
  EXPECT_EQ(ReadResponse(buffer), 50);
  EXPECT_EQ(std::string(buffer), std::string(50, '2'));

  // Nothing arrived: an empty text.
  EXPECT_EQ(ReadResponse(buffer), 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(link.readSizes.size(), 3u);
}

TEST(InstrumentProtocol, NumbersUseADecimalPointUnderAnyLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(FormatSetVoltageCommand(0.5), ":SOUR:VOLT 0.50000\r");
  LatestReading r;
  EXPECT_TRUE(ParseReply("+5.000E-01,+1.5E-06", r));
  EXPECT_DOUBLE_EQ(r.voltage, 0.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
