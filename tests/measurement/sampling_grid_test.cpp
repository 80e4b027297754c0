// Sampling below a second: the grid on the run's clock, the late slots, the
// shortened reply and the least interval, driven by a fake clock and link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fake_clock.h"
#include "fake_instrument_link.h"
#include "instrument/instrument_setup.h"
#include "run/measurement_run.h"
#include "run/run_record.h"
#include "text/run_front_end.h"
#include "text/run_text.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kShortReply = "+5.000000E-01,+5.000000E-07,+0.000000E+00\r";
constexpr const char* kNoError = "0,\"No error\"\r";

class Recorder final : public RunFrontEnd {
 public:
  std::vector<std::string> messages;
  std::vector<std::string> troubles;
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void Redraw() override {}
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override {
    troubles.push_back(TroubleText(trouble, *snapshot));
  }
  void WarnOutputMayBeOn(const std::string&) override {}
};

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SamplingGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ivra-grid-test-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
    fs::remove_all(dir_);
  }

  // 0.05 s at 57600 baud, NPLC 0.01, auto-zero off, for 10 s.
  MeasurementSettings Fast(double nplc = 0.01) {
    MeasurementSettings s;
    s.portPath = "/dev/fake";
    s.sampleInterval = 0;
    s.sampleIntervalMs = 50;
    s.measurementTime = 10;
    s.outputVoltage = 0.5;
    s.outputPath = (dir_ / "fast.dat").string();
    s.instrument.baud = 57600;
    s.instrument.nplc = nplc;
    s.instrument.autoZero = AutoZero::Off;
    return s;
  }
  // The clock at `ms` after the grid's origin, with `reply` waiting.
  void At(std::int64_t ms, const char* reply = kShortReply) {
    clock_.nowMs = origin_ + ms;
    link_.replies.assign(1, reply);
    run_.SampleSlot(frontEnd_);
  }

  fs::path dir_;
  Recorder frontEnd_;
  std::unique_ptr<FakeInstrumentLink> ownedLink_ = std::make_unique<FakeInstrumentLink>();
  FakeInstrumentLink& link_ = *ownedLink_;
  std::unique_ptr<FakeClock> ownedClock_ = std::make_unique<FakeClock>(5'000);
  FakeClock& clock_ = *ownedClock_;
  MeasurementRun run_{std::move(ownedLink_), std::move(ownedClock_)};
  std::int64_t origin_ = 0;
};

