// The fuzz targets' second readings must tell right from wrong themselves, or
// a target whose checks always pass would look like a clean run.
#include "fuzz/oracles.h"
#include "fuzz/reply_oracle.h"
#include "instrument/instrument_setup.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_view_literals;

TEST(FuzzOracles, DecimalNumbersAsTheInstrumentAndTheFileWriteThem) {
  for (const char* text : {"+5.000000E-01", "-1.2e+3", "7", ".5", "5.", "0e0", "-0.000"}) {
    EXPECT_TRUE(IsDecimalNumber(text, true)) << text;
  }
  for (const char* text : {"", "+", ".", "1e", "1e+", "E5", "1.2.3", "1e5.0", "--1", " 1", "1 ", "inf", "nan", "0x1"}) {
    EXPECT_FALSE(IsDecimalNumber(text, true)) << text;
  }
  EXPECT_FALSE(IsDecimalNumber("+1", false));
  EXPECT_TRUE(IsDecimalNumber("-1", false));
  bool underflow = false;
  EXPECT_EQ(DecimalValue("-2.5E+01", &underflow), -25.0);
  EXPECT_FALSE(underflow);
  EXPECT_EQ(DecimalValue("1e-400", &underflow), 0.0);
  EXPECT_TRUE(underflow);
  DecimalValue("0.000e-400", &underflow);
  EXPECT_FALSE(underflow);
}

TEST(FuzzOracles, RepliesReadByTheirDescription) {
  const ReplyForm reset;
  const ReplyContent full =
      RereadReply("\r\n +5.000000E-01,-1.050000E-04,+9.910000E+37,+1.2E+01,+1.946400E+04\rjunk", reset);
  EXPECT_EQ(full.kind, ReplyContent::Reading);
  EXPECT_EQ(full.voltage, 0.5);
  EXPECT_EQ(full.current, -1.05e-4);
  EXPECT_TRUE(full.inCompliance);  // 19464 has bit 3
  EXPECT_FALSE(RereadReply("+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+1.9456E+04\r", reset).inCompliance);
  for (const char* reply : {"", "\r\n", "+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+0", "+5.0E-01,+1.0E-04\r",
                            "+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+0,+0\r", "+5.0E-01;+1.0E-04,+9.9E+37,+1.2E+01,+0\r",
                            "+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+0.5\r", "+5.0E-01,+1.0E-04,+9.9E+37,-1,+0\r",
                            "+5.0E-01,+1.0E-04,+2.2E+08,+1,+0\r", "+5.0E-01,+1.0E-04,+9.9E+37,+1,+16777216\r",
                            "+211,+1.0E-04,+9.9E+37,+1,+0\r", "+5.0E-01,+1.2E-04,+9.9E+37,+1,+0\r",
                            "+5.0E-01,+1.0E-16,+9.9E+37,+1,+0\r", "+5.0E-01 ,+1.0E-04,+9.9E+37,+1,+0\r"}) {
    EXPECT_EQ(RereadReply(reply, reset).kind, ReplyContent::NotAReading) << reply;
  }
  EXPECT_EQ(RereadReply("+5.0E-01,-0,+9.9E+37,+1,+0\r", reset).kind, ReplyContent::Reading);
  EXPECT_EQ(RereadReply("+5.0E-01,+9.91E+37,+9.91E+37,+1,+0\r", reset).kind, ReplyContent::Overflow);
  EXPECT_EQ(RereadReply("+5.0E+99,+1e400,-9.91E+37,+1,+0\r", reset).kind, ReplyContent::Overflow);
  // Elements the instrument cannot send weigh more than an overflow.
  EXPECT_EQ(RereadReply("+5.0E-01,+9.91E+37,+9.91E+37,-1,+0\r", reset).kind, ReplyContent::NotAReading);

  ReplyForm two;
  two.elements = {ReplyElement::Voltage, ReplyElement::Current};
  two.maxCurrent = 1.05;
  two.lineMarksErrors = true;
  const ReplyContent amp = RereadReply("+5.0E-01,-1.0E+00\n", two);
  EXPECT_EQ(amp.kind, ReplyContent::Reading);
  EXPECT_EQ(amp.current, -1.0);
  EXPECT_FALSE(amp.inCompliance);
  EXPECT_EQ(RereadReply("+5.0E-01,-1.0E+00,+9.9E+37,+1,+0\r", two).kind, ReplyContent::NotAReading);
  EXPECT_EQ(RereadReply("+5.0E-01,-1.0\xff\x00"
                        "3E+00\r"sv,
                        two)
                .kind,
            ReplyContent::LineError);
  EXPECT_EQ(RereadReply("+5.0E-01,-1.0\xff\x00"
                        "3E+00\r"sv,
                        reset)
                .kind,
            ReplyContent::NotAReading);
}

