#include "run/measurement_run.h"
#include "text/run_front_end.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "datafile/data_file.h"
#include "fake_clock.h"
#include "fake_instrument_link.h"
#include "instrument/instrument_protocol.h"
#include "run/sample_history.h"
#include "serial/port_table.h"
#include "text/printable_text.h"
#include "text/run_text.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodReply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.000000E+00,+2.150800E+04\r";

class RecordingFrontEnd final : public RunFrontEnd {
 public:
  std::vector<std::string> messages;
  std::vector<SampleTrouble> troubles;
  std::vector<std::string> troubleTexts;
  std::vector<SnapshotPtr> troubleSnapshots;
  std::vector<std::string> outputWarnings;
  int redraws = 0;
  const MeasurementRun* run = nullptr;  // when set, what each Redraw finds published
  std::vector<SnapshotPtr> redrawSnapshots;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void Redraw() override {
    ++redraws;
    if (run != nullptr) redrawSnapshots.push_back(run->Snapshot());
  }
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override {
    troubles.push_back(trouble);
    troubleTexts.push_back(TroubleText(trouble, *snapshot));
    troubleSnapshots.push_back(snapshot);
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
    dir_ = fs::temp_directory_path() / ("ivra-run-test-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
    fs::remove_all(dir_);
  }

  MeasurementSettings Settings(int interval, int time, const fs::path& file) {
    MeasurementSettings s;
    s.portNumber = 2;
    s.portPath = DefaultPortDevicePath(2);
    s.sampleInterval = interval;
    s.measurementTime = time;
    s.outputVoltage = 0.5;
    s.outputPath = file.string();
    return s;
  }

  // One timer tick on the next whole second of the fake clock; a due sample gets a good reply.
  void Tick() {
    NextSecond();
    link_.replies.assign(1, kGoodReply);
    run_.Tick(frontEnd_);
  }
  void NextSecond() { clock_.nowMs = (clock_.nowMs / 1000 + 1) * 1000; }

  void Forget() {
    link_.Forget();
    clock_.delays.clear();
  }

  // A measurement of one sample into its own file, stopped: what a run shows
  // before its next Start. The fake's counts start again from zero.
  void LeaveOneSampleFromAnEarlierRun() {
    ASSERT_EQ(run_.Begin(Settings(1, 10, dir_ / "earlier.dat"), frontEnd_), 0);
    Tick();
    run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
    ASSERT_EQ(run_.Snapshot()->history.count, 1);
    Forget();
    link_.opens = link_.closes = link_.discards = 0;
    frontEnd_.messages.clear();
    frontEnd_.troubles.clear();
    frontEnd_.troubleTexts.clear();
    frontEnd_.troubleSnapshots.clear();
    frontEnd_.redraws = 0;
  }

  SnapshotPtr Now() const { return run_.Snapshot(); }

  fs::path dir_;
  std::unique_ptr<FakeInstrumentLink> ownedLink_ = std::make_unique<FakeInstrumentLink>();
  FakeInstrumentLink& link_ = *ownedLink_;
  std::unique_ptr<FakeClock> ownedClock_ = std::make_unique<FakeClock>(10'000);
  FakeClock& clock_ = *ownedClock_;
  MeasurementRun run_{std::move(ownedLink_), std::move(ownedClock_)};
  RecordingFrontEnd frontEnd_;
};

TEST_F(MeasurementRunTest, StartCreatesTheFileEmptyOpensThePortAndSwitchesTheOutputOn) {
  const fs::path file = dir_ / "data.dat";
  std::ofstream(file) << "old contents\n";
  LeaveOneSampleFromAnEarlierRun();
  clock_.nowMs = 20'000;

  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  EXPECT_TRUE(Now()->Measuring());
  EXPECT_EQ(Now()->tickCount, 0);
  EXPECT_DOUBLE_EQ(run_.StartTime(), 20.0);
  EXPECT_EQ(link_.lastOpenedPath, DefaultPortDevicePath(2));
  EXPECT_EQ(Now()->settings.portPath, DefaultPortDevicePath(2));  // what a reopen goes back to
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(Now()->history.count, 0);
  EXPECT_EQ(Now()->latest.current, 5e-7);  // the last reading stays on show
  EXPECT_EQ(link_.Sent(), "*RST\r:OUTP ON\r");
  EXPECT_TRUE(link_.AllWritesSingleBytes());
  EXPECT_TRUE(link_.readSizes.empty());
  EXPECT_TRUE(frontEnd_.messages.empty());
  EXPECT_GE(frontEnd_.redraws, 1);
}

TEST_F(MeasurementRunTest, SettingsAwayFromTheirDefaultsGoBetweenResetAndOutputOnWithOneErrorQuery) {
  const fs::path file = dir_ / "data.dat";
  MeasurementSettings settings = Settings(1, 10, file);
  settings.instrument.currentLimit = 1e-3;
  settings.instrument.currentRange = 1e-3;
  settings.instrument.nplc = 0.1;
  settings.instrument.autoZero = AutoZero::Off;
  settings.instrument.baud = 19200;
  link_.replies.assign(1, "0,\"No error\"\r");
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  EXPECT_EQ(link_.Sent(),
            "*RST\r:SENS:CURR:PROT 0.001\r:SENS:CURR:RANG 0.001\r:SENS:CURR:NPLC 0.1\r:SYST:AZER OFF\r:SYST:ERR?\r"
            ":OUTP ON\r");
  EXPECT_TRUE(link_.AllWritesSingleBytes());
  EXPECT_EQ(link_.baud, 19200);
  EXPECT_TRUE(Now()->Measuring());
  run_.Stop(frontEnd_, RunEndReason::StoppedByUser);

  // Only what differs goes; the baud rate never sends a command.
  settings.instrument = InstrumentSettings{};
  settings.instrument.autoZero = AutoZero::Once;
  settings.instrument.baud = 300;
  Forget();
  link_.replies.assign(1, "0,\"No error\"\r");
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  EXPECT_EQ(link_.Sent(), "*RST\r:SYST:AZER ONCE\r:SYST:ERR?\r:OUTP ON\r");
  run_.Stop(frontEnd_, RunEndReason::StoppedByUser);

  // A refused setting: the instrument's own words, the output never on, nothing in the file.
  settings.instrument = InstrumentSettings{};
  settings.instrument.currentRange = 1.0;
  Forget();
  link_.replies.assign(1, "+824,\"Cannot exceed compliance range\"\r");
  EXPECT_EQ(run_.Begin(settings, frontEnd_), 1);
  EXPECT_EQ(link_.Sent(), "*RST\r:SENS:CURR:RANG 1\r:SYST:ERR?\r");
  EXPECT_FALSE(Now()->Measuring());
  ASSERT_EQ(frontEnd_.messages.size(), 1u);
  EXPECT_EQ(frontEnd_.messages.back(),
            "The instrument on serial port " + DefaultPortDevicePath(2) +
                " refused a setting: error +824, \"Cannot exceed compliance range\". Its output was not switched on. "
                "Check the values in Setup > Instrument (ivra-run: --current-limit, --current-range, --nplc, "
                "--autozero).");
  EXPECT_EQ(fs::file_size(file), 0u);
  Tick();
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(link_.Sent().find(":OUTP ON"), std::string::npos);

  // No answer (a baud rate that does not match): what to check, at the rate used.
  settings.instrument.baud = 4800;
  Forget();
  link_.replies.clear();
  EXPECT_EQ(run_.Begin(settings, frontEnd_), 1);
  ASSERT_EQ(frontEnd_.messages.size(), 2u);
  EXPECT_EQ(frontEnd_.messages.back().rfind("No answer to \":SYST:ERR?\" from the instrument on serial port ", 0), 0u);
  EXPECT_NE(frontEnd_.messages.back().find("; 4800 baud, 8 data bits"), std::string::npos);
  EXPECT_EQ(link_.Sent().find(":OUTP ON"), std::string::npos);
}

TEST_F(MeasurementRunTest, SamplesFallOnMultiplesOfTheIntervalAndTheRunStopsAfterItsTime) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(3, 10, file), frontEnd_), 0);
  Forget();

  std::vector<int> sampleTicks;
  for (int tick = 1; tick <= 10; ++tick) {
    const std::size_t before = link_.writes.size();
    Tick();
    if (link_.writes.size() != before) sampleTicks.push_back(tick);
    EXPECT_TRUE(Now()->Measuring()) << "tick " << tick;
  }
  EXPECT_EQ(sampleTicks, (std::vector<int>{3, 6, 9}));
  EXPECT_EQ(link_.closes, 0);

  const std::size_t before = link_.writes.size();
  Tick();  // tick 11
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(link_.Sent().substr(link_.Sent().size() - 10), ":OUTP OFF\r");
  EXPECT_EQ(link_.writes.size() - before, 10u);
  EXPECT_EQ(link_.closes, 1);

  // Set voltage, reading request, then the read after a 100 ms wait, per sample.
  const std::string sample = ":SOUR:VOLT 0.50000\r:READ?\r";
  EXPECT_EQ(link_.Sent(), sample + sample + sample + ":OUTP OFF\r");
  EXPECT_EQ(link_.readSizes, (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(clock_.delays, (std::vector<int>{100, 100, 100}));

  // Time stamps are taken after the reply: tick time plus the 100 ms wait.
  EXPECT_EQ(ReadFile(file), "3.10\ts\t0.5\tuA\n6.10\ts\t0.5\tuA\n9.10\ts\t0.5\tuA\n");
  EXPECT_EQ(Now()->history.count, 3);
  EXPECT_DOUBLE_EQ(Now()->history.rows[0][2], 9.1);
  EXPECT_DOUBLE_EQ(Now()->history.rows[1][2], 5e-7);
  EXPECT_DOUBLE_EQ(Now()->history.rows[2][2], 0.5);
  EXPECT_EQ(Now()->counters.samplesTaken, 3);

  // After the stop ticks only reset the count.
  Forget();
  Tick();
  EXPECT_EQ(Now()->tickCount, 0);
  EXPECT_TRUE(link_.writes.empty());
}

TEST_F(MeasurementRunTest, IntervalLongerThanTheTimeTakesNoSample) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1000, 10, file), frontEnd_), 0);
  Forget();
  for (int tick = 1; tick <= 10; ++tick) Tick();
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_TRUE(Now()->Measuring());
  Tick();
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(fs::file_size(file), 0u);
}