TEST_F(SamplingGridTest, SlotsOnTheGridLateOnesMissedVoltageOnceAndMillisecondStamps) {
  link_.replies = {"60\r", kNoError};
  ASSERT_EQ(run_.Begin(Fast(), frontEnd_), 0);
  EXPECT_EQ(link_.Sent(),
            "*RST\r:SYST:LFR?\r:SENS:CURR:NPLC 0.01\r:SYST:AZER OFF\r:FORM:ELEM VOLT,CURR,STAT\r:SYST:ERR?\r"
            ":OUTP ON\r:SOUR:VOLT 0.50000\r");
  origin_ = clock_.nowMs;  // after the settings' exchange
  EXPECT_TRUE(run_.OnGrid());
  EXPECT_EQ(run_.NextSlotMs(), origin_ + 50);
  run_.Tick(frontEnd_);  // the window's tick takes no sample on a grid
  link_.Forget();
  clock_.delays.clear();

  At(49);  // not due yet
  EXPECT_TRUE(link_.writes.empty());
  At(50);
  // No voltage before the read, the request in one write; then one sleep that
  // ends before the reply can be whole (11.2 ms at 60 Hz), never a fixed pause.
  EXPECT_EQ(link_.writes, std::vector<std::string>{":READ?\r"});
  ASSERT_EQ(clock_.delays.size(), 1u);
  EXPECT_GT(clock_.delays[0], 5);
  EXPECT_LT(clock_.delays[0], ShortSampleMs(Fast().instrument, 60));
  At(170);                                                 // slot 2 passed unserved; slot 3 is taken, 20 ms into it
  At(205, "+5.000000E-01,+1.000000E-04,+8.000000E+00\r");  // in compliance (status bit 3)
  // Five elements where three were asked for are damage, not a reading.
  At(250, "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.000000E+00,+2.150800E+04\r");
  const SnapshotPtr now = run_.Snapshot();
  EXPECT_EQ(now->counters.samplesTaken, 3);
  EXPECT_EQ(now->counters.missedByReason[static_cast<int>(MissReason::Late)], 1);
  EXPECT_EQ(now->counters.missedByReason[static_cast<int>(MissReason::Garbled)], 1);
  EXPECT_EQ(now->counters.samplesInCompliance, 1);
  EXPECT_EQ(Contents(Fast().outputPath), "0.050\ts\t0.5\tuA\n0.170\ts\t0.5\tuA\n0.205\ts\t100\tuA\n");
  EXPECT_NE(frontEnd_.troubles.at(0).find("late"), std::string::npos) << frontEnd_.troubles.at(0);

  // Far past the time: every slot up to 10 s (slot 200) is late, counted at once, and the run stops.
  At(20'000);
  EXPECT_FALSE(run_.Measuring());
  const RunCounters& c = run_.Snapshot()->counters;
  EXPECT_EQ(c.missedByReason[static_cast<int>(MissReason::Late)], 1 + (200 - 5));
  EXPECT_EQ(c.samplesTaken + c.missedSamples, 200);
  const auto record = nlohmann::json::parse(Contents(RunRecordPath(Fast().outputPath)));
  EXPECT_EQ(record["settings"]["sample_interval_s"], 0.05);
  EXPECT_EQ(record["samples"]["missed_by_reason"]["late"], 196);
  EXPECT_EQ(record["samples"]["due"], 200);
}

TEST_F(SamplingGridTest, TroublesReplaceTheRecordAtMostOnceASecondAndTheNextSlotCatchesUp) {
  link_.replies = {"60\r", kNoError};
  ASSERT_EQ(run_.Begin(Fast(), frontEnd_), 0);
  origin_ = clock_.nowMs;
  const fs::path record = RunRecordPath(Fast().outputPath);
  auto missed = [&] { return nlohmann::json::parse(Contents(record))["samples"]["missed"]; };
  // Every slot taken, each a trouble: the record written at Start is not a second old.
  for (int ms = 50; ms < 1000; ms += 50) At(ms, "@#LINE NOISE#@\r");
  EXPECT_EQ(run_.Snapshot()->counters.missedSamples, 19);
  EXPECT_EQ(missed(), 0);
  At(1000);  // a sample without trouble, a second on: the record catches up
  EXPECT_EQ(missed(), 19);
  At(1050, "@#LINE NOISE#@\r");
  EXPECT_EQ(missed(), 19);
  run_.Stop(frontEnd_, RunEndReason::StoppedByUser);
  EXPECT_EQ(missed(), 20);  // the end writes it whole
}

TEST_F(SamplingGridTest, APortThatComesBackGetsTheVoltageAgainBeforeItsNextRead) {
  link_.replies = {"60\r", kNoError};
  ASSERT_EQ(run_.Begin(Fast(), frontEnd_), 0);
  origin_ = clock_.nowMs;
  At(50);
  link_.lost = true;
  link_.Forget();
  At(100);
  EXPECT_EQ(link_.Sent(), ":SOUR:VOLT 0.50000\r:READ?\r");
  link_.Forget();
  At(150);
  EXPECT_EQ(link_.Sent(), ":READ?\r");
  EXPECT_EQ(run_.Snapshot()->counters.samplesTaken, 3);
}

TEST_F(SamplingGridTest, AnIntervalTheInstrumentsMainsCannotCarryIsRefusedBeforeTheOutputGoesOn) {
  // NPLC 0.5 carries 0.02 s at 60 Hz (19.4 ms a sample) but not at 50 Hz (21.0 ms).
  MeasurementSettings s = Fast(0.5);
  s.sampleIntervalMs = 20;
  link_.replies = {"+5.000000E+01\r"};
  EXPECT_EQ(run_.Begin(s, frontEnd_), 1);
  EXPECT_EQ(link_.Sent(), "*RST\r:SYST:LFR?\r");
  EXPECT_FALSE(run_.Measuring());
  EXPECT_TRUE(frontEnd_.IntervalRefused());
  ASSERT_EQ(frontEnd_.messages.size(), 1u);
  EXPECT_EQ(frontEnd_.messages[0],
            "The instrument on /dev/fake runs on 50 Hz mains, and the time between samples is too short for its "
            "settings. At 57600 baud, NPLC 0.5 and auto-zero off a sample takes at least 0.022 s. Choose a longer "
            "interval, or lower NPLC to 0.2 in Instrument...");
  EXPECT_EQ(Contents(s.outputPath), "");
}

TEST(LeastInterval, HandWorkedCases) {
  InstrumentSettings s;  // 9600 baud 8N2, NPLC 1, auto-zero on
  // 49 characters x 11 bits at 9600 = 56.15 ms; 3 x (16.67 + 0.185) + 1.5 = 52.06 ms.
  EXPECT_NEAR(ShortSampleMs(s, 60), 108.20, 0.01);
  EXPECT_EQ(LeastIntervalMs(s, 60), 109);  // rounded up to the millisecond
  // 50 Hz: 3 x (20 + 0.185) + 1.5 = 62.06 ms.
  EXPECT_EQ(LeastIntervalMs(s, 50), 119);
  s.baud = 57600;
  s.nplc = 0.01;
  s.autoZero = AutoZero::Off;
  // 9.36 ms on the line, 0.167 + 0.185 + 1.5 ms in the instrument.
  EXPECT_NEAR(ShortSampleMs(s, 60), 11.21, 0.01);
  EXPECT_EQ(LeastIntervalMs(s, 60), 12);  // the line's 89.2 samples/s, less the rounding: 83.3
  s.autoZero = AutoZero::Once;            // one zero at the start, then none per reading
  EXPECT_EQ(LeastIntervalMs(s, 60), 12);
  s.baud = 9600;
  s.lineFormat.parity = Parity::Even;  // 12 bits a character: 61.25 + 1.85 ms
  EXPECT_EQ(LeastIntervalMs(s, 60), 64);
  s.lineFormat.dataBits = 7;  // 11 again: 56.146 + 1.852 = 57.998 ms
  EXPECT_EQ(LeastIntervalMs(s, 60), 58);
  EXPECT_EQ(ReadLineFrequencyReply("60\n", 3), 60);
  EXPECT_EQ(ReadLineFrequencyReply("+5.000000E+01\r", 14), 50);
  EXPECT_EQ(ReadLineFrequencyReply("55\r", 3), 0);
  EXPECT_EQ(ReadLineFrequencyReply("60", 2), 0);  // cut short
}

}  // namespace
