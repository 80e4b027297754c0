// The simulator on a real pseudo-terminal, driven through SerialLink the way
// the program drives the instrument.
#include "sim/simulated_instrument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/port_table.h"
#include "serial/serial_link.h"
#include "sim/instrument_model.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A client that sets its own line speed, as a terminal program would.
class RawClient {
 public:
  explicit RawClient(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
  ~RawClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool SetSpeed(speed_t speed) {
    termios tio{};
    if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }
  // Even parity, checked, with errors marked as PARMRK marks them.
  bool MarkParityErrors() {
    termios tio{};
    if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) return false;
    tio.c_cflag |= PARENB;
    tio.c_iflag |= INPCK | PARMRK;
    return tcsetattr(fd_, TCSANOW, &tio) == 0;
  }
  bool Send(const std::string& bytes) {
    return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // What arrives until 500 ms pass without a byte (at most 5 s).
  std::string Receive() {
    std::string got;
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < giveUp) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, 500) <= 0) {
        if (!got.empty()) break;
        continue;
      }
      char buffer[256];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
};

class SimulatedInstrumentTest : public ::testing::Test {
 protected:
  void TearDown() override { link_.Close(); }
  // Starts the simulator and opens the link on it as COM2.
  void Connect(SimulatedInstrument& sim) {
    ASSERT_TRUE(sim.Start()) << sim.Error();
    ASSERT_TRUE(ports_.SetDevicePath(2, sim.DevicePath()));
    ASSERT_TRUE(link_.Open(ports_.DevicePath(2)));
  }
  void Send(const std::string& command) {
    for (char c : command) link_.Write(&c, 1);
  }
  std::string ReadReply(int count = 100) {
    std::string buffer(static_cast<std::size_t>(count), '\0');
    const int got = link_.Read(&buffer[0], count);
    buffer.resize(static_cast<std::size_t>(got));
    return buffer;
  }

  PortTable ports_;
  SerialLink link_;
};

TEST_F(SimulatedInstrumentTest, AnswersASampleExchangeOverThePty) {
  SimulatedInstrument sim;
  Connect(sim);
  Send("*RST\r");
  Send(":OUTP ON\r");
  Send(":SOUR:VOLT 0.50000\r");
  const Clock::time_point start = Clock::now();
  Send(":READ?\r");
  const std::string reply = ReadReply();
  const double elapsed = MsSince(start);
  double volts = 0, amps = 0;
  ASSERT_EQ(std::sscanf(reply.c_str(), "%lf,%lf", &volts, &amps), 2) << reply;
  EXPECT_EQ(reply.size(), 70u);
  EXPECT_EQ(reply.back(), '\r');
  EXPECT_DOUBLE_EQ(volts, 0.5);
  EXPECT_DOUBLE_EQ(amps, 5e-7);
  // 50 ms measuring, ~80 ms on the line, 200 ms of quiet to end the read.
  EXPECT_GE(elapsed, 300.0);
  EXPECT_LT(elapsed, 3000.0);
  EXPECT_TRUE(sim.OutputOn());
  EXPECT_DOUBLE_EQ(sim.SourceVolts(), 0.5);
  EXPECT_EQ(sim.ReadRequests(), 1);

  Send("*IDN?\r");
  EXPECT_NE(ReadReply().find("MODEL 2400"), std::string::npos);
  Send(":OUTP OFF\r");
  link_.Close();
  ASSERT_TRUE(sim.WaitForCommands(6, 2000));
  EXPECT_FALSE(sim.OutputOn());
}

