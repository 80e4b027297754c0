#include "programs/ivra-run/run_options.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
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
  const ParsedRunOptions p =
      Parse({"--port", "3", "--interval=5", "--time", "60", "--voltage=-2.5", "--output=out.dat", "--simulate"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.settings.portNumber, 3);
  EXPECT_EQ(p.options.settings.sampleInterval, 5);
  EXPECT_EQ(p.options.settings.measurementTime, 60);
  EXPECT_EQ(p.options.settings.outputVoltage, -2.5);
  EXPECT_EQ(p.options.settings.outputPath, "out.dat");
  EXPECT_TRUE(p.options.simulate);
  EXPECT_FALSE(p.options.overwrite);
  EXPECT_TRUE(Parse({"--output", "x", "--overwrite"}).options.overwrite);
  EXPECT_TRUE(Parse({"--time", "10", "--help"}).options.help);
}

TEST(RunOptions, IntervalsBelowASecondAreDecimalAndMustFitTheLine) {
  // Whole seconds stay on the tick, as before.
  ParsedRunOptions p = Parse({"--output", "x", "--interval", "2.000"});
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.options.settings.sampleInterval, 2);
  EXPECT_EQ(p.options.settings.sampleIntervalMs, 0);
  p = Parse({"--output", "x", "--interval", " 0.02 ", "--baud", "57600", "--nplc", "0.01", "--autozero", "off"});
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.options.settings.sampleInterval, 0);
  EXPECT_EQ(p.options.settings.sampleIntervalMs, 20);
  EXPECT_EQ(Parse({"--output", "x", "--interval", "1.5"}).options.settings.sampleIntervalMs, 1500);
  // At the defaults (9600 baud, NPLC 1, auto-zero on) a sample needs 0.109 s; the
  // cheapest change that carries 0.05 s is named, in options.
  EXPECT_EQ(Parse({"--output", "x", "--interval", "0.05"}).error,
            "--interval: at 9600 baud and NPLC 1 a sample takes at least 0.109 s. Choose a longer interval, or give "
            "--baud 57600 (also on the instrument) and --nplc 0.5.");
  EXPECT_EQ(Parse({"--output", "x", "--interval", "0.109"}).error, "");  // to the millisecond, not the next 0.01 s
  EXPECT_NE(Parse({"--output", "x", "--interval", "0.108"}).error, "");
  EXPECT_EQ(Parse({"--output", "x", "--interval", "0.02", "--baud", "57600"}).error,
            "--interval: at 57600 baud and NPLC 1 a sample takes at least 0.062 s. Choose a longer interval, or give "
            "--nplc 0.1.");
}

TEST(RunOptions, BadValuesNameTheFieldAndTheBounds) {
  EXPECT_EQ(Parse({"--output", "x", "--time", "9"}).error, "--time: please enter an integer between 10 and 10000000.");
  // Intervals are decimal seconds now, down to 0.02.
  for (const char* bad : {"0", "-1", "0.0001", "abc", "1e-3", "0,05", "0.019", "1000.001", "0.0500", ".", ""}) {
    EXPECT_EQ(Parse({"--output", "x", "--interval", bad}).error,
              "--interval: please enter a number of seconds between 0.02 and 1000, with at most three decimals.")
        << bad;
  }
  EXPECT_EQ(Parse({"--output", "x", "--port", "5"}).error, "--port: please enter an integer between 1 and 4.");
  EXPECT_EQ(Parse({"--output", "x", "--voltage", "10.5"}).error,
            "--voltage: please enter a number between -10 and 10.");
  EXPECT_EQ(Parse({"--output", "x", "--voltage", "half"}).error, "--voltage: please enter a number.");
  EXPECT_EQ(Parse({"--output", "x", "--time", "ten"}).error, "--time: please enter an integer.");
  EXPECT_EQ(Parse({"--time", "20"}).error, "--output: please give the data file, e.g. --output run1.dat.");
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
  const ParsedRunOptions byPath = Parse(
      {"--port", "2", "--port=/dev/serial/by-id/usb-FTDI_A50285BI", "--output", "x", "--time", "5", "--time", "50"});
  EXPECT_EQ(byPath.error, "");
  EXPECT_EQ(byPath.options.settings.portPath, "/dev/serial/by-id/usb-FTDI_A50285BI");
  EXPECT_EQ(byPath.options.settings.measurementTime, 50);
  EXPECT_EQ(Parse({"--output", "x", "--port", "ttyUSB0"}).error, "--port: please enter an integer.");
  EXPECT_EQ(Parse({"--output", "x", "--port", "com3"}).options.settings.portNumber, 3);
  EXPECT_EQ(Parse({"--output", "x", "--com1="}).error, "--com1 needs a value.");

  EXPECT_TRUE(Parse({"--list-ports"}).options.listPorts);  // no --output needed
  EXPECT_EQ(Parse({"--version"}).error, "");
  EXPECT_TRUE(Parse({"--version"}).options.version);
}