TEST_F(MeasurementRunTest, AnIdleTickSendsNothingAndTouchesNoFile) {
  // A run stopped at tick 7, whose file has gone since.
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  for (int tick = 1; tick <= 7; ++tick) Tick();
  run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
  ASSERT_EQ(Now()->tickCount, 7);
  fs::remove(file);
  Forget();
  link_.closes = 0;
  frontEnd_.redraws = 0;

  run_.Tick(frontEnd_);
  EXPECT_EQ(Now()->tickCount, 0);
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_TRUE(link_.readSizes.empty());
  EXPECT_EQ(frontEnd_.redraws, 0);
  EXPECT_FALSE(fs::exists(file));

  EXPECT_TRUE(run_.Stop(frontEnd_, RunEndReason::StoppedByUser));  // idle: nothing to stop
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_EQ(link_.closes, 0);
}

TEST_F(MeasurementRunTest, ASecondStartIntoTheSameFileEmptiesItFirst) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  for (int tick = 1; tick <= 11; ++tick) Tick();
  EXPECT_EQ(LineCount(ReadFile(file)), 10);
  EXPECT_EQ(Now()->history.count, 10);

  ASSERT_EQ(run_.Begin(Settings(5, 10, file), frontEnd_), 0);
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(Now()->history.count, 0);
  EXPECT_EQ(Now()->counters.samplesTaken, 0);
  for (int tick = 1; tick <= 5; ++tick) Tick();
  EXPECT_EQ(ReadFile(file), "5.10\ts\t0.5\tuA\n");
  EXPECT_EQ(link_.opens, 2);
}