TEST_F(SimulatedInstrumentTest, RecordsAndLogsTheExactBytesReceived) {
  const std::string logPath = ::testing::TempDir() + "ivra_sim_log_test.txt";
  SimOptions options;
  options.logPath = logPath;
  SimulatedInstrument sim(options);
  Connect(sim);
  const std::vector<std::string> sent = {"*RST\r", ":OUTP ON\r", ":SOUR:VOLT -10.00000\r", ":OUTP OFF\n",
                                         std::string("\x01?\r", 3)};
  for (const std::string& command : sent) Send(command);
  link_.Close();
  ASSERT_TRUE(sim.WaitForCommands(sent.size(), 2000));
  EXPECT_EQ(sim.ReceivedCommands(), sent);

  std::ifstream log(logPath);
  std::vector<std::string> expected = {"*RST\\r", ":OUTP ON\\r", ":SOUR:VOLT -10.00000\\r", ":OUTP OFF\\n",
                                       "\\x01?\\r"};
  std::string line;
  double lastSeconds = -1;
  for (const std::string& text : expected) {
    ASSERT_TRUE(std::getline(log, line));
    const auto tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    const double seconds = std::stod(line.substr(0, tab));
    EXPECT_GE(seconds, lastSeconds);
    EXPECT_LT(seconds, 60.0);
    lastSeconds = seconds;
    EXPECT_EQ(line.substr(tab + 1), text);
  }
  EXPECT_FALSE(std::getline(log, line));
  sim.Stop();
  std::remove(logPath.c_str());
}

TEST_F(SimulatedInstrumentTest, KeepsOnlyTheLatestCommandsInMemoryButLogsThemAll) {
  const std::string logPath = ::testing::TempDir() + "ivra_sim_ring_test.txt";
  SimOptions options;
  options.keptCommands = 3;
  options.logPath = logPath;
  SimulatedInstrument sim(options);
  Connect(sim);
  for (int i = 0; i < 10; ++i) Send(":SOUR:VOLT " + std::to_string(i) + "\r");
  ASSERT_TRUE(sim.WaitForCommands(10, 2000));
  EXPECT_EQ(sim.ReceivedCount(), 10u);
  EXPECT_EQ(sim.ReceivedCommands(), (std::vector<std::string>{":SOUR:VOLT 7\r", ":SOUR:VOLT 8\r", ":SOUR:VOLT 9\r"}));
  EXPECT_DOUBLE_EQ(sim.SourceVolts(), 9.0);
  sim.Stop();
  std::ifstream log(logPath);
  int lines = 0;
  for (std::string line; std::getline(log, line);) ++lines;
  EXPECT_EQ(lines, 10);
  std::remove(logPath.c_str());
}

TEST_F(SimulatedInstrumentTest, ClientsCanCloseAndReopenBetweenMeasurements) {
  SimulatedInstrument sim;
  Connect(sim);
  Send("*RST\r");
  Send(":OUTP ON\r");
  Send(":READ?\r");  // its answer arrives while nobody listens
  link_.Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  ASSERT_TRUE(link_.Open(ports_.DevicePath(2)));  // the stale reply is drained here
  Send(":SOUR:VOLT 2\r");
  Send(":READ?\r");
  const std::string reply = ReadReply();
  double volts = 0, amps = 0;
  ASSERT_EQ(std::sscanf(reply.c_str(), "%lf,%lf", &volts, &amps), 2) << reply;
  EXPECT_DOUBLE_EQ(volts, 2.0);
  EXPECT_DOUBLE_EQ(amps, 2e-6);
  EXPECT_EQ(reply.size(), 70u);
  EXPECT_EQ(sim.ReadRequests(), 2);
}

TEST_F(SimulatedInstrumentTest, ReadingWithOutputOffGetsNoAnswerButAnError) {
  SimulatedInstrument sim;
  Connect(sim);
  Send("*RST\r");
  Send(":READ?\r");
  EXPECT_EQ(ReadReply(5), "");  // the 1.1 s read time-out
  Send(":SYST:ERR?\r");
  EXPECT_EQ(ReadReply(), "+803,\"Not permitted with OUTPUT off\"\r");
}

