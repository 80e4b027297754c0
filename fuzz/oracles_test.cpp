// The fuzz targets' second readings must tell right from wrong themselves, or
// a target whose checks always pass would look like a clean run.
#include "fuzz/oracles.h"

#include <gtest/gtest.h>

namespace {

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
  const ReplyContent full = RereadReply("\r\n +5.000000E-01,-1.050000E-04,+9.910000E+37,+1.2E+01,+1.946400E+04\rjunk");
  EXPECT_EQ(full.kind, ReplyContent::Reading);
  EXPECT_EQ(full.voltage, 0.5);
  EXPECT_EQ(full.current, -1.05e-4);
  EXPECT_TRUE(full.inCompliance);  // 19464 has bit 3
  EXPECT_FALSE(RereadReply("+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+1.9456E+04\r").inCompliance);
  // A status word still running up to the end of what arrived is not one yet.
  EXPECT_FALSE(RereadReply("+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+8").inCompliance);
  EXPECT_TRUE(RereadReply("+5.0E-01,+1.0E-04,+9.9E+37,+1.2E+01,+8;").inCompliance);
  EXPECT_EQ(RereadReply("+5.0E-01,+1.0E-04,+9.9E+37").kind, ReplyContent::Reading);

  for (const char* reply :
       {"", "\r\n", "+5.0E-01\r", "+5.0E-01,+1.0E-04", "+5.0E-01;+1.0E-04\r", "+5.0E-01,ABC\r", "+5.0E-01 ,+1.0E-04\r",
        "+5.0E-01,+1.0E-04,+9.9\xff"
        "1E+37\r",
        "x+5.0E-01,+1.0E-04\r"}) {
    EXPECT_EQ(RereadReply(reply).kind, ReplyContent::NotAReading) << reply;
  }
  EXPECT_EQ(RereadReply("+5.0E-01,+9.91E+37\r").kind, ReplyContent::Overflow);
  EXPECT_EQ(RereadReply("-9.9E+37,+1.0E-04\r").kind, ReplyContent::Overflow);
  EXPECT_EQ(RereadReply("+5.0E-01,1e400\n").kind, ReplyContent::Overflow);
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