TEST_F(MeasurementRunTest, AFileRemovedDuringTheRunIsCreatedAgain) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  Tick();
  Tick();
  fs::remove(file);
  Tick();
  Tick();
  EXPECT_EQ(ReadFile(file), "3.10\ts\t0.5\tuA\n4.10\ts\t0.5\tuA\n");
  EXPECT_EQ(Now()->counters.lostLines, 0);
}

TEST_F(MeasurementRunTest, AFileThatCannotBeCreatedStopsTheStartBeforeThePort) {
  LeaveOneSampleFromAnEarlierRun();
  const fs::path file = dir_ / "missing-dir" / "data.dat";
  EXPECT_EQ(run_.Begin(Settings(7, 20, file), frontEnd_), 1);
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{"Can't create file : " + file.string() + "\nThe folder " +
                                                         (dir_ / "missing-dir").string() +
                                                         " does not exist. Create it first, or choose a file in a "
                                                         "folder that exists."});
  EXPECT_EQ(link_.opens, 0);
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(Now()->settings.portNumber, 2);  // the accepted settings stay
  EXPECT_EQ(Now()->settings.sampleInterval, 7);
  EXPECT_EQ(Now()->history.count, 1);

  frontEnd_.messages.clear();
  EXPECT_EQ(run_.Begin(Settings(1, 10, ""), frontEnd_), 1);
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{"Can't create file : \nNo file name was given. Enter the "
                                                         "name of the data file, e.g. run1.dat."});
  EXPECT_EQ(link_.opens, 0);
}

TEST_F(MeasurementRunTest, APortThatCannotBeOpenedLeavesTheFileEmptyAndTheRunIdle) {
  const fs::path file = dir_ / "data.dat";
  std::ofstream(file) << "old contents\n";
  LeaveOneSampleFromAnEarlierRun();
  link_.openSucceeds = false;
  link_.openFailure.problem = PortOpenProblem::Busy;
  link_.openFailure.holder = "minicom (pid 4711)";

  MeasurementSettings settings = Settings(1, 10, file);
  settings.portPath = "/dev/ttyUSB0";  // the device is opened as given
  EXPECT_EQ(run_.Begin(settings, frontEnd_), 1);
  EXPECT_EQ(link_.lastOpenedPath, "/dev/ttyUSB0");
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{"Can't open serial port\n"
                                                         "Port: /dev/ttyUSB0\n"
                                                         "Another program is using this port: minicom (pid 4711).\n"
                                                         "Close that program, then start again."});
  EXPECT_EQ(link_.opens, 1);
  EXPECT_TRUE(link_.writes.empty());
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(Now()->history.count, 1);
  Tick();
  EXPECT_TRUE(link_.writes.empty());

  // A device that is not there: the message lists the ports the machine has.
  link_.openFailure = PortOpenError{};
  link_.openFailure.problem = PortOpenProblem::NoSuchDevice;
  run_.SetPortLister([] {
    SerialPortInfo port;
    port.device = "/dev/ttyACM3";
    return std::vector<SerialPortInfo>{port};
  });
  frontEnd_.messages.clear();
  EXPECT_EQ(run_.Begin(settings, frontEnd_), 1);
  ASSERT_EQ(frontEnd_.messages.size(), 1u);
  EXPECT_NE(frontEnd_.messages[0].find("Port: /dev/ttyUSB0\nThere is no such device."), std::string::npos)
      << frontEnd_.messages[0];
  EXPECT_NE(frontEnd_.messages[0].find("\nSerial ports found on this computer:\n    /dev/ttyACM3"), std::string::npos)
      << frontEnd_.messages[0];
}

TEST_F(MeasurementRunTest, ASampleWithoutAReadingIsCountedAsMissedAndNotLogged) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  Tick();  // a good sample first
  const LatestReading before = Now()->latest;

  // Each reason is told in its own words; "no reply" only when nothing came.
  const std::vector<std::pair<std::string, std::string>> replies = {
      {"", "no reading at tick 2: no reply from the instrument on " + DefaultPortDevicePath(2) + " (1 missed so far)"},
      {"GARBAGE\r", "no reading at tick 3: the reply held no voltage and current (2 missed so far)"},
      {"+5.000000E-01\r", "no reading at tick 4: the reply held no voltage and current (3 missed so far)"},
      {"+5.000000E-01,+9.910000E+37,+9.910000E+37,+1.000000E+00,+0.000000E+00\r",
       "no reading at tick 5: the instrument sent its overflow mark (9.91E+37) instead of a current (4 missed so far)"},
      {"+5.000000E-01,+5.0000",
       "no reading at tick 6: the reply broke off before the current was complete (5 missed so far)"},
  };
  for (const auto& [reply, text] : replies) {
    NextSecond();
    link_.replies.assign(1, reply);
    run_.Tick(frontEnd_);
    EXPECT_EQ(Now()->latest.time, before.time) << reply;
    EXPECT_EQ(Now()->latest.voltage, before.voltage) << reply;
    EXPECT_EQ(Now()->latest.current, before.current) << reply;
    ASSERT_FALSE(frontEnd_.troubleTexts.empty());
    EXPECT_EQ(frontEnd_.troubleTexts.back(), text);
  }
  EXPECT_EQ(Now()->counters.missedSamples, 5);
  EXPECT_EQ(Now()->counters.samplesTaken, 1);
  EXPECT_EQ(Now()->history.count, 1);
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n");  // never inf, nan or 9.91e+43
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>(5, SampleTrouble::Missed));
  const int* by = Now()->counters.missedByReason;
  EXPECT_EQ(std::vector<int>(by, by + kMissReasonCount), (std::vector<int>{1, 2, 1, 1, 0, 0, 0, 0, 0}));

  // The next due tick tries again.
  Tick();
  EXPECT_EQ(Now()->history.count, 2);
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n7.10\ts\t0.5\tuA\n");
  EXPECT_TRUE(Now()->Measuring());
  EXPECT_EQ(RunSummaryLine(*Now()),
            "2 samples written, 5 missed (1 no reply, 2 no voltage and current, 1 incomplete reply, 1 overflow), "
            "0 lost, 0 port losses, 0 stale replies discarded");
}

