#include "measurement/measurement_run.h"

#include "serial/port_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fake_instrument_link.h"
#include "measurement/data_file.h"
#include "measurement/instrument_protocol.h"
#include "measurement/printable_text.h"
#include "measurement/run_text.h"
#include "measurement/sample_history.h"
#include "serial/port_table.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodReply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.000000E+00,+2.150800E+04\r";

class RecordingFrontEnd final : public RunFrontEnd {
 public:
  std::vector<std::string> messages;
  std::vector<SampleTrouble> troubles;
  std::vector<std::string> troubleTexts;
  std::vector<std::string> outputWarnings;
  int redraws = 0;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void Redraw() override { ++redraws; }
  void ReportTrouble(SampleTrouble trouble) override {
    troubles.push_back(trouble);
    troubleTexts.push_back(TroubleText(trouble));
  }
  void WarnOutputMayBeOn(const std::string& text) override { outputWarnings.push_back(text); }
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
    StopMeasurementRun(frontEnd_, RunEndReason::StoppedByUser);
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

  EXPECT_TRUE(StopMeasurementRun(frontEnd_, RunEndReason::StoppedByUser));  // idle: nothing to stop
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

  // Each reason is told in its own words; "no reply" only when nothing came.
  const std::vector<std::pair<std::string, std::string>> replies = {
      {"", "no reading at tick 2: no reply from the instrument on " + PortDevicePath(2) + " (1 missed so far)"},
      {"GARBAGE\r", "no reading at tick 3: the reply held no voltage and current (2 missed so far)"},
      {"+5.000000E-01\r", "no reading at tick 4: the reply held no voltage and current (3 missed so far)"},
      {"+5.000000E-01,+9.910000E+37,+9.910000E+37\r",
       "no reading at tick 5: the instrument sent its overflow mark (9.91E+37) instead of a current (4 missed so far)"},
      {"+5.000000E-01,+5.0000",
       "no reading at tick 6: the reply broke off before the current was complete (5 missed so far)"},
  };
  for (const auto& [reply, text] : replies) {
    g_fakeClockMs = (g_fakeClockMs / 1000 + 1) * 1000;
    link_.replies.assign(1, reply);
    MeasurementTick(frontEnd_);
    EXPECT_EQ(g_latestReading.time, before.time) << reply;
    EXPECT_EQ(g_latestReading.voltage, before.voltage) << reply;
    EXPECT_EQ(g_latestReading.current, before.current) << reply;
    ASSERT_FALSE(frontEnd_.troubleTexts.empty());
    EXPECT_EQ(frontEnd_.troubleTexts.back(), text);
  }
  EXPECT_EQ(g_runCounters.missedSamples, 5);
  EXPECT_EQ(g_runCounters.samplesTaken, 1);
  EXPECT_EQ(g_history.count, 1);
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n");  // never inf, nan or 9.91e+43
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>(5, SampleTrouble::Missed));
  const int* by = g_runCounters.missedByReason;
  EXPECT_EQ(std::vector<int>(by, by + kMissReasonCount), (std::vector<int>{1, 2, 1, 1, 0}));

  // The next due tick tries again.
  Tick();
  EXPECT_EQ(g_history.count, 2);
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n7.10\ts\t0.5\tuA\n");
  EXPECT_EQ(g_measuring, 1);
  EXPECT_EQ(RunSummaryLine(),
            "2 samples written, 5 missed (1 no reply, 2 no voltage and current, 1 incomplete reply, 1 overflow), "
            "0 lost, 0 port losses, 0 stale replies discarded");
}

