// ivra-run against ivra-sim over a real pseudo-terminal. These take real
// seconds (one tick per second), so there are few of them.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "connection/connection_link.h"
#include "serial/serial_link.h"

namespace {

namespace fs = std::filesystem;

const std::string kRunProgram = IVRA_RUN_PATH;
const std::string kSimProgram = IVRA_SIM_PATH;

// The commands in the simulator's log, in their escaped form ("*RST\r").
std::vector<std::string> LoggedCommands(const std::string& logPath) {
  std::vector<std::string> commands;
  std::istringstream lines(ReadWholeFile(logPath));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) commands.push_back(line.substr(tab + 1));
  }
  return commands;
}

// The simulator logs a command once it has read it; give it time to catch up.
std::vector<std::string> LoggedCommandsEndingWith(const std::string& logPath, const std::string& last) {
  std::vector<std::string> commands;
  for (int i = 0; i < 100; ++i) {
    commands = LoggedCommands(logPath);
    if (!commands.empty() && commands.back() == last) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return commands;
}

// The current column of every line of a data file, in microamperes.
std::vector<double> LoggedCurrents(const std::string& path) {
  std::vector<double> currents;
  std::istringstream lines(ReadWholeFile(path));
  std::string line;
  const std::regex format(R"(\d+\.\d\d\ts\t(\S+)\tuA)");
  while (std::getline(lines, line)) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, format)) << line;
    if (!m.empty()) currents.push_back(std::stod(m[1]));
  }
  return currents;
}

int LineCount(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class RunEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ivra-e2e-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// What a healthy 10 s run at 0.5 V sends, as the simulator logs it.
std::vector<std::string> TenSampleRunCommands() {
  std::vector<std::string> commands = {"*RST\\r", ":OUTP ON\\r"};
  for (int i = 0; i < 10; ++i) {
    commands.push_back(":SOUR:VOLT 0.50000\\r");
    commands.push_back(":READ?\\r");
  }
  commands.push_back(":OUTP OFF\\r");
  return commands;
}

TEST_F(RunEndToEnd, TenSecondRunWritesTenLinesAndSendsExactlyTheProtocol) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());

  ChildProcess run = StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--time", "10", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  ASSERT_EQ(WaitForChild(run, 90000), 0) << ReadWholeFile(Path("stderr.txt"));
  // Not a terminal: nothing but trouble and the closing summary is shown.
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: 10 samples written, 0 missed, 0 lost, 0 port losses, 0 stale replies discarded\n");

  // 1 MOhm at 0.5 V: 0.5 uA on every line; the time stamps grow. (How evenly they
  // follow the tick grid is measured, not asserted: the machine may be loaded.)
  const std::string data = ReadWholeFile(Path("x.dat"));
  ASSERT_EQ(LineCount(data), 10) << data;
  const std::regex lineFormat(R"((\d+\.\d\d)\ts\t0\.5\tuA)");
  std::istringstream lines(data);
  std::string line;
  double previous = 0.0;
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, lineFormat)) << line;
    const double t = std::stod(m[1]);
    EXPECT_GT(t, previous) << line;
    previous = t;
  }
  EXPECT_GT(previous, 10.0);
  EXPECT_LT(previous, 40.0);

  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r"), TenSampleRunCommands());

  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_EQ(record["end_reason"], "completed");
  EXPECT_EQ(record["output_off_delivered"], true);
  EXPECT_EQ(record["samples"]["written"], 10);
  EXPECT_EQ(record["settings"]["port_device"], sim.DevicePath());
}

