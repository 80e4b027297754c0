// Runs whose program went away, met by the window: ivra-run against ivra-sim
// killed with SIGKILL, then the window's offer. "Switch Output Off" sends
// :OUTP OFF and closes the record; "Continue Measuring" goes on into the same
// file with the earlier samples in the view, and a Stop ends it as a run;
// "Later" keeps it in the Measurement menu. Each test has a state folder of
// its own, so no run of one is offered in another.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <wx/dialog.h>
#include <wx/stattext.h>

#include "datafile/data_line.h"
#include "programs/ivra/ivra_app.h"
#include "recovery/unfinished_runs.h"
#include "recovery_ui/unfinished_run_dlg.h"
#include "recovery_ui/unfinished_runs_offer.h"
#include "tests/gui/gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The record as the run left it.
ResumePlan ReadRecord(const std::string& outputPath) {
  ResumePlan plan;
  std::string problem;
  EXPECT_TRUE(ReadRunRecord(ReadWhole(RunRecordPath(outputPath)), plan, problem)) << problem;
  return plan;
}

// Every line whole and a data line, the times strictly rising; their count.
std::size_t CheckedLines(const std::string& path) {
  const std::string data = ReadWhole(path);
  EXPECT_TRUE(data.empty() || data.back() == '\n') << path << ": a torn last line";
  std::istringstream lines(data);
  std::size_t count = 0;
  double previous = -1.0;
  for (std::string line; std::getline(lines, line); ++count) {
    double seconds = 0, microamperes = 0, volts = 0;
    bool hasVolts = false;
    EXPECT_TRUE(ParseDataLine(line.data(), line.data() + line.size(), seconds, microamperes, volts, hasVolts))
        << path << ": " << line;
    EXPECT_GT(seconds, previous) << path << ": " << line;
    previous = seconds;
  }
  return count;
}

int EntriesListed() {
  std::error_code ignored;
  int entries = 0;
  for (fs::directory_iterator it(RunStateFolder(), ignored), end; it != end; it.increment(ignored)) ++entries;
  return entries;
}

// The simulator logs a command once it has read it: it may lag behind the window.
bool LastCommandBecomes(const std::string& logPath, const std::string& expected) {
  return PumpUntil(
      [&] {
        const std::vector<std::string> commands = LoggedCommands(logPath);
        return !commands.empty() && commands.back() == expected;
      },
      5000);
}

CUnfinishedRunsOffer& Offer() { return TheIvraApp().UnfinishedRuns(); }

// What an offer's dialog showed.
struct Seen {
  std::string text;
  bool continueEnabled = false;
};

// Notes what the dialog shows, then presses `button`.
DialogDriver::Step Choose(Seen& seen, int button) {
  return [&seen, button](wxDialog& dialog) {
    for (wxWindow* child : dialog.GetChildren()) {
      if (auto* label = dynamic_cast<wxStaticText*>(child)) seen.text += label->GetLabel().utf8_string() + "\n";
    }
    wxWindow* resume = dialog.FindWindow(IDC_CONTINUE_MEASURING);
    seen.continueEnabled = resume != nullptr && resume->IsEnabled();
    ClickButton(dialog, button);
  };
}

class UnfinishedRunWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TempPath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
    sim_ = std::make_unique<SimProcess>(SimLog());
    ASSERT_TRUE(sim_->Running());
    ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning() && !Offer().Looking(); }, 5000));
  }
  void TearDown() override {
    if (View()->Measuring()) View()->StopMeasurement();
    sim_.reset();
    if (!HasFailure()) fs::remove_all(dir_);
  }

  std::string SimLog() const { return dir_ + "/sim.log"; }

  // ivra-run into `name` against the simulator with `timing`, killed with
  // SIGKILL once `lines` lines are in its file. The file's path.
  std::string KilledRun(const std::string& name, const std::vector<std::string>& timing, std::size_t lines) {
    const std::string out = dir_ + "/" + name;
    std::vector<std::string> args = {IVRA_RUN_PATH, "--port", sim_->DevicePath(), "--output", out};
    args.insert(args.end(), timing.begin(), timing.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, IVRA_RUN_PATH, nullptr, nullptr, argv.data(), environ), 0);
    EXPECT_TRUE(PumpUntil([&] { return ReadLines(out).size() >= lines; }, 20000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    return out;
  }

  // The window's look at its start, as OnInit makes it, until its offer has ended.
  void LookAndOffer(DialogDriver& driver, const DialogDriver::Step& step) {
    const int closed = driver.DialogsClosed();
    driver.Script({step});
    Offer().Look(true);
    EXPECT_TRUE(PumpUntil([&] { return driver.DialogsClosed() > closed && !Offer().Offering(); }, 15000));
    EXPECT_TRUE(PumpUntil([] { return !Offer().Looking(); }, 10000));
  }

  std::string dir_;
  std::unique_ptr<SimProcess> sim_;
};

TEST_F(UnfinishedRunWindow, SwitchOutputOffSendsItAndClosesTheRecord) {
  const std::string out = KilledRun("off.dat", {"--interval", "1", "--time", "60"}, 2);
  DialogDriver driver;
  Seen seen;
  LookAndOffer(driver, Choose(seen, IDC_SWITCH_OUTPUT_OFF));

  EXPECT_NE(seen.text.find(out), std::string::npos) << seen.text;
  EXPECT_NE(seen.text.find(sim_->DevicePath()), std::string::npos) << seen.text;
  EXPECT_NE(seen.text.find("may still be on"), std::string::npos) << seen.text;
  EXPECT_TRUE(seen.continueEnabled);
  EXPECT_TRUE(LastCommandBecomes(SimLog(), ":OUTP OFF\\r"));
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_NE(driver.Messages()[0].text.Find("is off"), wxNOT_FOUND) << driver.Messages()[0].text;
  const ResumePlan record = ReadRecord(out);
  EXPECT_TRUE(record.record.ended);
  EXPECT_TRUE(record.record.endInterrupted);
  EXPECT_EQ(record.record.outputOffDelivered, 1);
  EXPECT_FALSE(Offer().Any());
  EXPECT_FALSE(MenuEnabled(ID_MEASUREMENT_UNFINISHED));
}

TEST_F(UnfinishedRunWindow, SwitchOutputOffOnAConnectionThatIsGoneSaysWhatToDo) {
  const std::string out = KilledRun("gone.dat", {"--interval", "1", "--time", "60"}, 1);
  const std::string device = sim_->DevicePath();
  sim_.reset();  // its pseudo-terminal goes with it, as an unplugged adapter
  DialogDriver driver;
  Seen seen;
  LookAndOffer(driver, Choose(seen, IDC_SWITCH_OUTPUT_OFF));

  ASSERT_EQ(driver.Messages().size(), 1u);
  const std::string said = driver.Messages()[0].text.utf8_string();
  EXPECT_NE(said.find(device), std::string::npos) << said;
  EXPECT_NE(said.find("may still be on"), std::string::npos) << said;
  EXPECT_NE(said.find("front panel"), std::string::npos) << said;
  EXPECT_TRUE(driver.Messages()[0].style & wxICON_WARNING);
  const ResumePlan record = ReadRecord(out);
  EXPECT_TRUE(record.record.ended);
  EXPECT_TRUE(record.record.endInterrupted);
  EXPECT_EQ(record.record.outputOffDelivered, 0);
}

