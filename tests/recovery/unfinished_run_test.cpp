// The pieces a run needs to be found and continued after its program went
// away: the record read back as it was written, the data file taken up again
// with a torn last line cut, the lock probe, and the state folder's entries.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "datafile/data_file.h"
#include "datafile/data_line.h"
#include "recovery/unfinished_runs.h"
#include "run/run_record.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class UnfinishedRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ivra-recovery-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A running run's record beside `data`, as a run writes it, with the lists a resume must carry on.
  void WriteRunningRecord(const fs::path& data, MeasurementSettings& settings, RunRecord& record,
                          RunCounters& counters) {
    settings.portPath = "/dev/ttyUSB3";
    settings.gpibAddress = 24;
    settings.sampleInterval = 0;
    settings.sampleIntervalMs = 250;
    settings.measurementTime = 3600;
    settings.outputPath = data.string();
    settings.instrument.currentLimit = 0.01;
    settings.instrument.currentRange = 1e-3;
    settings.instrument.nplc = 0.1;
    settings.instrument.autoZero = AutoZero::Once;
    settings.instrument.baud = 57600;
    settings.instrument.lineFormat = LineFormat{Parity::Odd, 7};
    settings.bias.steps = {BiasStep{1.5, 1250}, BiasStep{-0.25, 60000}};
    settings.bias.repeat = 3;
    settings.bias.rampVoltsPerSecond = 0.5;
    const auto start = std::chrono::system_clock::now() - std::chrono::seconds(30);
    record.startClock = WallClockText(start);
    record.portPath = settings.portPath;
    record.pid = 4711;
    record.host = "bench7";
    record.bootId = "6d88973c";
    record.plannedEndClock = WallClockText(start + std::chrono::seconds(3600));
    record.portLosses = {PortLossTimes{3.5, "a", 4.75, "b"}, PortLossTimes{9.0, "c", -1.0, {}}};
    record.complianceStreaks = {ComplianceStreak{3, 0.75, "d", 7, 1.75, "e"}};
    record.stepChanges = {StepChange{1, 0.25, "f", 0, 0, 1.5}, StepChange{6, 1.5, "g", 1, 0, -0.25}};
    record.resumes = {ResumeEntry{"h", 12.5, 17, 9}};
    record.tornLinesCut = 1;
    counters.samplesTaken = 40;
    counters.lostLines = 2;
    counters.missedSamples = 21;
    counters.missedByReason[static_cast<int>(MissReason::Late)] = 4;
    counters.missedByReason[static_cast<int>(MissReason::Interrupted)] = 17;
    counters.staleReplies = 3;
    counters.staleBytes = 55;
    counters.portLosses = 2;
    counters.samplesInCompliance = 5;
    counters.complianceStreaks = 1;
    std::string error;
    ASSERT_TRUE(ReplaceFileAtomically(RunRecordPath(data.string()), RunRecordJson(record, settings, counters), error));
  }

  fs::path dir_;
};

TEST_F(UnfinishedRunTest, TheRecordReadsBackToTheSameRecordAndTheSameSettings) {
  MeasurementSettings settings;
  RunRecord record;
  RunCounters counters;
  WriteRunningRecord(dir_ / "run.dat", settings, record, counters);
  const std::string text = ReadFile(dir_ / "run.dat.run.json");

  ResumePlan plan;
  std::string problem;
  ASSERT_TRUE(ReadRunRecord(text, plan, problem)) << problem;
  // Written again from what was read, it is the same text: nothing the writer keeps is lost.
  EXPECT_EQ(RunRecordJson(plan.record, plan.settings, plan.counters), text);
  EXPECT_EQ(plan.settings.sampleIntervalMs, 250);
  EXPECT_EQ(plan.settings.sampleInterval, 0);
  EXPECT_EQ(plan.settings.gpibAddress, 24);
  EXPECT_TRUE(plan.settings.instrument == settings.instrument);
  EXPECT_EQ(plan.settings.bias.steps[0].durationMs, 1250);
  EXPECT_EQ(plan.counters.samplesTaken, 40);
  EXPECT_EQ(plan.counters.missedByReason[static_cast<int>(MissReason::Interrupted)], 17);
  EXPECT_EQ(plan.counters.portLosses, 2);
  EXPECT_EQ(plan.record.pid, 4711);
  EXPECT_EQ(WallClockText(plan.start), record.startClock);

  // A whole-second interval goes back on the tick; a record of something else is refused.
  std::string tick = text;
  tick.replace(tick.find("\"sample_interval_s\": 0.25"), 25, "\"sample_interval_s\": 5.0");
  ASSERT_TRUE(ReadRunRecord(tick, plan, problem));
  EXPECT_EQ(plan.settings.sampleInterval, 5);
  EXPECT_FALSE(ReadRunRecord("{\"program\": \"other\", \"running\": true}", plan, problem));
  EXPECT_FALSE(ReadRunRecord("{\"program\": \"ivra\", \"run", plan, problem));
}