TEST(RunOptions, InstrumentSettingsKeepTheirResetDefaultsUnlessGivenAndRefuseWhatTheInstrumentCannotDo) {
  EXPECT_EQ(Parse({"--output", "x"}).options.settings.instrument, InstrumentSettings{});
  const ParsedRunOptions p =
      Parse({"--output", "x", "--current-limit", "1e-3", "--current-range", "0.000001", "--nplc", "0.01", "--autozero",
             "ONCE", "--baud", "57600", "--parity", "Even", "--data-bits", "7"});
  ASSERT_EQ(p.error, "");
  const InstrumentSettings& i = p.options.settings.instrument;
  EXPECT_EQ(i.currentLimit, 1e-3);
  EXPECT_EQ(i.currentRange, 1e-6);
  EXPECT_EQ(i.nplc, 0.01);
  EXPECT_EQ(i.autoZero, AutoZero::Once);
  EXPECT_EQ(i.baud, 57600);
  EXPECT_EQ(i.lineFormat, (LineFormat{Parity::Even, 7}));
  EXPECT_EQ(Parse({"--output", "x", "--parity", "odd"}).options.settings.instrument.lineFormat,
            (LineFormat{Parity::Odd, 8}));
  EXPECT_EQ(Parse({"--output", "x", "--current-range", "Auto"}).options.settings.instrument.currentRange, 0.0);
  EXPECT_EQ(Parse({"--output", "x", "--current-limit", "1.05"}).error, "");

  const std::vector<std::pair<std::vector<const char*>, std::string>> refused = {
      {{"--current-limit", "1.06"}, "--current-limit: please enter a number between 1e-09 and 1.05."},
      {{"--current-limit", "0"}, "--current-limit: please enter a number between 1e-09 and 1.05."},
      {{"--current-limit", "lots"}, "--current-limit: please enter a number."},
      {{"--current-range", "2e-6"},
       "--current-range: please enter auto or one of 1e-06, 1e-05, 0.0001, 0.001, 0.01, 0.1, 1."},
      {{"--nplc", "20"}, "--nplc: please enter a number between 0.01 and 10."},
      {{"--autozero", "yes"}, "--autozero: please enter on, once or off."},
      {{"--baud", "115200"}, "--baud: please enter one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600."},
      {{"--baud", "9600.5"}, "--baud: please enter one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600."},
      {{"--baud"}, "--baud needs a value."},
      {{"--parity", "1"}, "--parity: please enter none, even or odd."},
      {{"--parity", "mark"}, "--parity: please enter none, even or odd."},
      {{"--data-bits", "9"}, "--data-bits: please enter 7 or 8."},
      {{"--data-bits", "7"},
       "--data-bits: 7 data bits need even or odd parity: the instrument offers 8 data bits with none, even or odd "
       "parity, or 7 with even or odd."},
  };
  for (const auto& [args, error] : refused) {
    std::vector<const char*> all = {"--output", "x"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(Parse(all).error, error) << args.front();
  }
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

TEST(RunOptions, APortOnTheNetworkAndAGpibAddressAreCheckedBeforeAnythingIsTouched) {
  ParsedRunOptions p = Parse({"--output", "x", "--port", "tcp://[::1]:4001", "--gpib", "24"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.settings.portPath, "tcp://[::1]:4001");
  EXPECT_EQ(p.options.settings.gpibAddress, 24);
  p = Parse({"--output", "x", "--port", "/dev/ttyUSB0", "--gpib", "0"});
  EXPECT_EQ(p.options.settings.portPath, "/dev/ttyUSB0");  // a GPIB-USB controller
  EXPECT_EQ(p.options.settings.gpibAddress, 0);
  EXPECT_EQ(Parse({"--output", "x"}).options.settings.gpibAddress, -1);  // RS-232 unless asked
  EXPECT_EQ(Parse({"--output", "x", "--simulate", "--gpib", "5"}).error, "");

  const std::string form =
      "--port: please enter a network address as tcp://HOST:PORT, with a host name, an IPv4 address or an IPv6 "
      "address in brackets, and a port from 1 to 65535: this one ";
  EXPECT_EQ(Parse({"--output", "x", "--port", "tcp://host"}).error, form + "has no port.");
  EXPECT_EQ(Parse({"--output", "x", "--port", "tcp://host:70000"}).error,
            form + "has a port that is not a number from 1 to 65535.");
  EXPECT_EQ(Parse({"--output", "x", "--port", "tcp://host:x"}).error,
            form + "has a port that is not a number from 1 to 65535.");
  EXPECT_EQ(Parse({"--output", "x", "--gpib", "31"}).error, "--gpib: please enter an integer between 0 and 30.");
  EXPECT_EQ(Parse({"--output", "x", "--gpib", "x"}).error, "--gpib: please enter an integer.");
}

namespace {

TEST(RunOptions, StepsInOrderRepeatAndRampMakeTheSchedule) {
  const ParsedRunOptions p =
      Parse({"--output", "x", "--step", "0.5:30", "--step=-1:2.5", "--repeat", "3", "--ramp", "0.2"});
  ASSERT_EQ(p.error, "");
  const BiasSchedule& bias = p.options.settings.bias;
  ASSERT_EQ(bias.steps.size(), 2u);
  EXPECT_EQ(bias.steps[0].volts, 0.5);
  EXPECT_EQ(bias.steps[1].durationMs, 2500);
  EXPECT_EQ(bias.repeat, 3);
  EXPECT_EQ(bias.rampVoltsPerSecond, 0.2);
  EXPECT_EQ(p.options.settings.measurementTime, 98);  // 97.5 s, on the tick
  // A ramp alone keeps the voltage and the time.
  const ParsedRunOptions ramp = Parse({"--output", "x", "--voltage", "3", "--time", "20", "--ramp", "1"});
  ASSERT_EQ(ramp.error, "");
  EXPECT_FALSE(ramp.options.settings.bias.HasSteps());
  EXPECT_EQ(ramp.options.settings.measurementTime, 20);
}

TEST(RunOptions, BadSchedulesAreRefusedNamingTheOption) {
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{"--step", "11:5"}, "--step: please enter a voltage between -10 and 10."},
      {{"--step", "1:0"}, "--step: please enter a duration of at least 1 s, the time between samples."},
      {{"--step", "1:-3"}, "--step: please enter a duration of at least 1 s, the time between samples."},
      {{"--interval", "2", "--step", "1:1.5"},
       "--step: please enter a duration of at least 2 s, the time between samples."},
      {{"--step", "0.5"}, "--step: please enter a voltage and a duration as VOLTS:SECONDS, e.g. 0.5:60."},
      {{"--step", "a:b"}, "--step: please enter a voltage and a duration as VOLTS:SECONDS, e.g. 0.5:60."},
      {{"--step", "1:10", "--repeat", "0"}, "--repeat: please enter an integer between 1 and 1000000."},
      {{"--repeat", "2"}, "--repeat: please give the steps to repeat with --step or --steps."},
      {{"--ramp", "0"}, "--ramp: please enter a number above 0."},
      {{"--ramp", "-0.5"}, "--ramp: please enter a number above 0."},
      {{"--step", "1:10", "--voltage", "1"}, "--voltage: please leave it out: the steps give the voltage."},
      {{"--step", "1:10", "--time", "10"},
       "--time: please leave it out: the steps' durations make the measurement time."},
      {{"--step", "1:6000000", "--step", "2:5000000"},
       "--step: please enter steps that last at most 10000000 s in all, repeats included."},
      {{"--step", "1:5000000", "--repeat", "3"},
       "--step: please enter steps that last at most 10000000 s in all, repeats included."},
      {{"--steps", "/nonexistent/steps.txt"},
       "--steps: cannot read /nonexistent/steps.txt: No such file or directory."},
  };
  for (const auto& [args, error] : cases) {
    std::vector<const char*> all = args;
    all.push_back("--output");
    all.push_back("x");
    EXPECT_EQ(Parse(all).error, error) << args.front() << " " << args.back();
  }
}

TEST(RunOptions, AStepsFileIsReadLineByLine) {
  const std::string path = ::testing::TempDir() + "ivra-steps-" + std::to_string(::getpid()) + ".txt";
  auto write = [&](const char* text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fputs(text, file);
    std::fclose(file);
  };
  write("# bias\n1 5\n\n-2\t3\n");
  ParsedRunOptions p = Parse({"--output", "x", "--steps", path.c_str(), "--repeat", "2"});
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.options.settings.bias.steps.size(), 2u);
  EXPECT_EQ(p.options.settings.bias.steps[1].volts, -2.0);
  EXPECT_EQ(p.options.settings.measurementTime, 16);
  write("1 5\n2 five\n");
  EXPECT_EQ(Parse({"--output", "x", "--steps", path.c_str()}).error,
            "--steps: line 2 of " + path +
                ": please enter a voltage and a duration in seconds, separated by blanks, e.g. 0.5 60.");
  write("\n# nothing\n");
  EXPECT_EQ(Parse({"--output", "x", "--steps", path.c_str()}).error,
            "--steps: " + path +
                " holds no step. Please enter at least one step, a voltage and a duration in seconds a line, e.g. "
                "0.5 60.");
  EXPECT_EQ(Parse({"--output", "x", "--steps", path.c_str(), "--step", "1:5"}).error,
            "--steps: please give the steps either with --step or in a file, not both.");
  std::remove(path.c_str());
  EXPECT_EQ(Parse({"--output", "x", "--steps", ::testing::TempDir().c_str()}).error.rfind("--steps: cannot read", 0),
            0u);
}

}  // namespace
