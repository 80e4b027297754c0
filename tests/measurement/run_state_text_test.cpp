// The window's run-state pane and end message, read from the snapshots of a
// real run over a substituted link and clock.
#include "text/run_state_text.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "fake_clock.h"
#include "fake_instrument_link.h"
#include "run/measurement_run.h"
#include "text/run_front_end.h"
#include "text/run_text.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodReply = "+5.000000E-01,+5.000000E-07,+9.910000E+37,+1.000000E+00,+2.150800E+04\r";
// The same with status bit 3: the current is held at the limit.
constexpr const char* kComplianceReply = "+4.000000E-02,+1.000000E-07,+9.910000E+37,+1.000000E+00,+2.151600E+04\r";

// Keeps the Start failure as the run reported it.
class FailureKeeper final : public RunObserver {
 public:
  void ShowStartFailure(const StartFailure& shown) override { failure = shown; }
  void Redraw() override {}
  void ReportTrouble(SampleTrouble, const SnapshotPtr&) override {}
  void ReportOutputMayBeOn(const std::string&) override {}
  StartFailure failure;
};

class QuietFrontEnd final : public RunFrontEnd {
 public:
  void ShowMessage(const std::string&) override {}
  void Redraw() override {}
  void ReportTrouble(SampleTrouble, const SnapshotPtr&) override {}
  void WarnOutputMayBeOn(const std::string&) override {}
};

class RunStateTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ivra-run-state-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    auto link = std::make_unique<FakeInstrumentLink>();
    auto clock = std::make_unique<FakeClock>(5000);
    link_ = link.get();
    clock_ = clock.get();
    run_ = std::make_unique<MeasurementRun>(std::move(link), std::move(clock));
  }
  void TearDown() override {
    run_.reset();
    fs::remove_all(dir_);
  }

  void Begin(int interval, int time) {
    MeasurementSettings settings;
    settings.portPath = "/dev/ttyUSB0";
    settings.sampleInterval = interval;
    settings.measurementTime = time;
    settings.outputPath = (dir_ / "run 1.dat").string();
    ASSERT_EQ(run_->Begin(settings, frontEnd_), 0);
  }
  void Tick(const char* reply = kGoodReply) {
    clock_->nowMs = (clock_->nowMs / 1000 + 1) * 1000;
    link_->replies.assign(1, reply);
    run_->Tick(frontEnd_);
  }
  std::string State(bool simulated = false) { return RunStateText(*run_->Snapshot(), simulated); }

  fs::path dir_;
  FakeInstrumentLink* link_ = nullptr;
  FakeClock* clock_ = nullptr;
  std::unique_ptr<MeasurementRun> run_;
  QuietFrontEnd frontEnd_;
};

TEST_F(RunStateTextTest, AWholeRunCountsUpAndEndsCompleted) {
  EXPECT_EQ(State(), "");  // nothing has run yet
  Begin(2, 10);
  EXPECT_EQ(State(true),
            "Measuring: 00:00:00 elapsed, 00:00:10 left, 0 of 5 samples written, run 1.dat, "
            "simulated instrument");
  Tick();
  Tick();
  Tick();
  EXPECT_EQ(State(), "Measuring: 00:00:03 elapsed, 00:00:07 left, 1 of 5 samples written, run 1.dat");
  for (int i = 0; i < 8; ++i) Tick();  // the stop comes on tick 11
  EXPECT_EQ(State(), "Completed after 00:00:11: 5 of 5 samples written, run 1.dat");
  // The pane leaves out the zero counters; the summary line of the file and ivra-run keeps them.
  EXPECT_EQ(RunEndText(*run_->Snapshot()), "Completed: 5 samples written, nothing missed");
  EXPECT_EQ(RunSummaryLine(*run_->Snapshot()),
            "5 samples written, 0 missed, 0 lost, 0 port losses, 0 stale replies discarded");
  Tick();  // idle ticks leave the end standing until the next Start
  EXPECT_EQ(State(), "Completed after 00:00:11: 5 of 5 samples written, run 1.dat");
  Begin(1, 10);
  EXPECT_EQ(State(), "Measuring: 00:00:00 elapsed, 00:00:10 left, 0 of 10 samples written, run 1.dat");
}

