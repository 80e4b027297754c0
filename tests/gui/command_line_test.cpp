#include <gtest/gtest.h>

#include "app/command_line.h"

TEST(IvraCommandLine, AcceptsSimulateHelpAndPortOptionsOnly) {
  IvraCommandLine line = ParseIvraCommandLine({"--simulate", "--com1=/dev/pts/7", "--com4=/dev/ttyUSB0"});
  EXPECT_TRUE(line.error.empty());
  EXPECT_TRUE(line.simulate);
  EXPECT_FALSE(line.help);
  EXPECT_EQ(line.portOptions, (std::vector<std::string>{"--com1=/dev/pts/7", "--com4=/dev/ttyUSB0"}));

  EXPECT_TRUE(ParseIvraCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseIvraCommandLine({}).error.empty());
  for (const char* bad : {"--com5=/dev/x", "--com1=", "--com0=/dev/x", "--com12=/dev/x", "-simulate", "file.dat"}) {
    EXPECT_FALSE(ParseIvraCommandLine({bad}).error.empty()) << bad;
  }
}
