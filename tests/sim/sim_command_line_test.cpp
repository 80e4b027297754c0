#include "programs/ivra-sim/sim_command_line.h"

#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "serial/line_settings.h"
#include "sim/simulated_instrument.h"

namespace {

SimCommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "ivra-sim");
  return ParseSimCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(SimCommandLineTest, DefaultsAreAOneMegohmResistorWithoutFaults) {
  const SimCommandLine c = Parse({});
  EXPECT_TRUE(c.error.empty());
  EXPECT_FALSE(c.help);
  EXPECT_EQ(c.options.ohms, 1e6);
  EXPECT_EQ(c.options.baud, 9600);
  EXPECT_FALSE(c.options.diode || c.options.silent || c.options.garbage || c.options.oneNumber || c.options.longReply);
  EXPECT_EQ(c.options.slowReplyMs, 0);
  EXPECT_EQ(c.options.hangUpAfterReads, -1);
  EXPECT_TRUE(c.options.logPath.empty());
  EXPECT_TRUE(c.options.devicePath.empty());
  EXPECT_EQ(c.options.parity, SimParity::None);
  EXPECT_EQ(c.options.dataBits, 8);
  EXPECT_EQ(c.options.lineNoise, 0.0);
}

TEST(SimCommandLineTest, EveryOptionIsTakenInBothSpellings) {
  const SimCommandLine c = Parse({"--device", "/dev/ttyS1", "--baud", "19200", "--ohms=4.7e3", "--diode", "--noise",
                                  "1e-9", "--seed=7", "--silent", "--garbage", "--one-number", "--long-reply", "--slow",
                                  "250", "--split-reply=35", "--hang-up-after=3", "--log", "/tmp/x.log"});
  ASSERT_TRUE(c.error.empty()) << c.error;
  EXPECT_EQ(c.options.devicePath, "/dev/ttyS1");
  EXPECT_EQ(c.options.baud, 19200);
  EXPECT_EQ(c.options.ohms, 4.7e3);
  EXPECT_TRUE(c.options.diode);
  EXPECT_EQ(c.options.noise, 1e-9);
  EXPECT_EQ(c.options.seed, 7u);
  EXPECT_TRUE(c.options.silent && c.options.garbage && c.options.oneNumber && c.options.longReply);
  EXPECT_EQ(c.options.slowReplyMs, 250);
  EXPECT_EQ(c.options.hangUpAfterReads, 3);
  EXPECT_EQ(c.options.splitReplyAfter, 35);
  EXPECT_EQ(c.options.logPath, "/tmp/x.log");
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--version"}).version);
  EXPECT_EQ(Parse({"--ohms", "1", "--ohms=2"}).options.ohms, 2.0);  // the last one counts
  EXPECT_EQ(Parse({"--baud=300"}).options.baud, 300);
}

TEST(SimCommandLineTest, InvalidCommandLinesAreReported) {
  for (const std::vector<const char*>& bad : std::vector<std::vector<const char*>>{{"--ohms"},
                                                                                   {"--ohms", "0"},
                                                                                   {"--ohms", "-5"},
                                                                                   {"--ohms", "1k"},
                                                                                   {"--baud", "9601"},
                                                                                   {"--baud", "115200"},
                                                                                   {"--baud"},
                                                                                   {"--noise", "-1e-9"},
                                                                                   {"--seed", "-1"},
                                                                                   {"--slow", "fast"},
                                                                                   {"--hang-up-after", "-2"},
                                                                                   {"--split-reply", "-1"},
                                                                                   {"--log="},
                                                                                   {"--ohms="},
                                                                                   {"--device"},
                                                                                   {"--diode=yes"},
                                                                                   {"--frobnicate"},
                                                                                   {"extra"}}) {
    EXPECT_FALSE(Parse(bad).error.empty()) << bad[0];
  }
}

// --baud takes the instrument's own rates and nothing between them, and its
// message lists exactly those.
TEST(SimCommandLineTest, BaudTakesExactlyTheInstrumentsRates) {
  const std::string message = Parse({"--baud", "1"}).error;
  std::vector<int> listed;
  const std::regex number("[0-9]+");
  for (auto it = std::sregex_iterator(message.begin(), message.end(), number); it != std::sregex_iterator(); ++it) {
    listed.push_back(std::stoi(it->str()));
  }
  EXPECT_EQ(listed, std::vector<int>(std::begin(kBaudRates), std::end(kBaudRates))) << message;
  for (const int baud : kBaudRates) {
    for (const int given : {baud - 1, baud, baud + 1}) {
      const std::string text = std::to_string(given);
      const SimCommandLine c = Parse({"--baud", text.c_str()});
      EXPECT_EQ(c.error.empty(), given == baud) << given;
      if (given == baud) {
        EXPECT_EQ(c.options.baud, baud);
      }
    }
  }
}