TEST_F(RunEndToEnd, AScheduleWithARampSendsEachSetVoltageAndWritesItBesideTheCurrent) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram,
                                {"--com1=" + sim.DevicePath(), "--step", "1:2", "--step", "2:2", "--step", "-1:2",
                                 "--repeat", "2", "--ramp", "0.5", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  ASSERT_EQ(WaitForChild(run, 90000), 0) << ReadWholeFile(Path("stderr.txt"));

  // 12 s of steps, then two samples on the way down from 1 V.
  const std::vector<std::string> volts = {"0.5", "1",   "1.5", "2",   "1.5", "1",   "1",
                                          "1",   "1.5", "2",   "1.5", "1",   "0.5", "0"};
  std::vector<std::string> expected = {"*RST\\r", ":OUTP ON\\r"};
  for (const std::string& v : volts) {
    char command[40];
    std::snprintf(command, sizeof command, ":SOUR:VOLT %.5f\\r", std::stod(v));
    expected.push_back(command);
    expected.push_back(":READ?\\r");
  }
  expected.push_back(":OUTP OFF\\r");
  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r"), expected);

  // The simulator's 1 MOhm follows every source change: the current in uA is the set voltage.
  std::istringstream lines(ReadWholeFile(Path("x.dat")));
  std::string line;
  std::size_t n = 0;
  const std::regex format(R"(\d+\.\d\d\ts\t(\S+)\tuA\t(\S+)\tV)");
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, format)) << line;
    ASSERT_LT(n, volts.size());
    EXPECT_EQ(m[2].str(), volts[n]) << line;
    EXPECT_EQ(m[1].str(), volts[n]) << line;
    ++n;
  }
  EXPECT_EQ(n, volts.size());
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_EQ(record["step_changes"].size(), 6u);
  EXPECT_EQ(record["ramp_down"]["from_V"], 1.0);
}

TEST_F(RunEndToEnd, AGpibEthernetControllerCarriesTheRunAndANetworkAddressThatRefusesFailsTheStart) {
  // Another program's controller, powered up in device mode at another address.
  auto controller = std::make_unique<SimulatorProcess>(
      kSimProgram, std::vector<std::string>{"--prologix", "--listen", "0", "--log", Path("sim.log")});
  const std::string address = controller->DevicePath();
  ASSERT_EQ(address.rfind("tcp://127.0.0.1:", 0), 0u) << address;

  ChildProcess run =
      StartChild(kRunProgram, {"--port", address, "--gpib", "24", "--time", "10", "--output", Path("x.dat")}, nullptr,
                 Path("stderr.txt"));
  ASSERT_EQ(WaitForChild(run, 90000), 0) << ReadWholeFile(Path("stderr.txt"));
  EXPECT_EQ(LineCount(ReadWholeFile(Path("x.dat"))), 10);
  // The instrument heard the run's own commands and nothing of the controller's,
  // each ended by the LF the controller was told to add.
  std::vector<std::string> expected = TenSampleRunCommands();
  for (std::string& command : expected) command.replace(command.size() - 2, 2, "\\n");
  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\n"), expected);
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_EQ(record["output_off_delivered"], true);
  EXPECT_EQ(record["settings"]["connection"],
            (nlohmann::json{{"kind", "prologix-ethernet"}, {"address", address}, {"gpib_address", 24}}));

  // The same address once nobody listens there: a start failure that names it.
  controller.reset();
  ChildProcess refused = StartChild(kRunProgram, {"--port", address, "--time", "10", "--output", Path("y.dat")},
                                    nullptr, Path("err2.txt"));
  EXPECT_EQ(WaitForChild(refused, 30000), 1);
  const std::string message = ReadWholeFile(Path("err2.txt"));
  EXPECT_NE(message.find("Can't open serial port\nPort: " + address + "\nThe host answered, but nothing accepts"),
            std::string::npos)
      << message;
}

// The sample counts of the status lines drawn on a terminal ("\r<line>\x1b[K"),
// in the order drawn.
std::vector<int> DrawnSampleCounts(const std::string& terminal) {
  std::vector<int> counts;
  const std::regex drawn("\r([^\r\x1b]*)\x1b\\[K");
  const std::regex samples(R"((\d+)/\d+ samples)");
  for (auto it = std::sregex_iterator(terminal.begin(), terminal.end(), drawn); it != std::sregex_iterator(); ++it) {
    const std::string line = (*it)[1];
    std::smatch m;
    if (std::regex_search(line, m, samples)) counts.push_back(std::stoi(m[1]));
  }
  return counts;
}

