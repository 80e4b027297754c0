// ivra-run against ivra-sim over a real pseudo-terminal. These take real
// seconds (one tick per second), so there are few of them.
#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "serial/port_table.h"
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

int LineCount(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class RunEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ivra-e2e-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(RunEndToEnd, TenSecondRunWritesTenLinesAndSendsExactlyTheProtocol) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());

  ChildProcess run = StartChild(kRunProgram,
                                {"--com1=" + sim.DevicePath(), "--time", "10", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  ASSERT_EQ(WaitForChild(run, 90000), 0) << ReadWholeFile(Path("stderr.txt"));
  EXPECT_EQ(ReadWholeFile(Path("stderr.txt")), "");  // not a terminal: nothing but trouble is shown

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

  std::vector<std::string> expected = {"*RST\\r", ":OUTP ON\\r"};
  for (int i = 0; i < 10; ++i) {
    expected.push_back(":SOUR:VOLT 0.50000\\r");
    expected.push_back(":READ?\\r");
  }
  expected.push_back(":OUTP OFF\\r");
  EXPECT_EQ(LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r"), expected);
}

TEST_F(RunEndToEnd, SigtermStopsTheRunWithTheOutputOff) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram,
                                {"--com1=" + sim.DevicePath(), "--time", "100", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  for (int i = 0; i < 400 && LineCount(ReadWholeFile(Path("x.dat"))) < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GE(LineCount(ReadWholeFile(Path("x.dat"))), 2);
  kill(run.pid, SIGTERM);
  EXPECT_EQ(WaitForChild(run, 30000), 143) << ReadWholeFile(Path("stderr.txt"));

  const std::vector<std::string> commands = LoggedCommandsEndingWith(Path("sim.log"), ":OUTP OFF\\r");
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");

  // Ask the instrument itself: the port is free again and the output is off.
  ASSERT_TRUE(SetPortDevicePath(4, sim.DevicePath()));
  ASSERT_TRUE(SerialLink::Open(4));
  const char query[] = ":OUTP?\r";
  for (char c : std::string(query)) SerialLink::Write(&c, 1);
  char reply[16] = {};
  const int n = SerialLink::Read(reply, 2);
  SerialLink::Close();
  ResetPortTable();
  EXPECT_EQ(std::string(reply, n > 0 ? n : 0), "0\r");
}

TEST_F(RunEndToEnd, SigtermWhileASilentInstrumentIsAwaitedStopsWithoutWaitingOutTheRead) {
  SimulatorProcess sim(kSimProgram, {"--silent", "--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());
  ChildProcess run = StartChild(kRunProgram,
                                {"--com1=" + sim.DevicePath(), "--time", "100", "--output", Path("x.dat")},
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

TEST_F(RunEndToEnd, SimulatedRunStopsOnSigint) {
  ChildProcess run = StartChild(kRunProgram, {"--simulate", "--port", "3", "--time", "100", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  for (int i = 0; i < 400 && LineCount(ReadWholeFile(Path("x.dat"))) < 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GE(LineCount(ReadWholeFile(Path("x.dat"))), 1);
  kill(run.pid, SIGINT);
  EXPECT_EQ(WaitForChild(run, 30000), 130) << ReadWholeFile(Path("stderr.txt"));
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
            "Port: " + sim.DevicePath() + "\n"
            "You are not allowed to use this port: it belongs to the group dialout.\n"
            "To join that group, run\n"
            "    sudo usermod -aG dialout $USER\n"
            "then log out and in again.\n");
}

TEST_F(RunEndToEnd, APortHeldElsewhereOrAnUncreatableFileFailsTheStart) {
  SimulatorProcess sim(kSimProgram, {"--log", Path("sim.log")});
  ASSERT_FALSE(sim.DevicePath().empty());

  // This test process holds the port.
  ASSERT_TRUE(SetPortDevicePath(4, sim.DevicePath()));
  ASSERT_TRUE(SerialLink::Open(4));
  ChildProcess run = StartChild(kRunProgram,
                                {"--com2=" + sim.DevicePath(), "--port", "2", "--output", Path("x.dat")},
                                nullptr, Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 1);
  SerialLink::Close();
  ResetPortTable();
  const std::string busy = ReadWholeFile(Path("stderr.txt"));
  EXPECT_NE(busy.find("Can't open serial port\nPort: " + sim.DevicePath() + "\nAnother program is using this port: "),
            std::string::npos)
      << busy;
  EXPECT_TRUE(fs::exists(Path("x.dat")));
  EXPECT_EQ(fs::file_size(Path("x.dat")), 0u);

  // A file that cannot be created: the port is not even opened.
  const std::string badPath = Path("no-such-dir/x.dat");
  run = StartChild(kRunProgram, {"--com1=" + sim.DevicePath(), "--output", badPath}, nullptr,
                   Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 1);
  EXPECT_NE(ReadWholeFile(Path("stderr.txt")).find("Can't create file : " + badPath), std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(LoggedCommands(Path("sim.log")).empty());
}

TEST_F(RunEndToEnd, BadArgumentsAreRefusedBeforeAnythingIsCreated) {
  ChildProcess run = StartChild(kRunProgram, {"--time", "9", "--output", Path("x.dat")}, nullptr,
                                Path("stderr.txt"));
  EXPECT_EQ(WaitForChild(run, 30000), 2);
  EXPECT_NE(ReadWholeFile(Path("stderr.txt"))
                .find("Measurement time: please enter an integer between 10 and 10000000."),
            std::string::npos);
  EXPECT_FALSE(fs::exists(Path("x.dat")));
}

}  // namespace
