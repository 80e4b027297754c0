#include "measurement/measurement_run.h"

#include "serial/port_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_instrument_link.h"
#include "measurement/instrument_protocol.h"
#include "measurement/sample_history.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodReply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.000000E+00,+2.150800E+04\r";

class RecordingFrontEnd final : public RunFrontEnd {
 public:
  std::vector<std::string> messages;
  std::vector<SampleTrouble> troubles;
  int redraws = 0;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void Redraw() override { ++redraws; }
  void ReportTrouble(SampleTrouble trouble) override { troubles.push_back(trouble); }
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int LineCount(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class MeasurementRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_settings = MeasurementSettings{};
    g_measuring = 0;
    g_tickCount = 0;
    g_startTime = 0.0;
    g_runCounters = RunCounters{};
    g_latestReading = LatestReading{};
    g_history = SampleHistory{};
    dir_ = fs::temp_directory_path() /
           ("ivra-run-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    StopMeasurementRun();
    fs::remove_all(dir_);
  }

  MeasurementSettings Settings(int interval, int time, const fs::path& file) {
    MeasurementSettings s;
    s.portNumber = 2;
    s.sampleInterval = interval;
    s.measurementTime = time;
    s.outputVoltage = 0.5;
    s.outputPath = file.string();
    return s;
  }

  // One timer tick on the next whole second of the fake clock; a due sample gets a good reply.
  void Tick() {
    g_fakeClockMs = (g_fakeClockMs / 1000 + 1) * 1000;
    link_.replies.assign(1, kGoodReply);
    MeasurementTick(frontEnd_);
  }

  fs::path dir_;
  FakeInstrumentLink link_;
  ScopedFakeLink use_{link_, 10'000};
  RecordingFrontEnd frontEnd_;
};

TEST_F(MeasurementRunTest, StartCreatesTheFileEmptyOpensThePortAndSwitchesTheOutputOn) {
  const fs::path file = dir_ / "data.dat";
  std::ofstream(file) << "old contents\n";
  g_history.Append(LatestReading{});
  g_latestReading.current = 3e-6;

  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  EXPECT_EQ(g_measuring, 1);
  EXPECT_EQ(g_tickCount, 0);
  EXPECT_DOUBLE_EQ(g_startTime, 10.0);
  EXPECT_EQ(link_.lastOpenedPath, PortDevicePath(2));
  EXPECT_EQ(g_settings.portPath, PortDevicePath(2));  // what a reopen goes back to
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(g_history.count, 0);
  EXPECT_EQ(g_latestReading.current, 3e-6);  // the last reading stays on show
  EXPECT_EQ(link_.Sent(), "*RST\r:OUTP ON\r");
  EXPECT_TRUE(link_.AllWritesSingleBytes());
  EXPECT_TRUE(link_.readSizes.empty());
  EXPECT_TRUE(frontEnd_.messages.empty());
  EXPECT_GE(frontEnd_.redraws, 1);
}

TEST_F(MeasurementRunTest, SamplesFallOnMultiplesOfTheIntervalAndTheRunStopsAfterItsTime) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(3, 10, file), frontEnd_), 0);
  link_.Forget();

  std::vector<int> sampleTicks;
  for (int tick = 1; tick <= 10; ++tick) {
    const std::size_t before = link_.writes.size();
    Tick();
    if (link_.writes.size() != before) sampleTicks.push_back(tick);
    EXPECT_EQ(g_measuring, 1) << "tick " << tick;
  }
  EXPECT_EQ(sampleTicks, (std::vector<int>{3, 6, 9}));
  EXPECT_EQ(link_.closes, 0);

  const std::size_t before = link_.writes.size();
  Tick();  // tick 11
  EXPECT_EQ(g_measuring, 0);
  EXPECT_EQ(link_.Sent().substr(link_.Sent().size() - 10), ":OUTP OFF\r");
  EXPECT_EQ(link_.writes.size() - before, 10u);
  EXPECT_EQ(link_.closes, 1);

  // Set voltage, reading request, then the read after a 100 ms wait, per sample.
  const std::string sample = ":SOUR:VOLT 0.50000\r:READ?\r";
  EXPECT_EQ(link_.Sent(), sample + sample + sample + ":OUTP OFF\r");
  EXPECT_EQ(link_.readSizes, (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(link_.delays, (std::vector<int>{100, 100, 100}));

  // Time stamps are taken after the reply: tick time plus the 100 ms wait.
  EXPECT_EQ(ReadFile(file), "3.10\ts\t0.5\tuA\n6.10\ts\t0.5\tuA\n9.10\ts\t0.5\tuA\n");
  EXPECT_EQ(g_history.count, 3);
  EXPECT_DOUBLE_EQ(g_history.rows[0][2], 9.1);
  EXPECT_DOUBLE_EQ(g_history.rows[1][2], 5e-7);
  EXPECT_DOUBLE_EQ(g_history.rows[2][2], 0.5);
  EXPECT_EQ(g_runCounters.samplesTaken, 3);

  // After the stop ticks only reset the count.
  link_.Forget();
  Tick();
  EXPECT_EQ(g_tickCount, 0);
  EXPECT_TRUE(link_.writes.empty());
}

TEST_F(MeasurementRunTest, IntervalLongerThanTheTimeTakesNoSample) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1000, 10, file), frontEnd_), 0);
  link_.Forget();
  for (int tick = 1; tick <= 10; ++tick) Tick();
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_EQ(g_measuring, 1);
  Tick();
  EXPECT_EQ(g_measuring, 0);
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(fs::file_size(file), 0u);
}