TEST_F(SimulatedInstrumentTest, HangUpDropsTheLineInTheMiddleOfAReply) {
  SimOptions options;
  options.hangUpAfterReads = 1;
  SimulatedInstrument sim(options);
  Connect(sim);
  Send(":OUTP ON\r");
  Send(":READ?\r");
  EXPECT_EQ(ReadReply().size(), 70u);
  EXPECT_TRUE(sim.Serving());

  Send(":READ?\r");
  const Clock::time_point start = Clock::now();
  const std::string partial = ReadReply();
  EXPECT_EQ(partial, "+0.000000E+00,+0.000000E+00,+9.9100");  // half a reading at 0 V
  EXPECT_LT(MsSince(start), 5000.0);                          // not the 20.1 s read time-out
  for (int i = 0; i < 500 && sim.Serving(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(sim.Serving());
  EXPECT_TRUE(sim.HungUp());
  const char c = 'x';
  EXPECT_FALSE(link_.Write(&c, 1));
}

TEST_F(SimulatedInstrumentTest, ASplitReplyPausesLongerThanTheReadIntervalTimeOut) {
  SimOptions options;
  options.splitReplyAfter = 20;
  SimulatedInstrument sim(options);
  Connect(sim);
  Send(":OUTP ON\r");
  Send(":READ?\r");
  EXPECT_EQ(ReadReply(), "+0.000000E+00,+0.000");  // the 200 ms interval time-out ends the read here
  const std::string rest = ReadReply();
  EXPECT_EQ(rest.size(), 50u);
  EXPECT_EQ(rest.back(), '\r');
}

TEST_F(SimulatedInstrumentTest, EndlessLineNoiseIsCutIntoBoundedCommands) {
  SimulatedInstrument sim;
  Connect(sim);
  const std::string noise(1500, 'A');
  ASSERT_TRUE(link_.Write(noise.data(), static_cast<int>(noise.size())));
  Send("\r:SYST:ERR?\r");
  EXPECT_EQ(ReadReply(), "-112,\"Program mnemonic too long\"\r");
  const std::vector<std::string> received = sim.ReceivedCommands();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0], std::string(1024, 'A'));
  EXPECT_EQ(received[1], std::string(476, 'A') + "\r");
}

TEST_F(SimulatedInstrumentTest, StopDoesNotWaitForAPendingSlowReply) {
  SimOptions options;
  options.slowReplyMs = 10000;
  SimulatedInstrument sim(options);
  Connect(sim);
  Send(":OUTP ON\r");
  Send(":READ?\r");
  ASSERT_TRUE(sim.WaitForCommands(2, 2000));
  const Clock::time_point start = Clock::now();
  sim.Stop();
  EXPECT_LT(MsSince(start), 2000.0);
  EXPECT_FALSE(sim.Serving());
  sim.Stop();  // twice is harmless
}

TEST_F(SimulatedInstrumentTest, StartFailsCleanlyOnAMissingDevice) {
  SimOptions options;
  options.devicePath = "/dev/ivra-no-such-device";
  SimulatedInstrument sim(options);
  EXPECT_FALSE(sim.Start());
  EXPECT_NE(sim.Error().find("/dev/ivra-no-such-device"), std::string::npos);
  EXPECT_FALSE(sim.Serving());

  SimOptions badLog;
  badLog.logPath = "/nonexistent-dir/ivra.log";
  SimulatedInstrument noLog(badLog);
  EXPECT_FALSE(noLog.Start());
  EXPECT_FALSE(noLog.Error().empty());
}