TEST(FuzzOracles, ShortenedRepliesReadByTheirDescription) {
  InstrumentSettings settings;
  settings.currentLimit = 1e-3;
  const ReplyForm shortened = ReplyFormFor(settings, true);
  const ReplyContent held = RereadReply("+5.000000E-01,+1.000000E-03,+8.000000E+00\r", shortened);
  EXPECT_EQ(held.kind, ReplyContent::Reading);
  EXPECT_EQ(held.current, 1e-3);
  EXPECT_TRUE(held.inCompliance);  // the third element is the status word here
  EXPECT_FALSE(RereadReply("+5.0E-01,+1.0E-03,+4.0E+00\r", shortened).inCompliance);
  // The five elements of a reset instrument, or a status word it cannot send, are no reading here.
  for (const char* reply : {"+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+8\r", "+5.0E-01,+1.0E-04\r",
                            "+5.0E-01,+1.0E-04,+8.5\r", "+5.0E-01,+1.0E-04,-8\r", "+5.0E-01,+1.1E-03,+0\r"}) {
    EXPECT_EQ(RereadReply(reply, shortened).kind, ReplyContent::NotAReading) << reply;
  }
  EXPECT_EQ(RereadReply("+5.0E-01,+9.91E+37,+0\r", shortened).kind, ReplyContent::Overflow);
  // And the full form refuses the shortened reply.
  EXPECT_EQ(RereadReply("+5.0E-01,+1.0E-04,+8\r", ReplyFormFor(settings, false)).kind, ReplyContent::NotAReading);
}

TEST(FuzzOracles, DataLinesReadByTheirDescription) {
  const DataLineContent line = RereadDataLine("12.35\ts\t-1.5e-06\tuA\r");
  EXPECT_TRUE(line.isData);
  EXPECT_EQ(line.seconds, 12.35);
  EXPECT_EQ(line.microamperes, -1.5e-6);
  for (const char* text :
       {"", "12.35\ts\t1.5\tuA\t", "12.35 s 1.5 uA", "12.35\ts\t+1.5\tuA", "12.35\ts\tnan\tuA", "12.35\ts\t1e999\tuA",
        "12.35\ts\t1e-999\tuA", "12.35\tS\t1.5\tuA", "12.35\ts\t1.5\tuA\r\r"}) {
    EXPECT_FALSE(RereadDataLine(text).isData) << text;
  }
}

TEST(FuzzOracles, HeadersMatchedOnEveryChoiceOfOptionalNodes) {
  const std::string compliance = "[:SENSe#]:CURRent[:DC]:PROTection[:LEVel]";
  EXPECT_TRUE(HeaderNamesCommand(compliance, {"CURR", "PROT"}, false));
  EXPECT_TRUE(HeaderNamesCommand(compliance, {"sense1", "current", "dc", "prot", "lev"}, false));
  EXPECT_FALSE(HeaderNamesCommand(compliance, {"SENS2", "CURR", "PROT"}, false));
  EXPECT_TRUE(HeaderNamesCommand(compliance, {"SENS2", "CURR", "PROT"}, true));
  EXPECT_FALSE(HeaderNamesCommand(compliance, {"CURR1", "PROT"}, false));
  EXPECT_FALSE(HeaderNamesCommand(compliance, {"CUR", "PROT"}, true));
  EXPECT_FALSE(HeaderNamesCommand(compliance, {"CURR", "PROT", "LEV", "LEV"}, true));
  EXPECT_TRUE(HeaderNamesCommand(":SYSTem:RS232:TERMinator", {"syst", "rs232", "term"}, false));
  EXPECT_TRUE(HeaderNamesCommand(":OUTPut#[:STATe]", {"OUTP1"}, false));
}

}  // namespace