TEST_F(MeasurementRunTest, ReadingsInComplianceAreWrittenAsMeasuredCountedAndToldOncePerStreak) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 20, file), frontEnd_), 0);
  const std::string held = "+4.900000E-02,+1.050000E-04,+9.910000E+37,+1.000000E+00,+1.946400E+04\r";
  const std::string garbled =
      "+5.000000E-01,+5\xae"
      "000000E-07,+9.910000E+37,+1.000000E+00,+1.946400E+04\r";
  // Due samples 1..7: held, held, garbled (a miss does not end the streak), held, free, held, held.
  for (const std::string& reply : {held, held, garbled, held, std::string(kGoodReply), held, held}) {
    NextSecond();
    link_.replies.assign(1, reply);
    run_.Tick(frontEnd_);
  }
  EXPECT_EQ(ReadFile(file),
            "1.10\ts\t105\tuA\n2.10\ts\t105\tuA\n4.10\ts\t105\tuA\n5.10\ts\t0.5\tuA\n"
            "6.10\ts\t105\tuA\n7.10\ts\t105\tuA\n");
  EXPECT_EQ(std::count(frontEnd_.troubles.begin(), frontEnd_.troubles.end(), SampleTrouble::InCompliance), 2);
  EXPECT_EQ(frontEnd_.troubleTexts.front(),
            "in compliance at tick 1: the current is held at the limit of 105 uA and the voltage across the device "
            "is below the set value; the samples are written as measured. Raise the current limit (Setup > "
            "Instrument, or ivra-run --current-limit)");
  EXPECT_EQ(frontEnd_.troubleTexts[1],
            "no reading at tick 3: a garbled reply: not the elements asked for, a byte that belongs to no number, "
            "or a value the instrument cannot send (1 missed so far)");
  EXPECT_EQ(Now()->counters.samplesInCompliance, 5);
  EXPECT_EQ(Now()->counters.complianceStreaks, 2);
  EXPECT_TRUE(Now()->latest.inCompliance);
  EXPECT_EQ(StatusPaneText(*Now()),
            "Missed samples: 1  Lost lines: 0  In compliance: 5 samples. The current is held at the limit; the "
            "voltage across the device is below the set value. Raise the current limit in Setup > Instrument.");
  run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
  EXPECT_EQ(RunSummaryLine(*Now()),
            "6 samples written, 1 missed (1 garbled reply), 0 lost, 0 port losses, 0 stale replies discarded, "
            "5 in compliance");

  const nlohmann::json j = nlohmann::json::parse(ReadFile(dir_ / "data.dat.run.json"));
  EXPECT_EQ(j["samples"]["missed_by_reason"]["garbled_reply"], 1);
  EXPECT_EQ(j["compliance"]["samples"], 5);
  ASSERT_EQ(j["compliance"]["streaks"].size(), 2u);
  EXPECT_EQ(j["compliance"]["streaks"][0]["first"]["sample"], 1);
  EXPECT_EQ(j["compliance"]["streaks"][0]["last"]["sample"], 4);
  EXPECT_DOUBLE_EQ(j["compliance"]["streaks"][0]["last"]["elapsed_s"].get<double>(), 4.1);
  EXPECT_EQ(j["compliance"]["streaks"][1]["first"]["sample"], 6);
  EXPECT_EQ(j["compliance"]["streaks"][1]["last"]["sample"], 7);
  EXPECT_FALSE(j["compliance"]["streaks"][1]["last"]["at"].get<std::string>().empty());

  // A new run starts without a streak.
  ASSERT_EQ(run_.Begin(Settings(1, 20, file), frontEnd_), 0);
  frontEnd_.troubles.clear();
  NextSecond();
  link_.replies.assign(1, held);
  run_.Tick(frontEnd_);
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>{SampleTrouble::InCompliance});
  EXPECT_EQ(Now()->counters.samplesInCompliance, 1);
}