// Each crossing of the line is judged at the speeds of that moment: commands
// sent at the wrong speed are noise to the instrument, and a reply that leaves
// after the client changed its speed arrives as noise.
TEST_F(SimulatedInstrumentTest, AClientAtAnotherLineSpeedIsNotUnderstoodAndHearsLineNoise) {
  SimOptions options;
  options.slowReplyMs = 1000;  // time to change speed while the reply is due
  SimulatedInstrument sim(options);
  ASSERT_TRUE(sim.Start()) << sim.Error();
  RawClient client(sim.DevicePath());
  ASSERT_TRUE(client.SetSpeed(B9600));
  ASSERT_TRUE(client.Send("*RST\r:OUTP ON\r:SOUR:VOLT 0.5\r"));
  ASSERT_TRUE(sim.WaitForCommands(3, 2000));
  ASSERT_TRUE(client.SetSpeed(B19200));
  ASSERT_TRUE(client.Send(":OUTP OFF\r:READ?\r"));
  ASSERT_TRUE(sim.WaitForCommands(5, 2000));
  EXPECT_TRUE(sim.OutputOn());
  EXPECT_EQ(sim.ReadRequests(), 0);

  ASSERT_TRUE(client.SetSpeed(B9600));
  ASSERT_TRUE(client.Send(":READ?\r"));
  ASSERT_TRUE(sim.WaitForCommands(6, 2000));
  ASSERT_TRUE(client.SetSpeed(B19200));
  const std::string noise = client.Receive();
  EXPECT_EQ(sim.ReadRequests(), 1);
  ASSERT_FALSE(noise.empty());
  EXPECT_FALSE(std::regex_search(noise, std::regex(R"([0-9]\.?[0-9]*([eE][-+]?[0-9]+)?,[-+]?\.?[0-9])")))
      << EscapeCommandBytes(noise);
  EXPECT_TRUE(std::any_of(noise.begin(), noise.end(), [](char c) { return (c & 0x80) != 0; }))
      << EscapeCommandBytes(noise);

  ASSERT_TRUE(client.SetSpeed(B9600));
  ASSERT_TRUE(client.Send(":SYST:ERR:ALL?;:OUTP?\r"));
  EXPECT_EQ(client.Receive(), "-113,\"Undefined header\",-113,\"Undefined header\";1\r");
}

TEST_F(SimulatedInstrumentTest, ServesItsOwnLineSpeed) {
  SimOptions options;
  options.baud = 19200;
  SimulatedInstrument sim(options);
  ASSERT_TRUE(sim.Start()) << sim.Error();
  {
    RawClient client(sim.DevicePath());
    ASSERT_TRUE(client.SetSpeed(B19200));
    ASSERT_TRUE(client.Send(":OUTP ON;:SOUR:VOLT 2;:READ?\r"));
    const std::string reply = client.Receive();
    double volts = 0, amps = 0;
    ASSERT_EQ(std::sscanf(reply.c_str(), "%lf,%lf", &volts, &amps), 2) << reply;
    EXPECT_DOUBLE_EQ(amps, 2e-6);
    EXPECT_EQ(reply.size(), 70u);
  }
  // The serial link's 9600 baud gets no answer from it.
  ASSERT_TRUE(ports_.SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(link_.Open(ports_.DevicePath(2)));
  Send("*IDN?\r");
  EXPECT_EQ(ReadReply(5), "");  // the 1.1 s read time-out
}

// A noisy reply reaches a client with parity as its line discipline hands it
// on: the seed's flips, a parity error as 0xFF 0x00 and the byte, and every
// 0xFF doubled for a reader with PARMRK set. The counts say the same.
TEST_F(SimulatedInstrumentTest, ANoisyLineWithParityReachesTheClientMarked) {
  SimOptions options;
  options.parity = SimParity::Even;
  options.lineNoise = 0.02;
  options.seed = 5;
  SimulatedInstrument sim(options);
  ASSERT_TRUE(sim.Start()) << sim.Error();
  RawClient client(sim.DevicePath());
  ASSERT_TRUE(client.SetSpeed(B9600) && client.MarkParityErrors() && client.Send("*IDN?\r"));
  const std::string received = client.Receive();

  const std::string idn = InstrumentModel(options).Execute("*IDN?", 0.0).text;
  NoisyLine line(options.lineNoise, options.seed, SimParity::Even, 8);
  ReplyNoise noise;
  std::string expected;
  for (const char c : line.Transmit(idn, noise)) expected += c == '\xFF' ? std::string(2, c) : std::string(1, c);
  ASSERT_TRUE(noise.marked);  // this seed marks a byte
  EXPECT_EQ(EscapeCommandBytes(received), EscapeCommandBytes(expected));
  const LineNoiseCounts counts = sim.LineNoise();
  EXPECT_TRUE(counts.replies == 1 && counts.disturbedReplies == 1 && counts.markedReplies == 1);
  EXPECT_EQ(counts.bits, 9 * idn.size());
  EXPECT_EQ(counts.flippedBits, noise.flippedBits);
}
}  // namespace
