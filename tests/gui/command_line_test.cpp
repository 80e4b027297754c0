#include <gtest/gtest.h>

#include "programs/ivra/command_line.h"

namespace {

// The --comN=PATH options as the parse kept them, in their order.
std::vector<std::string> PortPathOptions(const IvraCommandLine& line) {
  std::vector<std::string> options;
  for (const PortPathOption& option : line.ports.comPaths) {
    options.push_back("--com" + std::to_string(option.portNumber) + "=" + option.path);
  }
  return options;
}

}  // namespace

TEST(IvraCommandLine, AcceptsSimulateHelpAndPortOptionsOnly) {
  IvraCommandLine line = ParseIvraCommandLine({"--simulate", "--com1=/dev/pts/7", "--com4=/dev/ttyUSB0"});
  EXPECT_TRUE(line.error.empty());
  EXPECT_TRUE(line.ports.simulate);
  EXPECT_FALSE(line.help);
  EXPECT_EQ(PortPathOptions(line), (std::vector<std::string>{"--com1=/dev/pts/7", "--com4=/dev/ttyUSB0"}));

  EXPECT_TRUE(ParseIvraCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseIvraCommandLine({"--version"}).version);
  // Given twice, the later path wins, as it is applied last.
  EXPECT_EQ(PortPathOptions(ParseIvraCommandLine({"--com2=/dev/a", "--com2=/dev/b"})),
            (std::vector<std::string>{"--com2=/dev/a", "--com2=/dev/b"}));
  EXPECT_TRUE(ParseIvraCommandLine({}).error.empty());
  for (const char* bad : {"--com5=/dev/x", "--com1=", "--com0=/dev/x", "--com12=/dev/x", "-simulate", "file.dat"}) {
    EXPECT_FALSE(ParseIvraCommandLine({bad}).error.empty()) << bad;
  }
}

TEST(IvraCommandLine, TakesANetworkPortAndAGpibAddressWithIvraRunsChecks) {
  IvraCommandLine line = ParseIvraCommandLine({"--simulate", "--gpib=24", "--port=tcp://127.0.0.1:5025"});
  EXPECT_TRUE(line.error.empty()) << line.error;
  EXPECT_EQ(line.ports.GpibAddress(), 24);
  EXPECT_EQ(line.ports.port.value_or(""), "tcp://127.0.0.1:5025");
  EXPECT_EQ(ParseIvraCommandLine({"--simulate"}).ports.GpibAddress(), -1);
  for (const char* bad :
       {"--gpib=31", "--gpib=x", "--port=tcp://host", "--port=tcp://host:70000", "--port=/dev/ttyS0"}) {
    const std::string error = ParseIvraCommandLine({bad}).error;
    EXPECT_EQ(error.compare(0, 6, std::string(bad).substr(0, 6)), 0) << bad << ": " << error;
  }
}