TEST_F(UnfinishedRunTest, WallClockTextParsesBackToItsMillisecond) {
  using namespace std::chrono;
  for (const long long ms : {0LL, 1765366563250LL, 951782400999LL, 4102444799001LL}) {
    const system_clock::time_point when{duration_cast<system_clock::duration>(milliseconds(ms))};
    system_clock::time_point back;
    ASSERT_TRUE(ParseWallClock(WallClockText(when), back)) << WallClockText(when);
    EXPECT_EQ(duration_cast<milliseconds>(back.time_since_epoch()).count(), ms) << WallClockText(when);
  }
  system_clock::time_point ignored;
  EXPECT_FALSE(ParseWallClock("2026-12-08T22:14:03+01:00", ignored));
  EXPECT_FALSE(ParseWallClock("2026-13-08T22:14:03.250+01:00", ignored));
  EXPECT_FALSE(ParseWallClock("2026-12-08T22:14:03.250+01:00 ", ignored));
}

TEST_F(UnfinishedRunTest, ContinueKeepsWholeLinesCutsATornOneAndRespectsALiveRunsLock) {
  const fs::path data = dir_ / "run.dat";
  const std::string lines = FormatDataLine(1.25, 0.5e-6) + FormatDataLine(2.25, 0.5e-6);
  WriteFile(data, lines + "3.2");

  DataFile live;
  ASSERT_TRUE(live.Continue(data.string()));  // a live run: its lock is held
  EXPECT_TRUE(DataFileLocked(data.string()));
  DataFile second;
  FileCreateError error;
  long long cut = -1;
  EXPECT_FALSE(second.Continue(data.string(), &error, &cut));
  EXPECT_EQ(error.problem, FileCreateProblem::InUse);
  live.Release();
  EXPECT_FALSE(DataFileLocked(data.string()));

  // What the live run cut is gone; a file without a torn line stays as it is.
  WriteFile(data, lines + "3.25\ts\t0.");
  ASSERT_TRUE(second.Continue(data.string(), &error, &cut));
  EXPECT_EQ(cut, 9);
  EXPECT_EQ(ReadFile(data), lines);
  ASSERT_TRUE(second.Append(FormatDataLine(4.25, 0.5e-6)));
  EXPECT_TRUE(second.Sync());
  second.Release();
  ASSERT_TRUE(second.Continue(data.string(), &error, &cut));
  EXPECT_EQ(cut, 0);
  EXPECT_EQ(ReadFile(data), lines + FormatDataLine(4.25, 0.5e-6));
  second.Release();
  // A file of nothing but a torn line is emptied.
  WriteFile(data, "0.9");
  ASSERT_TRUE(second.Continue(data.string(), &error, &cut));
  EXPECT_EQ(cut, 3);
  EXPECT_EQ(ReadFile(data), "");
  EXPECT_FALSE(DataFileLocked((dir_ / "none.dat").string()));
}