TEST_F(RunEndToEnd, OnATerminalTheStatusLineIsDrawnOncePerTick) {
  SimulatorProcess sim(kSimProgram, {});
  ASSERT_FALSE(sim.DevicePath().empty());
  int terminal = -1;
  ChildProcess run = StartChildOnTerminal(
      kRunProgram, {"--com1=" + sim.DevicePath(), "--time", "10", "--interval", "2", "--output", Path("x.dat")}, 200,
      &terminal);
  ASSERT_GE(terminal, 0);
  std::string output;
  EXPECT_EQ(CollectTerminalUntilExit(run, terminal, 90000, output), 0) << output;
  close(terminal);

  // At the start, then once for each of the ten ticks: a sample every second
  // tick, the ticks between only moving the clock on; then the closing line.
  EXPECT_EQ(DrawnSampleCounts(output), (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5})) << output;
  EXPECT_NE(output.find("5/5 samples  I 5e-07 A"), std::string::npos) << output;
  const std::string summary =
      "ivra-run: 5 samples written, 0 missed, 0 lost, 0 port losses, 0 stale replies discarded\n";
  ASSERT_GE(output.size(), summary.size());
  EXPECT_EQ(output.substr(output.size() - summary.size()), summary);
}

TEST_F(RunEndToEnd, LongAndSplitRepliesLeaveNoNumberOfAnEarlierReplyInTheData) {
  // Two readings per reply (140 bytes, more than the 100-byte read) with a
  // 250 ms pause after 35 bytes: each read ends in the pause, and the rest
  // waits in the port until the next sample. Neither half is a reading: the
  // first breaks off after the current, the rest holds more than was asked.
  SimulatorProcess sim(kSimProgram,
                       {"--long-reply", "--split-reply", "35", "--noise", "1e-9", "--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--time", "10", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  ASSERT_EQ(WaitForChild(run, 90000), 3) << ReadWholeFile(Path("stderr.txt"));
  EXPECT_TRUE(LoggedCurrents(Path("x.dat")).empty());

  const std::string err = ReadWholeFile(Path("stderr.txt"));
  EXPECT_NE(err.find("left over from an earlier reply"), std::string::npos) << err;
  EXPECT_NE(err.find("0 samples written, 10 missed (10 incomplete reply)"), std::string::npos) << err;
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_GE(record["stale_replies"]["count"].get<int>(), 8);
  // Nothing was sent to clear the port: the discard is local.
  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r"), TenSampleRunCommands());
}

// Bits flipped on the line at a rate a bad cable may reach, with parity on
// both ends: each damaged reply is a missed sample, "line error", and no
// current other than the device's reaches the file.
TEST_F(RunEndToEnd, WithParityLineNoiseNeverBecomesAReading) {
  SimulatorProcess sim(kSimProgram, {"--parity", "even", "--data-bits", "7", "--line-noise", "5e-4", "--seed", "7"});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(
      kRunProgram,
      {"--com1=" + sim.DevicePath(), "--parity", "even", "--data-bits", "7", "--time", "20", "--output", Path("x.dat")},
      nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 120000), 3) << ReadWholeFile(Path("stderr.txt"));
  const std::vector<double> currents = LoggedCurrents(Path("x.dat"));
  EXPECT_GE(currents.size(), 8u);
  for (double uA : currents) EXPECT_EQ(uA, 0.5);
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  const nlohmann::json& missed = record["samples"]["missed_by_reason"];
  EXPECT_GE(missed["line_error"].get<int>(), 1) << missed;
  EXPECT_EQ(missed["line_error"].get<int>() + missed["garbled_reply"].get<int>() + static_cast<int>(currents.size()),
            20)
      << missed;
  EXPECT_EQ(record["settings"]["parity"], "even");
}

TEST_F(RunEndToEnd, APortThatNeverComesBackEndsWithTheWarningThatTheOutputMayBeOn) {
  SimulatorProcess sim(kSimProgram, {"--hang-up-after", "3", "--noise", "1e-9", "--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  // The port's path is a link the test can take away: the adapter is gone for good.
  fs::create_symlink(sim.DevicePath(), Path("port"));
  ChildProcess run = StartChild(kRunProgram, {"--com1=" + Path("port"), "--time", "10", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  for (int i = 0; i < 400; ++i) {
    const std::vector<std::string> commands = LoggedCommands(Path("sim.log"));
    if (std::count(commands.begin(), commands.end(), std::string(":READ?\\r")) >= 4) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  fs::remove(Path("port"));
  EXPECT_EQ(WaitForChild(run, 90000), 4) << ReadWholeFile(Path("stderr.txt"));

  // The half reply before the hang-up is no reading: it lacks the elements after the current.
  const std::vector<double> currents = LoggedCurrents(Path("x.dat"));
  EXPECT_EQ(currents.size(), 3u);
  for (double uA : currents) EXPECT_NEAR(uA, 0.5, 0.01);

  const std::string err = ReadWholeFile(Path("stderr.txt"));
  EXPECT_NE(err.find("serial port " + Path("port") + " lost"), std::string::npos) << err;
  EXPECT_NE(err.find("The instrument's output may still be on"), std::string::npos) << err;
  EXPECT_NE(err.find("missed (7 port lost)"), std::string::npos) << err;
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_EQ(record["output_off_delivered"], false);
  ASSERT_EQ(record["port_losses"].size(), 1u);
  EXPECT_TRUE(record["port_losses"][0]["back"].is_null());
}

TEST_F(RunEndToEnd, APortLostAndBackAtTheSamePathResumesSampling) {
  auto first = std::make_unique<SimulatorProcess>(kSimProgram, std::vector<std::string>{"--log", Path("first.log")});
  ASSERT_FALSE(first->DevicePath().empty());
  fs::create_symlink(first->DevicePath(), Path("port"));
  ChildProcess run = StartChild(kRunProgram, {"--com1=" + Path("port"), "--time", "14", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  for (int i = 0; i < 400 && LineCount(ReadWholeFile(Path("x.dat"))) < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GE(LineCount(ReadWholeFile(Path("x.dat"))), 3);
  first.reset();  // unplugged: the line hangs up

  // Plugged in again, at the same path. A real instrument keeps its output on;
  // a new simulator starts with it off, so the test switches it on first.
  SimulatorProcess second(kSimProgram, {"--log", Path("second.log")});
  ASSERT_FALSE(second.DevicePath().empty());
  SerialLink link;
  ASSERT_TRUE(link.Open(second.DevicePath()));
  for (char c : std::string(":OUTP ON\r")) link.Write(&c, 1);
  link.Close();
  fs::create_symlink(second.DevicePath(), Path("port.new"));
  fs::rename(Path("port.new"), Path("port"));

  EXPECT_EQ(WaitForChild(run, 90000), 3) << ReadWholeFile(Path("stderr.txt"));
  const std::vector<double> currents = LoggedCurrents(Path("x.dat"));
  for (double uA : currents) EXPECT_NEAR(uA, 0.5, 1e-6);
  const std::vector<std::string> after = LoggedCommandsEndingWith(Path("second.log"), ":OUTP OFF\\r");
  const auto reads = std::count(after.begin(), after.end(), std::string(":READ?\\r"));
  EXPECT_GE(reads, 3);
  EXPECT_EQ(currents.size(),
            14u - static_cast<std::size_t>(
                      nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")))["samples"]["missed"].get<int>()));
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.front(), ":OUTP ON\\r");  // the test's own; the run sent no reset
  EXPECT_EQ(std::count(after.begin(), after.end(), std::string("*RST\\r")), 0);
  EXPECT_EQ(after.back(), ":OUTP OFF\\r");

  const std::string err = ReadWholeFile(Path("stderr.txt"));
  EXPECT_NE(err.find("serial port " + Path("port") + " is back"), std::string::npos) << err;
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  ASSERT_EQ(record["port_losses"].size(), 1u);
  EXPECT_FALSE(record["port_losses"][0]["back"].is_null());
  EXPECT_EQ(record["output_off_delivered"], true);
}

TEST_F(RunEndToEnd, ABridgeThatGoesAwayIsALostPortAndTheRunGoesOnWhenItIsBack) {
  auto first = std::make_unique<SimulatorProcess>(kSimProgram, std::vector<std::string>{"--listen", "0"});
  const std::string address = first->DevicePath();
  ASSERT_EQ(address.rfind("tcp://127.0.0.1:", 0), 0u) << address;
  ChildProcess run = StartChild(kRunProgram, {"--port", address, "--time", "14", "--output", Path("x.dat")}, nullptr,
                                Path("stderr.txt"));
  for (int i = 0; i < 400 && LineCount(ReadWholeFile(Path("x.dat"))) < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GE(LineCount(ReadWholeFile(Path("x.dat"))), 3);
  first.reset();  // the bridge goes away: the connection drops, and is refused while it is gone
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));

  // Back on the same port. A real instrument keeps its output on; a new
  // simulator starts with it off, so the test switches it on first.
  SimulatorProcess second(kSimProgram,
                          {"--listen", address.substr(address.rfind(':') + 1), "--log", Path("second.log")});
  ASSERT_EQ(second.DevicePath(), address);
  {
    ConnectionInstrumentLink link;
    ASSERT_TRUE(link.Open(address, nullptr));
    link.Write(":OUTP ON\r", 9);
    link.Close();
  }

  EXPECT_EQ(WaitForChild(run, 90000), 3) << ReadWholeFile(Path("stderr.txt"));
  for (double uA : LoggedCurrents(Path("x.dat"))) EXPECT_NEAR(uA, 0.5, 1e-6);
  const std::vector<std::string> after = LoggedCommandsEndingWith(Path("second.log"), ":OUTP OFF\\r");
  EXPECT_GE(std::count(after.begin(), after.end(), std::string(":READ?\\r")), 2);
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.back(), ":OUTP OFF\\r");
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  ASSERT_EQ(record["port_losses"].size(), 1u);
  EXPECT_FALSE(record["port_losses"][0]["back"].is_null());
  EXPECT_EQ(record["output_off_delivered"], true);
  EXPECT_EQ(record["settings"]["connection"]["kind"], "tcp");
}

TEST_F(RunEndToEnd, SigtermStopsTheRunWithTheOutputOff) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--time", "100", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  for (int i = 0; i < 400 && LineCount(ReadWholeFile(Path("x.dat"))) < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GE(LineCount(ReadWholeFile(Path("x.dat"))), 2);

  // A second run on the same output file is refused before it empties anything.
  const std::string before = ReadWholeFile(Path("x.dat"));
  ChildProcess second = StartChild(kRunProgram, {"--com1=/dev/null", "--output", Path("x.dat"), "--overwrite"}, nullptr,
                                   Path("second-stderr.txt"));
  EXPECT_EQ(WaitForChild(second, 30000), 1);
  EXPECT_EQ(ReadWholeFile(Path("second-stderr.txt")),
            "ivra-run: Can't create file : " + Path("x.dat") +
                "\nA running measurement is writing to this file. Wait until it has ended, or choose another file.\n");
  EXPECT_EQ(ReadWholeFile(Path("x.dat")).substr(0, before.size()), before);

  kill(run.pid, SIGTERM);
  EXPECT_EQ(WaitForChild(run, 30000), 143) << ReadWholeFile(Path("stderr.txt"));
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_EQ(record["end_reason"], "signal");
  EXPECT_EQ(record["signal"], "SIGTERM");

  const std::vector<std::string> commands = LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r");
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");

  // Ask the instrument itself: the port is free again and the output is off.
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.DevicePath()));
  const char query[] = ":OUTP?\r";
  for (char c : std::string(query)) link.Write(&c, 1);
  char reply[16] = {};
  const int n = link.Read(reply, 2);
  link.Close();
  EXPECT_EQ(std::string(reply, n > 0 ? n : 0), "0\r");
}

TEST_F(RunEndToEnd, SigtermWhileASilentInstrumentIsAwaitedStopsWithoutWaitingOutTheRead) {
  SimulatorProcess sim(kSimProgram, {"--silent", "--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--time", "100", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  std::vector<std::string> commands;
  for (int i = 0; i < 200; ++i) {
    commands = LoggedCommands(Path("sim.log"));
    if (!commands.empty() && commands.back() == ":READ?\\r") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_FALSE(commands.empty());
  ASSERT_EQ(commands.back(), ":READ?\\r");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // inside the 20.1 s reply read now

  const auto signalled = std::chrono::steady_clock::now();
  kill(run.pid, SIGTERM);
  EXPECT_EQ(WaitForChild(run, 30000), 143) << ReadWholeFile(Path("stderr.txt"));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
  EXPECT_LT(seconds, 10.0) << "the stop waited for the read's time-out";
  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r").back(), ":OUTP OFF\\r");
  EXPECT_EQ(ReadWholeFile(Path("x.dat")), "");
}

TEST_F(RunEndToEnd, AFileWithDataIsReplacedOnlyWithOverwriteAndSigintSaysSoInTheSummary) {
  std::string yesterday;
  for (int i = 1; i <= 10; ++i) yesterday += std::to_string(100 + i) + ".00\ts\t9\tuA\n";
  { std::ofstream(Path("x.dat"), std::ios::binary) << yesterday; }
  ChildProcess refused =
      StartChild(kRunProgram, {"--simulate", "--time", "100", "--output", Path("x.dat")}, nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(refused, 30000), 1);
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: " + Path("x.dat") +
                " already holds 10 lines. Give --overwrite to replace it, or choose another output file.\n");
  EXPECT_EQ(ReadWholeFile(Path("x.dat")), yesterday);
  EXPECT_FALSE(fs::exists(Path("x.dat.run.json")));

  ChildProcess run =
      StartChild(kRunProgram, {"--simulate", "--port", "3", "--time", "100", "--output", Path("x.dat"), "--overwrite"},
                 nullptr, Path("stderr.txt"));
  // The new run's first line, not yesterday's (which all begin with "10").
  for (int i = 0; i < 400 && ReadWholeFile(Path("x.dat")).rfind("1.", 0) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GE(LineCount(ReadWholeFile(Path("x.dat"))), 1);
  EXPECT_LT(LineCount(ReadWholeFile(Path("x.dat"))), 10) << "the old lines are still there";
  kill(run.pid, SIGINT);
  EXPECT_EQ(WaitForChild(run, 30000), 130) << ReadWholeFile(Path("stderr.txt"));
  const std::string err = ReadWholeFile(Path("stderr.txt"));
  EXPECT_TRUE(std::regex_search(err, std::regex("(^|\n)ivra-run: stopped by SIGINT; output off; [1-9][0-9]* samples? "
                                                "written, 0 missed, 0 lost, 0 port losses, 0 stale replies "
                                                "discarded\n$")))
      << err;
}

TEST_F(RunEndToEnd, AnOrdinaryUserOutsideDialoutIsToldToJoinIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the port to dialout and run as nobody";
  const group* dialout = getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  SimulatorProcess sim(kSimProgram, {});
  ASSERT_FALSE(sim.DevicePath().empty());
  ASSERT_EQ(chown(sim.DevicePath().c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(sim.DevicePath().c_str(), 0660), 0);
  fs::permissions(dir_, fs::perms::all);  // nobody writes the data file here

  ChildProcess run = StartChild("/usr/bin/setpriv",
                                {"--reuid=65534", "--regid=65534", "--clear-groups", kRunProgram, "--port",
                                 sim.DevicePath(), "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 1);
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: Can't open serial port\n"
            "Port: " +
                sim.DevicePath() +
                "\n"
                "You are not allowed to use this port: it belongs to the group dialout.\n"
                "To join that group, run\n"
                "    sudo usermod -aG dialout $USER\n"
                "then log out and in again.\n");
}

TEST_F(RunEndToEnd, APortHeldElsewhereOrAnUncreatableFileFailsTheStart) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());

  // This test process holds the port.
  SerialLink holder;
  ASSERT_TRUE(holder.Open(sim.DevicePath()));
  ChildProcess run = StartChild(kRunProgram, {"--com2=" + sim.DevicePath(), "--port", "2", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 1);
  holder.Close();
  const std::string busy = ReadWholeFile(Path("stderr.txt"));
  EXPECT_NE(busy.find("Can't open serial port\nPort: " + sim.DevicePath() + "\nAnother program is using this port: "),
            std::string::npos)
      << busy;
  EXPECT_TRUE(fs::exists(Path("x.dat")));
  EXPECT_EQ(fs::file_size(Path("x.dat")), 0u);

  // A file that cannot be created: the port is not even opened.
  const std::string badPath = Path("no-such-dir/x.dat");
  run = StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--output", badPath}, nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 1);
  EXPECT_NE(ReadWholeFile(Path("stderr.txt")).find("Can't create file : " + badPath), std::string::npos);

  // A path cannot forge a line of its own.
  run =
      StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--output", badPath + "\nivra-run: measurement complete"},
                 nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 1);
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: Can't create file : " + badPath + "\\nivra-run: measurement complete\nThe folder " +
                Path("no-such-dir") + " does not exist. Create it first, or choose a file in a folder that exists.\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(LoggedCommands(Path("sim.log")).empty());
}

// 1 kOhm at 0.5 V would draw 500 uA; after *RST the instrument holds it at 105 uA.
TEST_F(RunEndToEnd, ACurrentHeldAtTheLimitIsWrittenWarnedOnceAndEndsWithStatus5UntilTheLimitIsRaised) {
  SimulatorProcess sim(kSimProgram, {"--ohms", "1000", "--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--time", "10", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 90000), 5) << ReadWholeFile(Path("stderr.txt"));
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: warning: in compliance at tick 1: the current is held at the limit of 105 uA and the voltage "
            "across the device is below the set value; the samples are written as measured. Raise the current limit "
            "(Setup > Instrument, or ivra-run --current-limit)\n"
            "ivra-run: 10 samples written, 0 missed, 0 lost, 0 port losses, 0 stale replies discarded, "
            "10 in compliance\n");
  EXPECT_EQ(LoggedCurrents(Path("x.dat")), std::vector<double>(10, 105.0));
  // At defaults not a byte more than before.
  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r"), TenSampleRunCommands());
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_EQ(record["compliance"]["samples"], 10);
  ASSERT_EQ(record["compliance"]["streaks"].size(), 1u);
  EXPECT_EQ(record["compliance"]["streaks"][0]["first"]["sample"], 1);
  EXPECT_EQ(record["compliance"]["streaks"][0]["last"]["sample"], 10);

  // Raised to 1 mA: the device's own 500 uA, no warning, and the limit set before the output goes on.
  SimulatorProcess raised(kSimProgram, {"--ohms", "1000", "--log", Path("raised.log")});
  run = StartChild(
      kRunProgram,
      {"--com1=" + raised.DevicePath(), "--time", "10", "--current-limit", "1e-3", "--output", Path("y.dat")}, nullptr,
      Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 90000), 0) << ReadWholeFile(Path("stderr.txt"));
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: 10 samples written, 0 missed, 0 lost, 0 port losses, 0 stale replies discarded\n");
  EXPECT_EQ(LoggedCurrents(Path("y.dat")), std::vector<double>(10, 500.0));
  std::vector<std::string> expected = TenSampleRunCommands();
  expected.insert(expected.begin() + 1, {":SENS:CURR:PROT 0.001\\r", ":SYST:ERR?\\r"});
  EXPECT_EQ(LoggedCommandsEndingWith(Path("raised.log"), ":OUTP OFF\\r"), expected);
}

TEST_F(RunEndToEnd, ASettingTheInstrumentRefusesFailsTheStartWithTheOutputOff) {
  SimulatorProcess sim(kSimProgram, {"--ohms", "1000", "--log", Path("sim.log")});
  // The 1 A range lies above the 105 uA limit's own range.
  ChildProcess run =
      StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--current-range", "1", "--output", Path("x.dat")},
                 nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 1);
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: The instrument on serial port " + sim.DevicePath() +
                " refused a setting: error +824, \"Cannot exceed compliance range\". Its output was not switched on. "
                "Check the values in Setup > Instrument (ivra-run: --current-limit, --current-range, --nplc, "
                "--autozero).\n");
  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":SYST:ERR?\\r"),
            (std::vector<std::string>{"*RST\\r", ":SENS:CURR:RANG 1\\r", ":SYST:ERR?\\r"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(LoggedCommands(Path("sim.log")).size(), 3u);  // never ":OUTP ON"
  EXPECT_EQ(fs::file_size(Path("x.dat")), 0u);
}

TEST_F(RunEndToEnd, ABaudRateTheInstrumentIsNotSetToEndsInWhatToCheck) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ChildProcess run = StartChild(
      kRunProgram, {"--com1=" + sim.DevicePath(), "--baud", "19200", "--nplc", "0.5", "--output", Path("x.dat")},
      nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 60000), 1);
  const std::string told = ReadWholeFile(Path("stderr.txt"));
  EXPECT_EQ(
      told.rfind("ivra-run: No answer to \":SYST:ERR?\" from the instrument on serial port " + sim.DevicePath(), 0), 0u)
      << told;
  EXPECT_NE(told.find("straight-through, not null-modem"), std::string::npos) << told;
  EXPECT_NE(told.find("; 19200 baud, 8 data bits, no parity"), std::string::npos) << told;
  EXPECT_EQ(fs::file_size(Path("x.dat")), 0u);
}

TEST_F(RunEndToEnd, BadArgumentsAreRefusedBeforeAnythingIsCreated) {
  ChildProcess run = StartChild(kRunProgram, {"--time", "9", "--output", Path("x.dat")}, nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 2);
  EXPECT_NE(ReadWholeFile(Path("stderr.txt")).find("--time: please enter an integer between 10 and 10000000."),
            std::string::npos);
  EXPECT_FALSE(fs::exists(Path("x.dat")));
}

}  // namespace

namespace {

TEST_F(RunEndToEnd, AtTwentySamplesASecondEachSlotGetsOneShortReadAndMillisecondStamps) {
  SimulatorProcess sim(kSimProgram, {"--baud", "57600", "--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram,
                                {"--com1=" + sim.DevicePath(), "--baud", "57600", "--nplc", "0.01", "--autozero", "off",
                                 "--interval", "0.05", "--time", "10", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  const int status = WaitForChild(run, 90000);
  // A loaded machine may miss a slot now and then; it must then say so (3), as late.
  ASSERT_TRUE(status == 0 || status == 3) << status << ReadWholeFile(Path("stderr.txt"));
  const nlohmann::json record = nlohmann::json::parse(ReadWholeFile(Path("x.dat.run.json")));
  EXPECT_EQ(record["settings"]["sample_interval_s"], 0.05);
  EXPECT_EQ(record["samples"]["due"], 200);
  EXPECT_EQ(record["samples"]["missed"], record["samples"]["missed_by_reason"]["late"]);
  EXPECT_EQ(status == 3, record["samples"]["missed"] != 0);

  // One line per slot taken, stamped when its request went out: never two in a slot, never before it.
  const std::string data = ReadWholeFile(Path("x.dat"));
  const int written = record["samples"]["written"];
  ASSERT_EQ(LineCount(data), written);
  EXPECT_GT(written, 100);
  const std::regex lineFormat(R"((\d+)\.(\d\d\d)\ts\t0\.5\tuA)");
  std::istringstream lines(data);
  std::string line;
  long previousSlot = 0;
  while (std::getline(lines, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, lineFormat)) << line;
    const long ms = std::stol(m[1]) * 1000 + std::stol(m[2]);
    const long slot = ms / 50;
    EXPECT_GT(slot, previousSlot) << line;
    EXPECT_LE(slot, 200) << line;
    previousSlot = slot;
  }

  // The shortened reply asked for before the output goes on, the voltage once, then only requests.
  std::vector<std::string> expected = {
      "*RST\\r",       ":SYST:LFR?\\r", ":SENS:CURR:NPLC 0.01\\r", ":SYST:AZER OFF\\r", ":FORM:ELEM VOLT,CURR,STAT\\r",
      ":SYST:ERR?\\r", ":OUTP ON\\r",   ":SOUR:VOLT 0.50000\\r"};
  const std::vector<std::string> logged = LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r");
  ASSERT_GT(logged.size(), expected.size() + 1);
  EXPECT_EQ(std::vector<std::string>(logged.begin(), logged.begin() + expected.size()), expected);
  EXPECT_EQ(std::count(logged.begin(), logged.end(), ":READ?\\r"), written);
  EXPECT_EQ(logged.size(), expected.size() + written + 1);
}

TEST_F(RunEndToEnd, AnIntervalTheLineCannotCarryIsRefusedWithStatus2BeforeAnythingIsCreated) {
  ChildProcess run = StartChild(kRunProgram, {"--simulate", "--interval", "0.05", "--output", Path("x.dat")}, nullptr,
                                Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 2);
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")),
            "ivra-run: --interval: at 9600 baud and NPLC 1 a sample takes at least 0.109 s. Choose a longer interval, "
            "or give --baud 57600 (also on the instrument) and --nplc 0.5.\nTry 'ivra-run --help'.\n");
  EXPECT_FALSE(fs::exists(Path("x.dat")));
}

}  // namespace