// The instrument's menu offers 8N1, 8E1, 8O1, 7E1 and 7O1; anything else is
// refused with a message that names the option and those forms.
TEST(SimCommandLineTest, LineFormAndNoiseTakeWhatTheInstrumentOffers) {
  const SimCommandLine c = Parse({"--parity", "eVeN", "--data-bits=7", "--line-noise", "1e-4"});
  ASSERT_TRUE(c.error.empty()) << c.error;
  EXPECT_TRUE(c.options.parity == SimParity::Even && c.options.dataBits == 7 && c.options.lineNoise == 1e-4);
  EXPECT_EQ(Parse({"--parity=ODD"}).options.parity, SimParity::Odd);
  const std::vector<std::vector<const char*>> badForms = {{"--parity", "1"},
                                                          {"--parity", "mark"},
                                                          {"--data-bits", "7"},
                                                          {"--data-bits=7", "--parity=none"},
                                                          {"--data-bits", "9"}};
  for (const std::vector<const char*>& bad : badForms) {
    const std::string error = Parse(bad).error;
    EXPECT_EQ(error.rfind(std::string(bad[0]).substr(0, std::string(bad[0]).find('=')) + " ", 0), 0u) << error;
    EXPECT_NE(error.find("8N1, 8E1, 8O1, 7E1 and 7O1"), std::string::npos) << error;
  }
  for (const char* rate : {"-1e-9", "0.50001", "nan", "often"}) {
    EXPECT_EQ(Parse({"--line-noise", rate}).error.rfind("--line-noise ", 0), 0u) << rate;
  }
  EXPECT_TRUE(Parse({"--line-noise", "0.5"}).error.empty());
  // A served device's UART makes its own parity bit: no mark could reach the client.
  EXPECT_FALSE(Parse({"--device", "/dev/ttyS1", "--parity", "odd", "--line-noise", "1e-3"}).error.empty());
  EXPECT_TRUE(Parse({"--device", "/dev/ttyS1", "--line-noise", "1e-3"}).error.empty());
}

TEST(SimCommandLineTest, ABridgeAndAControllerStandInFrontOnlyWhenAsked) {
  SimCommandLine c = Parse({});
  EXPECT_FALSE(c.adapter.listen || c.adapter.prologix);
  c = Parse({"--listen", "5025"});
  EXPECT_TRUE(c.adapter.listen);
  EXPECT_EQ(c.adapter.listenHost, "127.0.0.1");  // nobody else's unless asked
  EXPECT_EQ(c.adapter.listenPort, 5025);
  c = Parse({"--listen=[::1]:1234", "--prologix", "--gpib-address", "7"});
  ASSERT_EQ(c.error, "");
  EXPECT_EQ(c.adapter.listenHost, "::1");
  EXPECT_EQ(c.adapter.listenPort, 1234);
  EXPECT_TRUE(c.adapter.prologix);
  EXPECT_EQ(c.adapter.gpibAddress, 7);
  EXPECT_EQ(Parse({"--prologix"}).adapter.gpibAddress, 24);
  for (const char* bad : {"x", "host:", "65536", "::1:5"}) {
    EXPECT_EQ(Parse({"--listen", bad}).error,
              "--listen needs PORT, HOST:PORT or [IPv6]:PORT, with a port from 1 to 65535")
        << bad;
  }
  EXPECT_EQ(Parse({"--prologix", "--gpib-address", "31"}).error, "--gpib-address needs an address from 0 to 30");
  EXPECT_EQ(Parse({"--gpib-address", "3"}).error,
            "--gpib-address needs --prologix: without a controller the instrument is on RS-232");
}

TEST(CommandLogTest, EscapesEveryByteThatIsNotPlainText) {
  EXPECT_EQ(EscapeCommandBytes(":OUTP OFF\r"), ":OUTP OFF\\r");
  EXPECT_EQ(EscapeCommandBytes("a\nb\tc\\d"), "a\\nb\\tc\\\\d");
  EXPECT_EQ(EscapeCommandBytes(std::string("\x00\x01\x7f\xc3\xa9", 5)), "\\x00\\x01\\x7F\\xC3\\xA9");
  EXPECT_EQ(EscapeCommandBytes(""), "");
}

}  // namespace
