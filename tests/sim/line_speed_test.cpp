// What a UART at the wrong speed makes of the instrument's bytes.
#include "sim/line_speed.h"

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "serial/baud_rates.h"

namespace {

TEST(LineSpeedTest, AReceiverAtTheWrongSpeedSamplesTheWrongBits) {
  // 0xFF at twice the speed: the first data bit is sampled inside the start bit.
  EXPECT_EQ(ReceivedAtWrongSpeed("\xFF", 9600, 19200), "\xFE");
  // 0x00 at half the speed: from the fourth data bit on the samples fall on the
  // stop bits and the idle line.
  EXPECT_EQ(ReceivedAtWrongSpeed(std::string(1, '\0'), 9600, 4800), "\xF8");
  const std::string reply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.234568E+01,+2.150800E+04\r";
  EXPECT_EQ(ReceivedAtWrongSpeed(reply, 19200, 19200), reply);
}

TEST(LineSpeedTest, NoWrongSpeedLeavesAReadingInTheReply) {
  const std::string reply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.234568E+01,+2.150800E+04\r";
  const std::regex numberPair(R"([-+]?[0-9]*\.?[0-9]+([eE][-+]?[0-9]+)?,[-+]?\.?[0-9])");
  for (const int instrument : kBaudRates) {
    for (const int client : kBaudRates) {
      if (client == instrument) continue;
      const std::string noise = ReceivedAtWrongSpeed(reply, instrument, client);
      EXPECT_FALSE(noise.empty()) << instrument << " -> " << client;
      EXPECT_FALSE(std::regex_search(noise, numberPair)) << instrument << " -> " << client;
    }
  }
}

}  // namespace