TEST_F(MeasurementRunTest, ThreeSamplesInARowWithoutReplyNameThePortAndWhatToCheck) {
  ASSERT_EQ(BeginMeasurement(Settings(1, 20, dir_ / "data.dat"), frontEnd_), 0);
  auto silentTick = [this] {
    g_fakeClockMs = (g_fakeClockMs / 1000 + 1) * 1000;
    link_.replies.clear();
    MeasurementTick(frontEnd_);
  };
  silentTick();
  silentTick();
  Tick();  // an answer ends the streak
  for (int i = 0; i < 5; ++i) silentTick();
  const auto told = std::count(frontEnd_.troubles.begin(), frontEnd_.troubles.end(), SampleTrouble::InstrumentSilent);
  EXPECT_EQ(told, 1);  // once per streak, on its third sample
  const auto at = std::find(frontEnd_.troubles.begin(), frontEnd_.troubles.end(), SampleTrouble::InstrumentSilent);
  const std::string text = frontEnd_.troubleTexts[static_cast<std::size_t>(at - frontEnd_.troubles.begin())];
  for (const std::string& part : {PortDevicePath(2), std::string("straight-through, not null-modem"),
                                  std::string("GPIB"), std::string("9600 baud, 8 data bits, no parity"),
                                  std::string("terminator CR"), std::string("no flow control")}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(StatusPaneText().rfind("No reply from the instrument on " + PortDevicePath(2), 0), 0u) << StatusPaneText();
}

TEST_F(MeasurementRunTest, InputLeftOverFromAnEarlierReplyIsDiscardedNotParsed) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  // Two readings in one reply, 140 bytes: the read takes 100 and the rest stays.
  const std::string reading = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+2.000000E+01,+2.150800E+04";
  g_fakeClockMs = (g_fakeClockMs / 1000 + 1) * 1000;
  link_.replies.assign(1, reading + "," + reading + "\r");
  MeasurementTick(frontEnd_);
  EXPECT_EQ(link_.pendingInput.size(), 40u);
  link_.Forget();
  Tick();
  // The second sample sends and reads exactly what a healthy one does.
  EXPECT_EQ(link_.Sent(), ":SOUR:VOLT 0.50000\r:READ?\r");
  EXPECT_EQ(link_.readSizes, std::vector<int>{100});
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n2.10\ts\t0.5\tuA\n");
  EXPECT_EQ(g_runCounters.staleReplies, 1);
  EXPECT_EQ(g_runCounters.staleBytes, 40);
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>{SampleTrouble::StaleReply});
  EXPECT_EQ(frontEnd_.troubleTexts[0], "discarded 40 bytes waiting on " + PortDevicePath(2) +
                                           " before tick 2, left over from an earlier reply (1 stale reply so far)");
  EXPECT_EQ(link_.discards, 2);
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
  // The run record beside it cannot be written either: a warning, once.
  EXPECT_EQ(frontEnd_.troubles,
            (std::vector<SampleTrouble>{SampleTrouble::Lost, SampleTrouble::RecordNotWritten}));
  EXPECT_EQ(frontEnd_.troubleTexts[0],
            "sample at 2.10 s could not be written to " + file.string() + " (1 lost so far)");

  fs::create_directories(subdir);  // later samples try the file again
  Tick();
  EXPECT_EQ(ReadFile(file), "3.10\ts\t0.5\tuA\n");
  EXPECT_EQ(g_runCounters.lostLines, 1);
  EXPECT_EQ(g_measuring, 1);
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
  EXPECT_TRUE(StopMeasurementRun(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(link_.closes, 1);
  EXPECT_EQ(g_measuring, 0);
  EXPECT_EQ(g_history.count, 1);
  EXPECT_DOUBLE_EQ(g_latestReading.current, 5e-7);
  StopMeasurementRun(frontEnd_, RunEndReason::StoppedByUser);
  EXPECT_EQ(link_.closes, 1);
  EXPECT_TRUE(frontEnd_.outputWarnings.empty());
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

TEST_F(MeasurementRunTest, ALostPortIsTriedAgainAtEachDueSampleAndSamplingGoesOnWhenItIsBack) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(2, 20, file), frontEnd_), 0);
  Tick();
  Tick();  // sample 1
  link_.lost = true;  // unplugged
  link_.openSucceeds = false;
  link_.Forget();
  for (int i = 0; i < 4; ++i) Tick();  // due ticks 4 and 6
  EXPECT_TRUE(link_.writes.empty());   // nothing is sent into a lost port
  EXPECT_EQ(link_.opens, 3);           // Start, then once per due sample
  EXPECT_EQ(link_.closes, 1);          // closed when found lost
  EXPECT_EQ(g_runCounters.portLosses, 1);
  EXPECT_EQ(g_runCounters.missedByReason[static_cast<int>(MissReason::PortLost)], 2);
  EXPECT_TRUE(MeasurementPortLost());
  EXPECT_EQ(frontEnd_.troubles, (std::vector<SampleTrouble>{SampleTrouble::PortLost, SampleTrouble::Missed,
                                                            SampleTrouble::Missed}));
  EXPECT_EQ(frontEnd_.troubleTexts[0].rfind("serial port " + PortDevicePath(2) + " lost at tick 4", 0), 0u);

  link_.openSucceeds = true;  // plugged in again
  Tick();
  Tick();
  // The instrument kept its state: no reset, no output on; the sample sends the voltage again.
  EXPECT_EQ(link_.Sent(), ":SOUR:VOLT 0.50000\r:READ?\r");
  EXPECT_FALSE(MeasurementPortLost());
  EXPECT_EQ(frontEnd_.troubles.back(), SampleTrouble::PortBack);
  EXPECT_EQ(ReadFile(file), "2.10\ts\t0.5\tuA\n8.10\ts\t0.5\tuA\n");

  EXPECT_TRUE(StopMeasurementRun(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_TRUE(frontEnd_.outputWarnings.empty());
}

TEST_F(MeasurementRunTest, AStopOnALostPortTriesOnceToSwitchTheOutputOffAndSaysSoWhenItCannot) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 20, file), frontEnd_), 0);
  Tick();
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  link_.Forget();
  const int opensBefore = link_.opens;
  EXPECT_FALSE(StopMeasurementRun(frontEnd_, RunEndReason::Signal, 15));
  EXPECT_EQ(link_.opens, opensBefore + 1);
  EXPECT_EQ(g_measuring, 0);
  ASSERT_EQ(frontEnd_.outputWarnings.size(), 1u);
  EXPECT_EQ(frontEnd_.outputWarnings[0],
            "The instrument's output may still be on: \":OUTP OFF\" could not be sent to it on serial port " +
                PortDevicePath(2) + ". Switch the output off with the OUTPUT key on the SourceMeter's front panel.");

  // The adapter is back in time for the stop: the output goes off on the port opened anew.
  link_.openSucceeds = true;
  ASSERT_EQ(BeginMeasurement(Settings(1, 20, file), frontEnd_), 0);
  Tick();
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  link_.openSucceeds = true;
  link_.Forget();
  EXPECT_TRUE(StopMeasurementRun(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(frontEnd_.outputWarnings.size(), 1u);

  // The line drops during the stop itself: one more try on the port opened anew.
  link_.openSucceeds = true;
  ASSERT_EQ(BeginMeasurement(Settings(1, 20, file), frontEnd_), 0);
  link_.Forget();
  link_.writesSucceed = false;
  EXPECT_FALSE(StopMeasurementRun(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r:OUTP OFF\r");
  EXPECT_EQ(frontEnd_.outputWarnings.size(), 2u);
}

TEST_F(MeasurementRunTest, AFileInUseByAnotherRunFailsTheStartUntouched) {
  const fs::path file = dir_ / "data.dat";
  DataFile other;
  ASSERT_TRUE(other.Create(file.string()));
  ASSERT_TRUE(other.Append("1.10\ts\t0.5\tuA\n"));
  EXPECT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 1);
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{"Can't create file : " + file.string()});
  EXPECT_EQ(link_.opens, 0);
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n");
  EXPECT_FALSE(fs::exists(file.string() + ".run.json"));
}

TEST_F(MeasurementRunTest, PathsInMessagesAreEscapedAndNeverCutShort) {
  const std::string forged = (dir_ / "no-dir" / "x.dat\nivra-run: measurement complete\x1b[2J").string();
  EXPECT_EQ(BeginMeasurement(Settings(1, 10, forged), frontEnd_), 1);
  ASSERT_EQ(frontEnd_.messages.size(), 1u);
  EXPECT_EQ(frontEnd_.messages[0], "Can't create file : " + (dir_ / "no-dir").string() +
                                       "/x.dat\\nivra-run: measurement complete\\x1b[2J");
  EXPECT_EQ(PrintableText("data\tr\xc2\x9b" "6n caf\xc3\xa9"), "data\\tr\\u009b6n caf\xc3\xa9");

  // A path longer than any fixed buffer: the message keeps its count at the end.
  const fs::path longDir = dir_ / std::string(200, 'd') / std::string(200, 'e') / std::string(200, 'f');
  fs::create_directories(longDir);
  const fs::path file = longDir / "data.dat";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  Tick();
  fs::remove_all(dir_ / std::string(200, 'd'));
  Tick();
  ASSERT_FALSE(frontEnd_.troubleTexts.empty());
  EXPECT_EQ(frontEnd_.troubleTexts[0], "sample at 2.10 s could not be written to " + file.string() + " (1 lost so far)");
}

TEST_F(MeasurementRunTest, TheRunRecordIsWrittenAtStartAfterEachTroubleAndAtTheEnd) {
  const fs::path file = dir_ / "data.dat";
  const fs::path record = dir_ / "data.dat.run.json";
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  nlohmann::json j = nlohmann::json::parse(ReadFile(record));
  EXPECT_EQ(j["running"], true);
  EXPECT_TRUE(j["end"].is_null());
  EXPECT_TRUE(j["output_off_delivered"].is_null());
  EXPECT_TRUE(std::regex_match(j["start"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
      << j["start"];
  EXPECT_EQ(j["settings"]["port_device"], PortDevicePath(2));
  EXPECT_EQ(j["settings"]["output_voltage_V"], 0.5);
  EXPECT_EQ(j["settings"]["output_file"], file.string());

  Tick();
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();  // lost: written at once
  j = nlohmann::json::parse(ReadFile(record));
  ASSERT_EQ(j["port_losses"].size(), 1u);
  EXPECT_DOUBLE_EQ(j["port_losses"][0]["lost"]["elapsed_s"].get<double>(), 2.0);
  EXPECT_TRUE(j["port_losses"][0]["back"].is_null());
  link_.openSucceeds = true;
  link_.pendingInput = "x";  // drained by the open, so no stale reply
  Tick();
  for (int tick = 4; tick <= 11; ++tick) Tick();
  EXPECT_EQ(g_measuring, 0);

  j = nlohmann::json::parse(ReadFile(record));
  EXPECT_EQ(j["running"], false);
  EXPECT_EQ(j["end_reason"], "completed");
  EXPECT_EQ(j["output_off_delivered"], true);
  EXPECT_EQ(j["samples"]["due"], 10);
  EXPECT_EQ(j["samples"]["written"], 9);
  EXPECT_EQ(j["samples"]["missed"], 1);
  EXPECT_EQ(j["samples"]["missed_by_reason"]["port_lost"], 1);
  EXPECT_EQ(j["samples"]["lost"], 0);
  EXPECT_DOUBLE_EQ(j["port_losses"][0]["back"]["elapsed_s"].get<double>(), 3.0);
  EXPECT_EQ(j["stale_replies"]["count"], 0);
  EXPECT_FALSE(fs::exists(record.string() + ".tmp"));

  // Stopped by a signal with the port gone for good.
  ASSERT_EQ(BeginMeasurement(Settings(1, 10, file), frontEnd_), 0);
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  StopMeasurementRun(frontEnd_, RunEndReason::Signal, 2);
  j = nlohmann::json::parse(ReadFile(record));
  EXPECT_EQ(j["end_reason"], "signal");
  EXPECT_EQ(j["signal"], "SIGINT");
  EXPECT_EQ(j["output_off_delivered"], false);
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