TEST_F(RunStateTextTest, AStopAndALostPortSaySo) {
  Begin(1, 100);
  Tick();
  Tick();
  run_->Stop(frontEnd_, RunEndReason::StoppedByUser);
  EXPECT_EQ(State(), "Stopped after 00:00:02: 2 of 100 samples written, run 1.dat");
  EXPECT_EQ(RunEndText(*run_->Snapshot()), "Stopped: 2 samples written, nothing missed");

  Begin(1, 100);
  Tick();
  link_->lost = true;
  link_->openSucceeds = false;
  Tick();
  EXPECT_EQ(State(),
            "Measuring, port lost: trying /dev/ttyUSB0 at every sample; 1 of 100 samples written, 00:01:38 left");
  // The message pane beside it: only what is not zero.
  EXPECT_EQ(TroubleCountsText(*run_->Snapshot()), "Missed samples: 1");
  run_->Stop(frontEnd_, RunEndReason::StoppedByUser);
  EXPECT_EQ(State(), "Stopped: port lost after 00:00:02: 1 of 100 samples written, run 1.dat");
  EXPECT_EQ(RunEndText(*run_->Snapshot()), "Stopped: port lost: 1 sample written, 1 missed (1 port lost), 1 port loss");
}

TEST_F(RunStateTextTest, ComplianceLeadsWhileItLastsAndIsCountedAtTheEnd) {
  Begin(1, 10);
  Tick();
  Tick(kComplianceReply);
  Tick(kComplianceReply);
  const SnapshotPtr held = run_->Snapshot();
  EXPECT_EQ(RunStateText(*held, false, ComplianceLead{2.0, 2}),
            "In compliance since 00:00:02 (2 samples): raise the current limit in Setup > Instrument... "
            "3 of 10 samples written, 00:00:07 left");
  // The message pane does not say it again, nor counters that are zero.
  EXPECT_EQ(TroubleCountsText(*held), "");
  Tick();  // out of compliance again: the pane no longer leads with it
  EXPECT_EQ(RunStateText(*run_->Snapshot(), false, ComplianceLead{2.0, 2}),
            "Measuring: 00:00:04 elapsed, 00:00:06 left, 4 of 10 samples written, run 1.dat");
  // Out of compliance and nothing counted: the message pane says what the run does again.
  EXPECT_EQ(TroubleCountsText(*run_->Snapshot()), "Sampling every 1 s at 0 V on /dev/ttyUSB0");
  for (int i = 0; i < 7; ++i) Tick(kComplianceReply);
  EXPECT_EQ(State(true),
            "Completed after 00:00:11: 10 of 10 samples written, 8 in compliance, run 1.dat, simulated instrument");
  EXPECT_EQ(RunEndText(*run_->Snapshot()), "Completed: 10 samples written, nothing missed");
  EXPECT_NE(RunSummaryLine(*run_->Snapshot()).find(", 8 in compliance"), std::string::npos);
}