TEST_F(MeasurementRunTest, ThreeSamplesInARowWithoutReplyNameThePortAndWhatToCheck) {
  ASSERT_EQ(run_.Begin(Settings(1, 20, dir_ / "data.dat"), frontEnd_), 0);
  auto silentTick = [this] {
    NextSecond();
    link_.replies.clear();
    run_.Tick(frontEnd_);
  };
  silentTick();
  silentTick();
  Tick();  // an answer ends the streak
  for (int i = 0; i < 5; ++i) silentTick();
  const auto told = std::count(frontEnd_.troubles.begin(), frontEnd_.troubles.end(), SampleTrouble::InstrumentSilent);
  EXPECT_EQ(told, 1);  // once per streak, on its third sample
  const auto at = std::find(frontEnd_.troubles.begin(), frontEnd_.troubles.end(), SampleTrouble::InstrumentSilent);
  const std::string text = frontEnd_.troubleTexts[static_cast<std::size_t>(at - frontEnd_.troubles.begin())];
  for (const std::string& part : {DefaultPortDevicePath(2), std::string("straight-through, not null-modem"),
                                  std::string("GPIB"), std::string("9600 baud, 8 data bits, no parity"),
                                  std::string("terminator CR"), std::string("no flow control")}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  const std::string pane = StatusPaneText(*Now());
  EXPECT_EQ(pane.rfind("No reply from the instrument on " + DefaultPortDevicePath(2), 0), 0u) << pane;
}

// With parity the line marks a damaged byte; the sample is a miss of its own
// kind, and the format is what the checks of a silent instrument name.
TEST_F(MeasurementRunTest, ParityReachesTheLineAndAMarkedByteIsALineError) {
  const fs::path file = dir_ / "data.dat";
  MeasurementSettings settings = Settings(1, 10, file);
  settings.instrument.lineFormat = LineFormat{Parity::Even, 7};
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  EXPECT_EQ(link_.Sent(), "*RST\r:OUTP ON\r");  // the format is the line's, never a command
  EXPECT_EQ(link_.lineFormat, (LineFormat{Parity::Even, 7}));
  std::string marked = kGoodReply;
  marked.insert(20, std::string("\xff\0", 2));
  for (const std::string& reply : {marked, std::string(kGoodReply), std::string()}) {
    NextSecond();
    link_.replies.assign(1, reply);
    run_.Tick(frontEnd_);
  }
  EXPECT_EQ(ReadFile(file), "2.10\ts\t0.5\tuA\n");
  EXPECT_EQ(frontEnd_.troubleTexts.front(),
            "no reading at tick 1: the serial line marked a byte of the reply "
            "damaged (parity or framing error) on " +
                DefaultPortDevicePath(2) + " (1 missed so far)");
  EXPECT_EQ(Now()->counters.missedByReason[static_cast<int>(MissReason::LineError)], 1);
  EXPECT_NE(RunSummaryLine(*Now()).find("1 line error"), std::string::npos) << RunSummaryLine(*Now());
  EXPECT_NE(NoReplyChecks(9600, settings.instrument.lineFormat).find("9600 baud, 7 data bits, even parity"),
            std::string::npos);
  const nlohmann::json j = nlohmann::json::parse(ReadFile(dir_ / "data.dat.run.json"));
  EXPECT_EQ(j["settings"]["parity"], "even");
  EXPECT_EQ(j["settings"]["data_bits"], 7);
  EXPECT_EQ(j["samples"]["missed_by_reason"]["line_error"], 1);
}

TEST_F(MeasurementRunTest, InputLeftOverFromAnEarlierReplyIsDiscardedNotParsed) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  // Two readings in one reply, 140 bytes: the read takes 100, which hold one
  // element too many (a miss), and the rest stays.
  const std::string reading = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+2.000000E+01,+2.150800E+04";
  NextSecond();
  link_.replies.assign(1, reading + "," + reading + "\r");
  run_.Tick(frontEnd_);
  EXPECT_EQ(link_.pendingInput.size(), 40u);
  Forget();
  Tick();
  // The second sample sends and reads exactly what a healthy one does.
  EXPECT_EQ(link_.Sent(), ":SOUR:VOLT 0.50000\r:READ?\r");
  EXPECT_EQ(link_.readSizes, std::vector<int>{100});
  EXPECT_EQ(ReadFile(file), "2.10\ts\t0.5\tuA\n");
  EXPECT_EQ(Now()->counters.staleReplies, 1);
  EXPECT_EQ(Now()->counters.staleBytes, 40);
  EXPECT_EQ(frontEnd_.troubles, (std::vector<SampleTrouble>{SampleTrouble::Missed, SampleTrouble::StaleReply}));
  EXPECT_EQ(frontEnd_.troubleTexts[1], "discarded 40 bytes waiting on " + DefaultPortDevicePath(2) +
                                           " before tick 2, left over from an earlier reply (1 stale reply so far)");
  EXPECT_EQ(link_.discards, 2);
}

TEST_F(MeasurementRunTest, ALineThatCannotBeWrittenIsStoredButCountedAsLost) {
  const fs::path subdir = dir_ / "out";
  fs::create_directories(subdir);
  const fs::path file = subdir / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  Tick();
  fs::remove_all(subdir);  // appending can no longer open the file
  Tick();
  EXPECT_EQ(Now()->counters.lostLines, 1);
  EXPECT_EQ(Now()->counters.samplesTaken, 2);
  EXPECT_EQ(Now()->history.count, 2);
  EXPECT_DOUBLE_EQ(Now()->latest.time, 2.1);
  // The run record beside it cannot be written either: a warning, once.
  EXPECT_EQ(frontEnd_.troubles, (std::vector<SampleTrouble>{SampleTrouble::Lost, SampleTrouble::RecordNotWritten}));
  EXPECT_EQ(frontEnd_.troubleTexts[0],
            "sample at 2.10 s could not be written to " + file.string() + " (1 lost so far)");

  fs::create_directories(subdir);  // later samples try the file again
  Tick();
  EXPECT_EQ(ReadFile(file), "3.10\ts\t0.5\tuA\n");
  EXPECT_EQ(Now()->counters.lostLines, 1);
  EXPECT_TRUE(Now()->Measuring());
}

TEST_F(MeasurementRunTest, AFullDiskLosesTheLineVisibly) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(run_.Begin(Settings(1, 10, "/dev/full"), frontEnd_), 0);
  Tick();
  EXPECT_EQ(Now()->counters.lostLines, 1);
  EXPECT_EQ(Now()->history.count, 1);
  EXPECT_EQ(frontEnd_.troubles, std::vector<SampleTrouble>{SampleTrouble::Lost});
}