// The window has taken the run up: it draws what the file held, goes on
// into the same file, and a Stop ends it as any run.
void GoOnAndStop(const std::string& out, std::size_t linesBefore) {
  ASSERT_TRUE(View()->Measuring());
  EXPECT_GE(View()->WholeRun().Store().Count(), linesBefore) << "the earlier samples are in the whole-run view";
  EXPECT_EQ(ReadRecord(out).record.resumes.size(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return ReadLines(out).size() >= linesBefore + 3; }, 15000));
  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_TRUE(PumpUntil([] { return !View()->Measuring(); }, 10000));
  const std::size_t lines = CheckedLines(out);
  EXPECT_GE(View()->WholeRun().Store().Count(), lines);
  const ResumePlan record = ReadRecord(out);
  EXPECT_TRUE(record.record.ended);
  EXPECT_FALSE(record.record.endInterrupted);
  EXPECT_EQ(record.record.endReason, RunEndReason::StoppedByUser);
  EXPECT_EQ(EntriesListed(), 0) << "the run's entry goes when it ends";
}

TEST_F(UnfinishedRunWindow, ContinueMeasuringGoesOnIntoTheSameFile) {
  const std::string out = KilledRun("every-second.dat", {"--interval", "1", "--time", "60"}, 2);
  const std::size_t before = CheckedLines(out);
  DialogDriver driver;
  Seen seen;
  LookAndOffer(driver, Choose(seen, IDC_CONTINUE_MEASURING));
  EXPECT_TRUE(driver.Messages().empty()) << driver.Messages()[0].text;
  GoOnAndStop(out, before);
  EXPECT_TRUE(LastCommandBecomes(SimLog(), ":OUTP OFF\\r"));
}

TEST_F(UnfinishedRunWindow, ContinueMeasuringKeepsASubSecondGridAndItsSteps) {
  const std::string out = KilledRun("steps.dat", {"--interval", "0.25", "--step", "0.5:3", "--step", "1:60"}, 16);
  const std::size_t before = CheckedLines(out);
  DialogDriver driver;
  Seen seen;
  LookAndOffer(driver, Choose(seen, IDC_CONTINUE_MEASURING));
  const SnapshotPtr run = LatestSnapshot();
  EXPECT_EQ(run->settings.sampleIntervalMs, 250);
  EXPECT_EQ(run->settings.bias.steps.size(), 2u);
  GoOnAndStop(out, before);
  EXPECT_EQ(View()->WholeRun().StepChanges().size(), 1u) << "the change of step the run had passed";
}

TEST_F(UnfinishedRunWindow, LaterKeepsItAndContinueWaitsForTheWindowsOwnRun) {
  const std::string out = KilledRun("later.dat", {"--interval", "1", "--time", "60"}, 1);
  // A run of the window's own, on a simulator of its own: listed while it runs.
  SimProcess windowSim(dir_ + "/window-sim.log");
  ASSERT_TRUE(Ports().SetDevicePath(2, windowSim.DevicePath()));
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, dir_ + "/window.dat", "60"));
  EXPECT_EQ(LookUpRun(dir_ + "/window.dat").lookup, RunLookup::Alive);
  EXPECT_EQ(EntriesListed(), 2) << "the killed run's and the window's";

  Seen whileMeasuring;
  LookAndOffer(driver, Choose(whileMeasuring, IDC_LATER));
  EXPECT_NE(whileMeasuring.text.find(out), std::string::npos) << whileMeasuring.text;
  EXPECT_FALSE(whileMeasuring.continueEnabled) << "one run at a time in the window";
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_UNFINISHED));

  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_TRUE(PumpUntil([] { return !View()->Measuring() && !Offer().Looking(); }, 10000));
  EXPECT_EQ(Offer().Runs().size(), 1u);
  EXPECT_EQ(EntriesListed(), 1) << "the window's run ended as a run";
  Seen fromTheMenu;
  const int closed = driver.DialogsClosed();
  driver.Script({Choose(fromTheMenu, IDC_LATER)});
  PostMenu(ID_MEASUREMENT_UNFINISHED);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() > closed && !Offer().Offering(); }, 10000));
  EXPECT_TRUE(fromTheMenu.continueEnabled);
  ASSERT_TRUE(PumpUntil([] { return !Offer().Looking(); }, 10000));
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_UNFINISHED));
  EXPECT_EQ(LookUpRun(out).lookup, RunLookup::Unfinished) << "Later changes nothing";
}

}  // namespace