TEST_F(RunStateTextTest, AFailedStartAfterACompletedRunSaysWhyWithoutTheOldCounts) {
  Begin(1, 10);
  for (int i = 0; i < 11; ++i) Tick();
  ASSERT_EQ(State(), "Completed after 00:00:11: 10 of 10 samples written, run 1.dat");

  const auto failedStart = [this](MeasurementSettings settings) {
    FailureKeeper keeper;
    EXPECT_EQ(run_->Begin(settings, keeper), 1);
    return StartFailedStateText(keeper.failure);
  };
  MeasurementSettings settings;
  settings.portPath = "/dev/ttyUSB0";
  settings.sampleInterval = 2;
  settings.outputPath = (dir_ / "missing" / "x.dat").string();
  const std::string noFolder = failedStart(settings);
  EXPECT_EQ(noFolder, "Start failed: can't create x.dat, its folder does not exist");
  settings.outputPath = dir_.string();
  const std::string folder = failedStart(settings);
  EXPECT_EQ(folder, "Start failed: can't create " + dir_.filename().string() + ", it is a folder");
  settings.outputPath = (dir_ / "x.dat").string();
  link_->openSucceeds = false;
  const std::string port = failedStart(settings);
  EXPECT_EQ(port.rfind("Start failed: can't open serial port /dev/ttyUSB0, ", 0), 0u) << port;
  for (const std::string& text : {noFolder, folder, port}) {
    EXPECT_EQ(text.find(" of "), std::string::npos) << "no count of the run before: " << text;
  }
}

TEST(RunStateText, BelowASecondTheIntervalAndTheDueCountAreTheGrids) {
  RunSnapshot run;
  run.state = RunState::Running;
  run.settings.portPath = "/dev/ttyUSB0";
  run.settings.sampleInterval = 0;
  run.settings.sampleIntervalMs = 20;
  run.settings.measurementTime = 600;
  run.settings.outputVoltage = 1;
  run.settings.outputPath = "fast.dat";
  run.elapsedSeconds = 23;
  run.counters.samplesTaken = 1126;
  EXPECT_EQ(TroubleCountsText(run), "Sampling every 0.02 s at 1 V on /dev/ttyUSB0");
  EXPECT_EQ(RunStateText(run, false),
            "Measuring: 00:00:23 elapsed, 00:09:37 left, 1126 of 30000 samples written, fast.dat");
}

TEST(OutputFileName, KeepsTheNameAndEscapesIt) {
  EXPECT_EQ(OutputFileName("/data/2026/run.dat"), "run.dat");
  EXPECT_EQ(OutputFileName("run.dat"), "run.dat");
  EXPECT_EQ(OutputFileName("/data/a\nb.dat"), "a\\nb.dat");
}

}  // namespace

TEST(RunStateText, TheStepInForceWithTheTimeLeftInItAndTheWayDown) {
  RunSnapshot run;
  run.state = RunState::Running;
  run.settings.portPath = "/dev/ttyUSB0";
  run.settings.bias.steps = {{0.5, 10000}, {1.0, 60000}, {0.0, 5000}};
  run.settings.bias.repeat = 2;
  EXPECT_EQ(StepInForceText(run), "") << "before the first step";

  // Second pass, second step: it ends at 75 + 10 + 60 = 145 s.
  run.stepInForce = true;
  run.step = {1, 1, 1.0};
  run.elapsedSeconds = 105.0;
  EXPECT_EQ(StepInForceText(run), "step 2 of 3 (1 V), 00:00:40 left in it, pass 2 of 2");
  EXPECT_EQ(RunActivityText(run), "Sampling every 1 s, 3 steps, 0..1 V, 2 \u00d7 75 s, on /dev/ttyUSB0");
  run.settings.measurementTime = 150;
  run.settings.outputPath = "x.dat";
  EXPECT_EQ(RunStateText(run, false),
            "Measuring: 00:01:45 elapsed, 00:00:45 left, step 2 of 3 (1 V), 00:00:40 left in it, pass 2 of 2, "
            "0 of 150 samples written, x.dat");
  run.settings.bias.repeat = 1;
  run.step = {2, 0, 0.0};
  run.elapsedSeconds = 72.4;
  EXPECT_EQ(StepInForceText(run), "step 3 of 3 (0 V), 00:00:03 left in it");

  run.rampingDown = true;
  run.setVoltage = 0.5;
  EXPECT_EQ(RunStateText(run, false).rfind("Ramping down to 0 V: 0.5 V now, ", 0), 0u) << RunStateText(run, false);
}