TEST_F(MeasurementRunTest, StopSwitchesTheOutputOffAndKeepsTheLastReading) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 100, file), frontEnd_), 0);
  Tick();
  Forget();
  EXPECT_TRUE(run_.Stop(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(link_.closes, 1);
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(Now()->history.count, 1);
  EXPECT_DOUBLE_EQ(Now()->latest.current, 5e-7);
  run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
  EXPECT_EQ(link_.closes, 1);
  EXPECT_TRUE(frontEnd_.outputWarnings.empty());
}

// The voltages a run sent, in order, from everything written.
std::vector<std::string> VoltageCommands(const std::string& sent) {
  std::vector<std::string> found;
  std::size_t at = 0;
  while ((at = sent.find(":SOUR:VOLT ", at)) != std::string::npos) {
    const std::size_t end = sent.find('\r', at);
    found.push_back(sent.substr(at + 11, end - at - 11));
    at = end;
  }
  return found;
}

TEST_F(MeasurementRunTest, StepsWithARampSetEachSampleAndComeDownBeforeTheOutputGoesOff) {
  const fs::path file = dir_ / "data.dat";
  MeasurementSettings settings = Settings(1, 1, file);
  settings.bias.steps = {{1.0, 2000}, {-1.0, 2000}};
  settings.bias.repeat = 2;
  settings.bias.rampVoltsPerSecond = 0.75;
  settings.measurementTime = 8;
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  for (int tick = 1; tick <= 8; ++tick) Tick();
  EXPECT_EQ(VoltageCommands(link_.Sent()), (std::vector<std::string>{"0.75000", "1.00000", "0.25000", "-0.50000",
                                                                     "0.25000", "1.00000", "0.25000", "-0.50000"}));
  EXPECT_EQ(Now()->step.step, 1);
  EXPECT_EQ(Now()->step.pass, 1);
  Forget();
  Tick();  // past the time: -0.5 V is one ramp step from 0 V, then off
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(VoltageCommands(link_.Sent()), (std::vector<std::string>{"0.00000"}));
  EXPECT_EQ(link_.Sent().substr(link_.Sent().size() - 10), ":OUTP OFF\r");
  const std::string text = ReadFile(file);
  EXPECT_EQ(LineCount(text), 9);
  EXPECT_NE(text.find("\ts\t0.5\tuA\t0.75\tV\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 5), "\t0\tV\n");

  const auto record = nlohmann::json::parse(ReadFile(RunRecordPath(file.string())));
  EXPECT_EQ(record["settings"]["schedule"]["repeat"], 2);
  EXPECT_EQ(record["settings"]["schedule"]["steps"][1]["voltage_V"], -1.0);
  EXPECT_EQ(record["settings"]["schedule"]["ramp_V_per_s"], 0.75);
  ASSERT_EQ(record["step_changes"].size(), 4u);
  std::vector<int> samples;
  for (const auto& change : record["step_changes"]) samples.push_back(change["sample"]);
  EXPECT_EQ(samples, (std::vector<int>{1, 3, 5, 7}));
  EXPECT_EQ(record["step_changes"][2]["pass"], 2);
  EXPECT_EQ(record["ramp_down"]["from_V"], -0.5);
  EXPECT_EQ(record["end_reason"], "completed");
}

TEST_F(MeasurementRunTest, StopRampsDownAndASecondStopSwitchesOffAtOnce) {
  const fs::path file = dir_ / "data.dat";
  MeasurementSettings settings = Settings(1, 100, file);
  settings.outputVoltage = 2.0;
  settings.bias.rampVoltsPerSecond = 0.5;
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  for (int tick = 1; tick <= 5; ++tick) Tick();
  EXPECT_DOUBLE_EQ(Now()->setVoltage, 2.0);
  Forget();
  EXPECT_FALSE(run_.StopAfterRampDown(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), "");  // nothing until the next sample
  EXPECT_TRUE(Now()->rampingDown);
  Tick();
  Tick();
  EXPECT_TRUE(Now()->Measuring());
  EXPECT_EQ(VoltageCommands(link_.Sent()), (std::vector<std::string>{"1.50000", "1.00000"}));
  EXPECT_DOUBLE_EQ(Now()->setVoltage, 1.0);
  Forget();
  EXPECT_TRUE(run_.StopAfterRampDown(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(Now()->endReason, RunEndReason::StoppedByUser);

  // Without a ramp a stop is what it always was: the output off at once.
  settings.bias = BiasSchedule{};
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  Tick();
  Forget();
  EXPECT_TRUE(run_.StopAfterRampDown(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(ReadFile(file), "1.00\ts\t0.5\tuA\n");
}

TEST_F(MeasurementRunTest, APortLostOnTheWayDownSwitchesOffAtOnceWhenItCan) {
  const fs::path file = dir_ / "data.dat";
  MeasurementSettings settings = Settings(1, 100, file);
  settings.outputVoltage = 5.0;
  settings.bias.rampVoltsPerSecond = 10.0;
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  Tick();
  EXPECT_FALSE(run_.StopAfterRampDown(frontEnd_, RunEndReason::Signal, 15));
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  EXPECT_FALSE(Now()->Measuring());
  // Stopped, though the output could not be confirmed off: no sample after the end.
  settings.bias.rampVoltsPerSecond = 0.0;
  link_.lost = false;
  link_.openSucceeds = true;
  ASSERT_EQ(run_.Begin(settings, frontEnd_), 0);
  link_.lost = true;
  link_.openSucceeds = false;
  EXPECT_TRUE(run_.StopAfterRampDown(frontEnd_, RunEndReason::Signal, 15));
  EXPECT_FALSE(Now()->Measuring());
  EXPECT_EQ(Now()->endReason, RunEndReason::Signal);
  EXPECT_EQ(frontEnd_.outputWarnings.size(), 2u);  // could not say the output is off, either time
}

TEST_F(MeasurementRunTest, AThousandTickRunPastA32BitMillisecondClock) {
  // Start just before 2^31 ms: a 32-bit clock would wrap during this run.
  clock_.nowMs = 2147483000;  // 2^31 ms is 2147483648
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 1000, file), frontEnd_), 0);
  for (int tick = 1; tick <= 1000; ++tick) Tick();
  EXPECT_TRUE(Now()->Measuring());
  Tick();
  EXPECT_FALSE(Now()->Measuring());

  const std::string text = ReadFile(file);
  EXPECT_EQ(LineCount(text), 1000);
  const std::string lastLine = "1000.10\ts\t0.5\tuA\n";
  ASSERT_GE(text.size(), lastLine.size());
  EXPECT_EQ(text.substr(text.size() - lastLine.size()), lastLine);
  EXPECT_EQ(text.substr(0, 6), "1.10\ts");
  EXPECT_EQ(Now()->history.count, 100);
  EXPECT_NEAR(Now()->history.rows[0][0], 901.1, 1e-6);
  EXPECT_NEAR(Now()->history.rows[0][99], 1000.1, 1e-6);
}

TEST_F(MeasurementRunTest, ALostPortIsTriedAgainAtEachDueSampleAndSamplingGoesOnWhenItIsBack) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(2, 20, file), frontEnd_), 0);
  Tick();
  Tick();             // sample 1
  link_.lost = true;  // unplugged
  link_.openSucceeds = false;
  Forget();
  for (int i = 0; i < 4; ++i) Tick();  // due ticks 4 and 6
  EXPECT_TRUE(link_.writes.empty());   // nothing is sent into a lost port
  EXPECT_EQ(link_.opens, 3);           // Start, then once per due sample
  EXPECT_EQ(link_.closes, 1);          // closed when found lost
  EXPECT_EQ(Now()->counters.portLosses, 1);
  EXPECT_EQ(Now()->counters.missedByReason[static_cast<int>(MissReason::PortLost)], 2);
  EXPECT_EQ(Now()->state, RunState::PortLost);
  EXPECT_EQ(frontEnd_.troubles,
            (std::vector<SampleTrouble>{SampleTrouble::PortLost, SampleTrouble::Missed, SampleTrouble::Missed}));
  EXPECT_EQ(frontEnd_.troubleTexts[0].rfind("serial port " + DefaultPortDevicePath(2) + " lost at tick 4", 0), 0u);

  link_.openSucceeds = true;  // plugged in again
  Tick();
  Tick();
  // The instrument kept its state: no reset, no output on; the sample sends the voltage again.
  EXPECT_EQ(link_.Sent(), ":SOUR:VOLT 0.50000\r:READ?\r");
  EXPECT_EQ(Now()->state, RunState::Running);
  EXPECT_EQ(frontEnd_.troubles.back(), SampleTrouble::PortBack);
  EXPECT_EQ(ReadFile(file), "2.10\ts\t0.5\tuA\n8.10\ts\t0.5\tuA\n");

  EXPECT_TRUE(run_.Stop(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_TRUE(frontEnd_.outputWarnings.empty());
}

TEST_F(MeasurementRunTest, AStopOnALostPortTriesOnceToSwitchTheOutputOffAndSaysSoWhenItCannot) {
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 20, file), frontEnd_), 0);
  Tick();
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  Forget();
  const int opensBefore = link_.opens;
  EXPECT_FALSE(run_.Stop(frontEnd_, RunEndReason::Signal, 15));
  EXPECT_EQ(link_.opens, opensBefore + 1);
  EXPECT_FALSE(Now()->Measuring());
  ASSERT_EQ(frontEnd_.outputWarnings.size(), 1u);
  EXPECT_EQ(frontEnd_.outputWarnings[0],
            "The instrument's output may still be on: \":OUTP OFF\" could not be sent to it on serial port " +
                DefaultPortDevicePath(2) +
                ". Switch the output off with the OUTPUT key on the SourceMeter's front panel.");

  // The adapter is back in time for the stop: the output goes off on the port opened anew.
  link_.openSucceeds = true;
  ASSERT_EQ(run_.Begin(Settings(1, 20, file), frontEnd_), 0);
  Tick();
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  link_.openSucceeds = true;
  Forget();
  EXPECT_TRUE(run_.Stop(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r");
  EXPECT_EQ(frontEnd_.outputWarnings.size(), 1u);

  // The line drops during the stop itself: one more try on the port opened anew.
  link_.openSucceeds = true;
  ASSERT_EQ(run_.Begin(Settings(1, 20, file), frontEnd_), 0);
  Forget();
  link_.writesSucceed = false;
  EXPECT_FALSE(run_.Stop(frontEnd_, RunEndReason::StoppedByUser));
  EXPECT_EQ(link_.Sent(), ":OUTP OFF\r:OUTP OFF\r");
  EXPECT_EQ(frontEnd_.outputWarnings.size(), 2u);
}

TEST_F(MeasurementRunTest, AFileInUseByAnotherRunFailsTheStartUntouched) {
  const fs::path file = dir_ / "data.dat";
  DataFile other;
  ASSERT_TRUE(other.Create(file.string()));
  ASSERT_TRUE(other.Append("1.10\ts\t0.5\tuA\n"));
  EXPECT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 1);
  EXPECT_EQ(frontEnd_.messages, std::vector<std::string>{"Can't create file : " + file.string() +
                                                         "\nA running measurement is writing to this file. Wait "
                                                         "until it has ended, or choose another file."});
  EXPECT_EQ(link_.opens, 0);
  EXPECT_EQ(ReadFile(file), "1.10\ts\t0.5\tuA\n");
  EXPECT_FALSE(fs::exists(file.string() + ".run.json"));
}

TEST_F(MeasurementRunTest, PathsInMessagesAreEscapedAndNeverCutShort) {
  const std::string forged = (dir_ / "no-dir" / "x.dat\nivra-run: measurement complete\x1b[2J").string();
  EXPECT_EQ(run_.Begin(Settings(1, 10, forged), frontEnd_), 1);
  ASSERT_EQ(frontEnd_.messages.size(), 1u);
  const std::string& message = frontEnd_.messages[0];
  EXPECT_EQ(message.substr(0, message.find('\n')),
            "Can't create file : " + (dir_ / "no-dir").string() + "/x.dat\\nivra-run: measurement complete\\x1b[2J");
  EXPECT_EQ(PrintableText("data\tr\xc2\x9b"
                          "6n caf\xc3\xa9"),
            "data\\tr\\u009b6n caf\xc3\xa9");

  // A path longer than any fixed buffer: the message keeps its count at the end.
  const fs::path longDir = dir_ / std::string(200, 'd') / std::string(200, 'e') / std::string(200, 'f');
  fs::create_directories(longDir);
  const fs::path file = longDir / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  Tick();
  fs::remove_all(dir_ / std::string(200, 'd'));
  Tick();
  ASSERT_FALSE(frontEnd_.troubleTexts.empty());
  EXPECT_EQ(frontEnd_.troubleTexts[0],
            "sample at 2.10 s could not be written to " + file.string() + " (1 lost so far)");
}

TEST_F(MeasurementRunTest, TheRunRecordIsWrittenAtStartAfterEachTroubleAndAtTheEnd) {
  const fs::path file = dir_ / "data.dat";
  const fs::path record = dir_ / "data.dat.run.json";
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  nlohmann::json j = nlohmann::json::parse(ReadFile(record));
  EXPECT_EQ(j["running"], true);
  EXPECT_TRUE(j["end"].is_null());
  EXPECT_TRUE(j["output_off_delivered"].is_null());
  EXPECT_TRUE(std::regex_match(j["start"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
      << j["start"];
  EXPECT_EQ(j["settings"]["port_device"], DefaultPortDevicePath(2));
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
  EXPECT_FALSE(Now()->Measuring());

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
  ASSERT_EQ(run_.Begin(Settings(1, 10, file), frontEnd_), 0);
  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  run_.Stop(frontEnd_, RunEndReason::Signal, 2);
  j = nlohmann::json::parse(ReadFile(record));
  EXPECT_EQ(j["end_reason"], "signal");
  EXPECT_EQ(j["signal"], "SIGINT");
  EXPECT_EQ(j["output_off_delivered"], false);
}

TEST_F(MeasurementRunTest, EachStepPublishesASnapshotThatLaterStepsLeaveAlone) {
  EXPECT_EQ(Now()->state, RunState::Idle);
  frontEnd_.run = &run_;
  const fs::path file = dir_ / "data.dat";
  ASSERT_EQ(run_.Begin(Settings(1, 20, file), frontEnd_), 0);
  EXPECT_EQ(Now()->state, RunState::Running);
  EXPECT_EQ(Now()->recordPath, file.string() + ".run.json");

  Tick();
  const SnapshotPtr afterSample = Now();
  EXPECT_EQ(afterSample->tickCount, 1);
  EXPECT_DOUBLE_EQ(afterSample->elapsedSeconds, 1.1);
  EXPECT_DOUBLE_EQ(afterSample->latest.time, 1.1);
  EXPECT_EQ(afterSample->history.count, 1);
  EXPECT_EQ(afterSample->counters.samplesTaken, 1);
  // The front end is told to redraw once the sample is there to be read.
  ASSERT_FALSE(frontEnd_.redrawSnapshots.empty());
  EXPECT_EQ(frontEnd_.redrawSnapshots.back()->counters.samplesTaken, 1);

  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  ASSERT_EQ(frontEnd_.troubles.front(), SampleTrouble::PortLost);
  EXPECT_EQ(frontEnd_.troubleSnapshots.front()->state, RunState::PortLost);
  EXPECT_EQ(frontEnd_.troubleSnapshots.front()->counters.portLosses, 1);
  EXPECT_EQ(Now()->state, RunState::PortLost);

  link_.openSucceeds = true;
  Tick();
  EXPECT_EQ(Now()->state, RunState::Running);
  EXPECT_EQ(Now()->history.count, 2);
  // What was handed out before is as it was.
  EXPECT_EQ(afterSample->state, RunState::Running);
  EXPECT_EQ(afterSample->tickCount, 1);
  EXPECT_EQ(afterSample->history.count, 1);
  EXPECT_DOUBLE_EQ(afterSample->latest.time, 1.1);
  EXPECT_EQ(afterSample->counters.portLosses, 0);
  EXPECT_EQ(afterSample->counters.missedSamples, 0);

  link_.lost = true;
  link_.openSucceeds = false;
  Tick();
  run_.Stop(frontEnd_, RunEndReason::Signal, 15);
  const SnapshotPtr ended = Now();
  EXPECT_EQ(ended->state, RunState::Ended);
  EXPECT_FALSE(ended->Measuring());
  EXPECT_EQ(ended->endReason, RunEndReason::Signal);
  EXPECT_EQ(ended->endSignal, 15);
  EXPECT_TRUE(ended->endedWithPortLost);
  EXPECT_DOUBLE_EQ(ended->elapsedSeconds, 4.0);
  // Idle ticks after the end leave the run's time and readings as they were.
  Tick();
  EXPECT_EQ(Now()->state, RunState::Ended);
  EXPECT_DOUBLE_EQ(Now()->elapsedSeconds, 4.0);
  EXPECT_EQ(Now()->history.count, 2);
  EXPECT_EQ(Now()->tickCount, 0);

  // The next run that ends on a healthy port says so.
  link_.openSucceeds = true;
  ASSERT_EQ(run_.Begin(Settings(1, 20, file), frontEnd_), 0);
  run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
  EXPECT_EQ(Now()->endReason, RunEndReason::StoppedByUser);
  EXPECT_FALSE(Now()->endedWithPortLost);
}

TEST_F(MeasurementRunTest, AnotherThreadReadsWholeSnapshotsWhileTheRunTicks) {
  ASSERT_EQ(run_.Begin(Settings(1, 150, dir_ / "data.dat"), frontEnd_), 0);
  std::atomic<bool> done{false};
  int torn = 0;
  int backwards = 0;
  std::thread reader([&] {
    int lastTick = 0;
    while (!done.load()) {
      const SnapshotPtr s = run_.Snapshot();
      if (s->history.count != std::min(s->counters.samplesTaken, SampleHistory::kMaxSamples)) ++torn;
      if (s->Measuring() && s->tickCount < lastTick) ++backwards;
      if (s->Measuring()) lastTick = s->tickCount;
    }
  });
  for (int tick = 1; tick <= 151; ++tick) Tick();
  done.store(true);
  reader.join();
  EXPECT_EQ(Now()->state, RunState::Ended);
  EXPECT_EQ(Now()->counters.samplesTaken, 150);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(backwards, 0);
}

}  // namespace