TEST_F(MeasurementRunTest, AnIdleTickSendsNothingAndTouchesNoFile) {
  const fs::path file = dir_ / "never.dat";
  g_settings = Settings(1, 10, file);
  g_tickCount = 7;
  MeasurementTick(frontEnd_);
  EXPECT_EQ(g_tickCount, 0);
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_TRUE(link_.readSizes.empty());
  EXPECT_EQ(frontEnd_.redraws, 0);
  EXPECT_FALSE(fs::exists(file));

  StopMeasurementRun();  // idle: nothing to stop
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_EQ(link_.closes, 0);
}

TEST_F(MeasurementRunTest, ASecondStartIntoTheSameFileEmptiesItFirst) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  for (int tick = 1; tick <= 11; ++tick) Tick();
  EXPECT_EQ(LineCount(ReadFile(file)), 10);
  EXPECT_EQ(g_history.count, 10);

  ASSERT_EQ(BeginMeasurement(Settings(5, 10, file), frontEnd_), 0);
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(g_history.count, 0);
  EXPECT_EQ(g_runCounters.samplesTaken, 0);
  for (int tick = 1; tick <= 5; ++tick) Tick();
  EXPECT_EQ(ReadFile(file), "5.10\ts\t0.5\tuA\n");
  EXPECT_EQ(link_.opens, 2);
}

TEST_F(MeasurementRunTest, AFileRemovedDuringTheRunIsCreatedAgain) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  Tick();
  Tick();
  fs::remove(file);
  Tick();
  Tick();
  EXPECT_EQ(ReadFile(file), "3.10\ts\t0.5\tuA\n4.10\ts\t0.5\tuA\n");
  EXPECT_EQ(g_runCounters.lostLines, 0);
}

TEST_F(MeasurementRunTest, AFileThatCannotBeCreatedStopsTheStartBeforeThePort) {
  g_history.Append(LatestReading{});
  const fs::path file = dir_ / "missing-dir" / "data.dat";
  EXPECT_EQ(BeginMeasurement(Settings(7, 20, file), frontEnd_), 1);
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{"Can't create file : " + file.string()});
  EXPECT_EQ(link_.opens, 0);
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_EQ(g_measuring, 0);
  EXPECT_EQ(g_settings.portNumber, 2);  // the accepted settings stay
  EXPECT_EQ(g_settings.sampleInterval, 7);
  EXPECT_EQ(g_history.count, 1);

  frontEnd_.messages.clear();
  EXPECT_EQ(BeginMeasurement(Settings(1, 10, ""), frontEnd_), 1);
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{"Can't create file : "});
  EXPECT_EQ(link_.opens, 0);
}

TEST_F(MeasurementRunTest, APortThatCannotBeOpenedLeavesTheFileEmptyAndTheRunIdle) {
  const fs::path file = dir_ / "data.dat";
  std::ofstream(file) << "old contents\n";
  g_history.Append(LatestReading{});
  link_.openSucceeds = false;
  link_.openFailure.problem = PortOpenProblem::Busy;
  link_.openFailure.holder = "minicom (pid 4711)";

  MeasurementSettings settings = Settings(1, 10, file);
  settings.portPath = "/dev/ttyUSB0";  // a chosen device wins over the port number
  EXPECT_EQ(BeginMeasurement(settings, frontEnd_), 1);
  EXPECT_EQ(link_.lastOpenedPath, "/dev/ttyUSB0");
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{
                                    "Can't open serial port\n"
                                    "Port: /dev/ttyUSB0\n"
                                    "Another program is using this port: minicom (pid 4711).\n"
                                    "Close that program, then start again."});
  EXPECT_EQ(link_.opens, 1);
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_EQ(g_measuring, 0);
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(g_history.count, 1);
  Tick();
  EXPECT_TRUE(link_.writes.empty());
}

