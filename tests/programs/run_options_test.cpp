#include "programs/ivra-run/run_options.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "programs/ivra-run/tick_schedule.h"
#include "serial/port_table.h"

namespace {

ParsedRunOptions Parse(std::vector<const char*> args, PortTable& table) {
  args.insert(args.begin(), "ivra-run");
  return ParseRunOptions(static_cast<int>(args.size()), args.data(), table);
}

ParsedRunOptions Parse(std::vector<const char*> args) {
  PortTable table;
  return Parse(std::move(args), table);
}

TEST(RunOptions, DefaultsAreTheSetupDialogs) {
  const ParsedRunOptions p = Parse({"--output", "x.dat"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.settings.portNumber, 1);
  EXPECT_EQ(p.options.settings.sampleInterval, 1);
  EXPECT_EQ(p.options.settings.measurementTime, 1000);
  EXPECT_EQ(p.options.settings.outputVoltage, 0.5);
  EXPECT_EQ(p.options.settings.outputPath, "x.dat");
  EXPECT_EQ(p.options.settings.portPath, DefaultPortDevicePath(1));  // the run opens COM1's device
  EXPECT_FALSE(p.options.simulate);
}

TEST(RunOptions, EveryOptionInBothSpellings) {
  const ParsedRunOptions p = Parse({"--port", "3", "--interval=5", "--time", "60", "--voltage=-2.5",
                                    "--output=out.dat", "--simulate"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.settings.portNumber, 3);
  EXPECT_EQ(p.options.settings.sampleInterval, 5);
  EXPECT_EQ(p.options.settings.measurementTime, 60);
  EXPECT_EQ(p.options.settings.outputVoltage, -2.5);
  EXPECT_EQ(p.options.settings.outputPath, "out.dat");
  EXPECT_TRUE(p.options.simulate);
  EXPECT_TRUE(Parse({"--time", "10", "--help"}).options.help);
}

TEST(RunOptions, BadValuesNameTheFieldAndTheBounds) {
  EXPECT_EQ(Parse({"--output", "x", "--time", "9"}).error,
            "Measurement time: please enter an integer between 10 and 10000000.");
  EXPECT_EQ(Parse({"--output", "x", "--interval", "0"}).error,
            "Time between samples: please enter an integer between 1 and 1000.");
  EXPECT_EQ(Parse({"--output", "x", "--port", "5"}).error,
            "Serial port: please enter an integer between 1 and 4.");
  EXPECT_EQ(Parse({"--output", "x", "--voltage", "10.5"}).error,
            "Output voltage: please enter a number between -10 and 10.");
  EXPECT_EQ(Parse({"--output", "x", "--voltage", "half"}).error, "Output voltage: please enter a number.");
  EXPECT_EQ(Parse({"--output", "x", "--time", "ten"}).error, "Measurement time: please enter an integer.");
  EXPECT_EQ(Parse({"--time", "20"}).error, "Output file: please give the data file with --output PATH.");
  EXPECT_EQ(Parse({"--output", "x", "--time"}).error, "--time needs a value.");
  EXPECT_EQ(Parse({"--output", "x", "--speed", "3"}).error, "Unknown option: --speed");
  EXPECT_EQ(Parse({"--output", "x", "--com5=/dev/null"}).error, "Unknown option: --com5=/dev/null");
  // An empty path is taken; Start then reports that it cannot create it.
  EXPECT_EQ(Parse({"--output", ""}).error, "");
}

TEST(RunOptions, PortOptionsPointThePortElsewhere) {
  PortTable table;
  const ParsedRunOptions p = Parse({"--com2=/dev/pts/77", "--port", "2", "--output", "x"}, table);
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(table.DevicePath(2), "/dev/pts/77");
  EXPECT_EQ(p.options.settings.portPath, "/dev/pts/77");  // COM2 goes through the table

  // A device path instead of a number, the later of two values winning.
  const ParsedRunOptions byPath =
      Parse({"--port", "2", "--port=/dev/serial/by-id/usb-FTDI_A50285BI", "--output", "x", "--time", "5", "--time", "50"});
  EXPECT_EQ(byPath.error, "");
  EXPECT_EQ(byPath.options.settings.portPath, "/dev/serial/by-id/usb-FTDI_A50285BI");
  EXPECT_EQ(byPath.options.settings.measurementTime, 50);
  EXPECT_EQ(Parse({"--output", "x", "--port", "ttyUSB0"}).error, "Serial port: please enter an integer.");
  EXPECT_EQ(Parse({"--output", "x", "--port", "com3"}).options.settings.portNumber, 3);
  EXPECT_EQ(Parse({"--output", "x", "--com1="}).error, "--com1 needs a value.");

  EXPECT_TRUE(Parse({"--list-ports"}).options.listPorts);  // no --output needed
  EXPECT_EQ(Parse({"--version"}).error, "");
  EXPECT_TRUE(Parse({"--version"}).options.version);
}

TEST(TickSchedule, TicksStayOnTheGridAndLateTicksMergeIntoOne) {
  TickSchedule ticks(5000);
  EXPECT_EQ(ticks.WaitMs(5000), 1000);
  EXPECT_EQ(ticks.WaitMs(5999), 1);
  EXPECT_EQ(ticks.WaitMs(6000), 0);
  ticks.Take(6003);  // taken a little late: the next one is still on the grid
  EXPECT_EQ(ticks.NextDueMs(), 7000);

  // A tick handled from 7000 to 9500 (a blocking sample): the ticks due at 8000
  // and 9000 become one tick, due at once, and the grid goes on at 10000.
  ticks.Take(7000);
  EXPECT_EQ(ticks.WaitMs(9500), 0);
  ticks.Take(9500);
  EXPECT_EQ(ticks.NextDueMs(), 10000);
  EXPECT_EQ(ticks.WaitMs(9500), 500);
}

}  // namespace