TEST_F(UnfinishedRunTest, TheStateFolderFindsUnfinishedRunsOnlyAndForgetsEndedOnes) {
  MeasurementSettings settings;
  RunRecord record;
  RunCounters counters;
  const fs::path data = dir_ / "run.dat";
  WriteFile(data, FormatDataLine(1.0, 1e-6) + FormatDataLine(2.0, 1e-6) + "3.");
  WriteRunningRecord(data, settings, record, counters);
  ListRunningRun(RunRecordPath(data.string()), true);
  // A replacement cut short by the crash leaves its temporary file behind: the old record still counts.
  WriteFile(RunRecordPath(data.string()) + ".tmp", "{\"program\": \"ivra\", \"runn");
  EXPECT_EQ(RunStateFolder(), (dir_ / "state" / "ivra" / "runs").string());

  std::vector<UnfinishedRun> runs = FindUnfinishedRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].outputPath, data.string());
  EXPECT_EQ(runs[0].connection, "/dev/ttyUSB3");
  EXPECT_EQ(runs[0].samplesWritten, 2);
  EXPECT_EQ(runs[0].lastLineElapsed, 2.0);
  EXPECT_EQ(runs[0].pid, 4711);
  EXPECT_FALSE(runs[0].plannedEndPassed);

  ResumePlan plan;
  std::string problem;
  ASSERT_TRUE(ReadResumePlan(runs[0], plan, problem)) << problem;
  EXPECT_EQ(plan.tornBytes, 2);
  EXPECT_EQ(plan.wholeLines, 2);
  EXPECT_EQ(plan.counters.samplesTaken, 2 + counters.lostLines);  // the file, not the record, says what was written

  // While its lock is held the run is alive: not listed, not touched.
  {
    DataFile live;
    ASSERT_TRUE(live.Continue(data.string()));
    EXPECT_TRUE(FindUnfinishedRuns().empty());
    EXPECT_EQ(LookUpRun(data.string()).lookup, RunLookup::Alive);
    EXPECT_TRUE(RecoverUnfinishedRun(runs[0]).alive);
    EXPECT_EQ(ReadFile(data), FormatDataLine(1.0, 1e-6) + FormatDataLine(2.0, 1e-6));
  }
  EXPECT_EQ(LookUpRun(data.string()).lookup, RunLookup::Unfinished);

  // Ended: its entry goes at the next look.
  record.ended = true;
  record.outputOffDelivered = 1;
  std::string error;
  ASSERT_TRUE(ReplaceFileAtomically(RunRecordPath(data.string()), RunRecordJson(record, settings, counters), error));
  EXPECT_EQ(LookUpRun(RunRecordPath(data.string())).lookup, RunLookup::Ended);
  EXPECT_TRUE(FindUnfinishedRuns().empty());
  EXPECT_TRUE(fs::is_empty(RunStateFolder()));
  EXPECT_EQ(LookUpRun((dir_ / "nothing.dat").string()).lookup, RunLookup::NoRecord);
  WriteFile(dir_ / "other.dat.run.json", "[1, 2]");
  EXPECT_EQ(LookUpRun((dir_ / "other.dat").string()).lookup, RunLookup::NotARun);
}

TEST_F(UnfinishedRunTest, ARecoveredRecordEndsInterruptedWithTheFilesCountAndKeepsTheRest) {
  MeasurementSettings settings;
  RunRecord record;
  RunCounters counters;
  WriteRunningRecord(dir_ / "run.dat", settings, record, counters);
  std::string problem;
  const std::string closed =
      InterruptedRecordJson(ReadFile(dir_ / "run.dat.run.json"), 9.5, "then", "now", false, 44, problem);
  ResumePlan plan;
  ASSERT_TRUE(ReadRunRecord(closed, plan, problem)) << problem;
  EXPECT_TRUE(plan.record.ended);
  EXPECT_TRUE(plan.record.endInterrupted);
  EXPECT_EQ(plan.record.endAt, 9.5);
  EXPECT_EQ(plan.record.outputOffDelivered, 0);
  EXPECT_EQ(plan.record.recoveredClock, "now");
  EXPECT_EQ(plan.counters.samplesTaken, 44 + counters.lostLines);
  EXPECT_EQ(plan.record.stepChanges.size(), 2u);
  // Closed again (the output confirmed off this time), it keeps its first end.
  const std::string again = InterruptedRecordJson(closed, 20.0, "later", "now2", true, 50, problem);
  ASSERT_TRUE(ReadRunRecord(again, plan, problem));
  EXPECT_EQ(plan.record.endAt, 9.5);
  EXPECT_EQ(plan.record.outputOffDelivered, 1);
  EXPECT_TRUE(InterruptedRecordJson("not json", 1, "", "", true, 1, problem).empty());
}

}  // namespace
