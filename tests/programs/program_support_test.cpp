// What the desktop program and ivra-run share: the port options, the
// simulator's start and the stop signals.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>

#include "process/stop_request.h"
#include "programs/common/port_options.h"
#include "programs/common/simulator_start.h"
#include "programs/common/stop_signals.h"

namespace {

constexpr const char* kRunWords = "needs a value.";

struct Applied {
  std::string problem;
  MeasurementSettings settings;
};

Applied ApplyPort(const char* port, PortTable& table) {
  PortOptions options;
  options.port = port;
  Applied applied;
  applied.problem = ApplyPortOptions(options, table, applied.settings, kRunWords);
  return applied;
}

TEST(PortOptions, PortByNumberComNameOrDevicePath) {
  PortTable table;
  table.SetDevicePath(3, "/dev/ttyUSB7");

  const Applied number = ApplyPort("3", table);
  EXPECT_EQ(number.problem, "");
  EXPECT_EQ(number.settings.portNumber, 3);
  EXPECT_EQ(number.settings.portPath, "/dev/ttyUSB7");  // through the table

  for (const char* name : {"COM3", "com3"}) {
    const Applied com = ApplyPort(name, table);
    EXPECT_EQ(com.problem, "") << name;
    EXPECT_EQ(com.settings.portNumber, 3) << name;
    EXPECT_EQ(com.settings.portPath, "/dev/ttyUSB7") << name;
  }

  const Applied path = ApplyPort("/dev/serial/by-id/usb-FTDI_A50285BI", table);
  EXPECT_EQ(path.problem, "");
  EXPECT_EQ(path.settings.portNumber, 1);  // untouched
  EXPECT_EQ(path.settings.portPath, "/dev/serial/by-id/usb-FTDI_A50285BI");

  // No --port: COM1 of the table.
  MeasurementSettings settings;
  EXPECT_EQ(ApplyPortOptions(PortOptions{}, table, settings, kRunWords), "");
  EXPECT_EQ(settings.portPath, DefaultPortDevicePath(1));
}

TEST(PortOptions, BadPortsKeepTheSetupDialogsWords) {
  PortTable table;
  EXPECT_EQ(ApplyPort("5", table).problem, "--port: please enter an integer between 1 and 4.");
  EXPECT_EQ(ApplyPort("0", table).problem, "--port: please enter an integer between 1 and 4.");
  EXPECT_EQ(ApplyPort("ttyUSB0", table).problem, "--port: please enter an integer.");
  EXPECT_EQ(ApplyPort("", table).problem, "--port: please enter an integer.");
  EXPECT_EQ(ApplyPort("COM", table).problem, "--port: please enter an integer.");
#ifndef _WIN32
  // COM5 is a device of its own on Windows only.
  EXPECT_EQ(ApplyPort("COM5", table).problem, "--port: please enter an integer between 1 and 4.");
#endif
}

TEST(PortOptions, ComPathsApplyInTheOrderGivenAndAnEmptyOneIsRefusedInEachProgramsWords) {
  PortTable table;
  PortOptions options;
  options.comPaths = {{2, "/dev/a"}, {4, "/dev/d"}, {2, "/dev/b"}};
  MeasurementSettings settings;
  settings.portNumber = 2;
  EXPECT_EQ(ApplyPortOptions(options, table, settings, kRunWords), "");
  EXPECT_EQ(table.DevicePath(2), "/dev/b");  // the later one wins
  EXPECT_EQ(table.DevicePath(4), "/dev/d");
  EXPECT_EQ(table.DevicePath(1), DefaultPortDevicePath(1));
  EXPECT_EQ(settings.portPath, "/dev/b");
  EXPECT_TRUE(options.GivesPath(4));
  EXPECT_FALSE(options.GivesPath(1));

  // The first empty one in the order given is named, and nothing is applied.
  PortTable untouched;
  options.comPaths = {{1, "/dev/x"}, {3, ""}, {2, ""}};
  EXPECT_EQ(ApplyComPaths(options, untouched, kRunWords), "--com3 needs a value.");
  EXPECT_EQ(ApplyComPaths(options, untouched, "needs a device path"), "--com3 needs a device path");
  EXPECT_EQ(untouched.DevicePath(1), DefaultPortDevicePath(1));

  // An empty path is not mended by a later one.
  options.comPaths = {{1, ""}, {1, "/dev/x"}};
  EXPECT_EQ(ApplyComPaths(options, untouched, "needs a device path"), "--com1 needs a device path");
}

#ifndef _WIN32
TEST(SimulatorStart, PointsTheChosenPortAtTheSimulatorOnly) {
  PortTable table;
  std::string error;
  std::unique_ptr<SimulatedInstrument> simulator = StartSimulator(SimOptions{}, table, 3, error);
  ASSERT_NE(simulator, nullptr) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(table.DevicePath(3), simulator->DevicePath());
  EXPECT_EQ(table.DevicePath(1), DefaultPortDevicePath(1));

  // No port to point (the desktop program's --com1 wins over --simulate).
  PortTable kept;
  std::unique_ptr<SimulatedInstrument> unused = StartSimulator(SimOptions{}, kept, 0, error);
  ASSERT_NE(unused, nullptr) << error;
  for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) EXPECT_EQ(kept.DevicePath(n), DefaultPortDevicePath(n));

  SimOptions unusable;
  unusable.devicePath = "/nonexistent/tty";
  PortTable failed;
  EXPECT_EQ(StartSimulator(unusable, failed, 1, error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(failed.DevicePath(1), DefaultPortDevicePath(1));
}

// In a child process: the stop request is the process's own.
TEST(StopSignalsDeathTest, ASignalBecomesTheStopRequestAndABlockedOneWaits) {
  EXPECT_EXIT(
      {
        if (!InstallStopSignals()) std::_Exit(90);
        BlockStopSignals(true);
        std::raise(SIGINT);
        if (StopSignalNumber() != 0 || WaitForStopRequest(0)) std::_Exit(91);  // held while blocked
        BlockStopSignals(false);
        if (!WaitForStopRequest(1000)) std::_Exit(92);
        std::raise(SIGTERM);  // only the first signal counts
        std::_Exit(StopSignalNumber());
      },
      ::testing::ExitedWithCode(SIGINT), "");
}
#endif

}  // namespace
