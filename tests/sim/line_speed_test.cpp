// What a client's UART makes of the instrument's bytes: at the wrong speed,
// and through a noisy cable with and without parity.
#include "sim/line_speed.h"

#include <cmath>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "serial/line_settings.h"

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

// Every ASCII character in every form with parity: one flipped bit, data or
// parity, arrives marked with the byte as received; two pass the parity check
// and arrive wrong, unmarked. Without parity nothing is marked.
TEST(NoisyLineTest, AParityErrorIsMarkedAsAUartMarksIt) {
  EXPECT_EQ(ReceivedCharacter('5', 0x80, SimParity::None, 8), "\xB5");
  for (const int dataBits : {7, 8}) {
    for (const SimParity parity : {SimParity::Even, SimParity::Odd}) {
      for (unsigned char c = 0; c < 0x80; ++c) {
        EXPECT_EQ(ReceivedCharacter(c, 0, parity, dataBits), std::string(1, static_cast<char>(c)));
        for (int a = 0; a <= dataBits; ++a) {
          const auto wrong = static_cast<char>((c ^ (1u << a)) & ((1u << dataBits) - 1));
          EXPECT_EQ(ReceivedCharacter(c, 1u << a, parity, dataBits), std::string("\xFF\x00", 2) + wrong);
          for (int b = a + 1; b <= dataBits; ++b) {
            const std::string two = ReceivedCharacter(c, (1u << a) | (1u << b), parity, dataBits);
            EXPECT_TRUE(two.size() == 1 && two[0] != static_cast<char>(c)) << int{c} << ": " << a << ", " << b;
          }
        }
      }
    }
  }
}

const std::string kReply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.234568E+01,+2.150800E+04\r";

// Over many characters the flips, the marked characters and the wrong
// unmarked ones come as often as independent flips at the rate make them,
// within at least four standard deviations; at rate 0 nothing changes. The
// same seed flips the same bits in whatever chunks the replies go out.
TEST(NoisyLineTest, BitsFlipAtTheGivenRateFromTheSeed) {
  const double characters = 1000.0 * kReply.size();
  for (const double rate : {0.0, 0.01, 0.5}) {
    for (const SimParity parity : {SimParity::None, SimParity::Even}) {
      const int dataBits = parity == SimParity::None ? 8 : 7, bits = 8;  // 8N1 or 7E1
      NoisyLine line(rate, 3, parity, dataBits), twin(rate, 3, parity, dataBits);
      ReplyNoise noise, twinNoise;
      double marked = 0, wrongUnmarked = 0;
      for (int i = 0; i < 1000; ++i) {
        const std::string received = line.Transmit(kReply, noise);
        const std::string head = twin.Transmit(kReply.substr(0, 14), twinNoise);
        ASSERT_EQ(head + twin.Transmit(kReply.substr(14), twinNoise), received);
        for (std::size_t r = 0, s = 0; r < received.size(); ++r, ++s) {
          const bool mark = received.compare(r, 2, "\xFF\x00", 2) == 0;
          if (mark) r += 2;
          marked += mark;
          wrongUnmarked += !mark && received[r] != kReply[s];
        }
      }
      EXPECT_NEAR(static_cast<double>(noise.flippedBits), rate * bits * characters, 0.1 * rate * bits * characters);
      // With parity an odd number of flips is marked: (1 - (1 - 2p)^n) / 2.
      const double odd = parity == SimParity::None ? 0 : (1 - std::pow(1 - 2 * rate, bits)) / 2;
      const double unmarked = 1 - odd - std::pow(1 - rate, bits);
      EXPECT_NEAR(marked, odd * characters, 0.1 * odd * characters) << rate;
      EXPECT_NEAR(wrongUnmarked, unmarked * characters, 0.3 * unmarked * characters) << rate;
    }
  }
  NoisyLine seed3(0.05, 3, SimParity::Odd, 7), seed4(0.05, 4, SimParity::Odd, 7);
  ReplyNoise a, b;
  EXPECT_NE(seed3.Transmit(kReply, a), seed4.Transmit(kReply, b));
}
}  // namespace