TEST_F(MeasurementRunTest, ASampleWithoutAReadingIsCountedAsMissedAndNotLogged) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  Tick();  // a good sample first
  const LatestReading before = g_latestReading;

  for (const char* reply : {"", "GARBAGE\r", "+5.000000E-01\r"}) {
    g_fakeClockMs = (g_fakeClockMs / 1000 + 1) * 1000;
    link_.replies.assign(1, reply);
    MeasurementTick(frontEnd_);
    EXPECT_EQ(g_latestReading.time, before.time) << reply;
    EXPECT_EQ(g_latestReading.voltage, before.voltage) << reply;
    EXPECT_EQ(g_latestReading.current, before.current) << reply;
  }
  EXPECT_EQ(g_runCounters.missedSamples, 3);
  EXPECT_EQ(g_runCounters.samplesTaken, 1);
  EXPECT_EQ(g_history.count, 1);
  EXPECT_EQ(LineCount(ReadFile(file)), 1);
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>(3, SampleTrouble::Missed));

  // The next due tick tries again.
  Tick();
  EXPECT_EQ(g_history.count, 2);
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n5.10\ts\t0.5\tuA\n");
  EXPECT_EQ(g_measuring, 1);
}

TEST_F(MeasurementRunTest, ALineThatCannotBeWrittenIsStoredButCountedAsLost) {
  const fs::path subdir = dir_ / "out";
  fs::create_directories(subdir);
  const fs::path file = subdir / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  Tick();
  fs::remove_all(subdir);  // appending can no longer open the file
  Tick();
  EXPECT_EQ(g_runCounters.lostLines, 1);
  EXPECT_EQ(g_runCounters.samplesTaken, 2);
  EXPECT_EQ(g_history.count, 2);
  EXPECT_DOUBLE_EQ(g_latestReading.time, 2.1);
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>{SampleTrouble::Lost});

  fs::create_directories(subdir);  // later samples try the file again
  Tick();
  EXPECT_EQ(ReadFile(file), "3.10\ts\t0.5\tuA\n");
  EXPECT_EQ(g_runCounters.lostLines, 1);
}

TEST_F(MeasurementRunTest, AFullDiskLosesTheLineVisibly) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, "/dev/full"), frontEnd_), 0);
  Tick();
  EXPECT_EQ(g_runCounters.lostLines, 1);
  EXPECT_EQ(g_history.count, 1);
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>{SampleTrouble::Lost});
}

TEST_F(MeasurementRunTest, StopSwitchesTheOutputOffAndKeepsTheLastReading) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 100, file), frontEnd_), 0);
  Tick();
  link_.Forget();
  StopMeasurementRun();
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(link_.closes, 1);
  EXPECT_EQ(g_measuring, 0);
  EXPECT_EQ(g_history.count, 1);
  EXPECT_DOUBLE_EQ(g_latestReading.current, 5e-7);
  StopMeasurementRun();
  EXPECT_EQ(link_.closes, 1);
}

TEST_F(MeasurementRunTest, AThousandTickRunPastA32BitMillisecondClock) {
  // Start just before 2^31 ms: a 32-bit clock would wrap during this run.
  g_fakeClockMs = 2147483000;  // 2^31 ms is 2147483648
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 1000, file), frontEnd_), 0);
  for (int tick = 1; tick <= 1000; ++tick) Tick();
  EXPECT_EQ(g_measuring, 1);
  Tick();
  EXPECT_EQ(g_measuring, 0);

  const std::string text = ReadFile(file);
  EXPECT_EQ(LineCount(text), 1000);
  const std::string lastLine = "1000.10\ts\t0.5\tuA\n";
  ASSERT_GE(text.size(), lastLine.size());
  EXPECT_EQ(text.substr(text.size() - lastLine.size()), lastLine);
  EXPECT_EQ(text.substr(0, 6), "1.10\ts");
  EXPECT_EQ(g_history.count, 100);
  EXPECT_NEAR(g_history.rows[0][0], 901.1, 1e-6);
  EXPECT_NEAR(g_history.rows[0][99], 1000.1, 1e-6);
}

TEST(DataLine, Format) {
  EXPECT_EQ(FormatDataLine(12.3456, 1.5e-6), "12.35\ts\t1.5\tuA\n");
  EXPECT_EQ(FormatDataLine(0.0, 0.0), "0.00\ts\t0\tuA\n");
  EXPECT_EQ(FormatDataLine(1.005, 1.05), "1.00\ts\t1.05e+06\tuA\n");
  EXPECT_EQ(FormatDataLine(3600.0, 2.5e-11), "3600.00\ts\t2.5e-05\tuA\n");
  EXPECT_EQ(FormatDataLine(1.0, -2e-6), "1.00\ts\t-2\tuA\n");
  EXPECT_EQ(FormatDataLine(9999999.999, 1.234567e-3), "10000000.00\ts\t1234.57\tuA\n");
}

}  // namespace
