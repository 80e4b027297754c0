// A bias schedule set through Setup's Steps dialog and run against ivra-sim:
// the rows the dialog refuses, the fields it locks, the voltage commands the
// ramp shapes, the way down on Stop, and the schedule the next Setup presets.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/weakref.h>

#include "plot/recording_surface.h"
#include "programs/ivra/main_frame.h"
#include "schedule_ui/steps_dlg.h"
#include "tests/gui/gui_test_support.h"
#include "ui/com_port_dlg.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"
#include "ui/setup_settings.h"
#include "ui/whole_run_view.h"

namespace {

// The set voltages of ":SOUR:VOLT x\r" commands, in the order sent.
std::vector<double> SetVoltages(const std::vector<std::string>& commands) {
  std::vector<double> volts;
  const std::regex source(R"(:SOUR:VOLT (\S+)\\r)");
  for (const std::string& command : commands) {
    std::smatch m;
    if (std::regex_match(command, m, source)) volts.push_back(std::stod(m[1].str()));
  }
  return volts;
}

// Vertical lines in a whole-run picture of `run`, channel 1.
int VerticalLines(const RunSnapshot& run) {
  WholeRunView view;
  view.Take(run);
  RecordingSurface surface;
  view.Paint(surface, SurfaceRect{0, 0, 800, 400}, 0, false);
  int lines = 0;
  int x = -1;
  int y = -1;
  for (const SurfaceCall& call : surface.Calls()) {
    if (call.op == SurfaceOp::LineTo && call.x == x && call.y != y) ++lines;
    if (call.op == SurfaceOp::MoveTo || call.op == SurfaceOp::LineTo) {
      x = call.x;
      y = call.y;
    }
  }
  return lines;
}

bool IsEnabled(wxDialog& dialog, int id) { return dialog.FindWindow(id)->IsEnabled(); }

}  // namespace

TEST(ScheduleWindow, StepsFromTheDialogRunWithTheRampAndAStopBringsTheOutputDown) {
  const std::string logPath = TempPath("sim.log");
  const std::string dataPath = TempPath("run.dat");
  SimProcess sim(logPath);
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));

  DialogDriver driver;
  wxString summary;
  wxString lockedTime;
  bool voltageLocked = false;
  driver.Script({[&](wxDialog& dialog) {
    SelectPort(dialog, 1);
    SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
    SetField(dialog, IDC_SAMPLE_INTERVAL, "1");
    SetField(dialog, IDC_MEASUREMENT_TIME, "600");
    SetField(dialog, IDC_OUTPUT_VOLTAGE, "1.5");
    // Returns once the Steps dialog's script has ended it.
    ClickButton(dialog, IDC_STEPS);
    summary = FieldValue(dialog, IDC_OUTPUT_VOLTAGE);
    lockedTime = FieldValue(dialog, IDC_MEASUREMENT_TIME);
    voltageLocked = !IsEnabled(dialog, IDC_OUTPUT_VOLTAGE) && !IsEnabled(dialog, IDC_MEASUREMENT_TIME);
    Pump(300);
    SaveScreen("ivra-gui-schedule-setup.png");
    ClickButton(dialog, wxID_OK);
  }});
  driver.Script({[](wxDialog& dialog) {
                   ClickButton(dialog, IDC_STEP_ADD);
                   SetField(dialog, IDC_STEP_VOLTS, "1");
                   SetField(dialog, IDC_STEP_SECONDS, "3");
                   ClickButton(dialog, IDC_STEP_ADD);
                   SetField(dialog, IDC_STEP_VOLTS, "12");
                   SetField(dialog, IDC_STEPS_REPEAT, "2");
                   SetField(dialog, IDC_STEPS_RAMP, "0.5");
                   ClickButton(dialog, wxID_OK);
                 },
                 [](wxDialog& dialog) {
                   // The refused row is the one selected, its voltage in the field.
                   auto& steps = dynamic_cast<CStepsDlg&>(dialog);
                   EXPECT_EQ(steps.SelectedRow(), 1);
                   EXPECT_EQ(FieldValue(dialog, IDC_STEP_VOLTS), "12");
                   SetField(dialog, IDC_STEP_VOLTS, "2");
                   ClickButton(dialog, wxID_OK);
                 }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([] { return View()->Measuring(); }, 10000)) << "the measurement did not start";
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_EQ(driver.Messages()[0].text, "Row 2: please enter a voltage between -10 and 10.");
  EXPECT_EQ(summary, wxString::FromUTF8("2 steps, 1..2 V, 2 \u00d7 6 s"));
  EXPECT_EQ(lockedTime, "12");
  EXPECT_TRUE(voltageLocked);

  const BiasSchedule& bias = LatestSnapshot()->settings.bias;
  ASSERT_EQ(bias.steps.size(), 2u);
  EXPECT_EQ(bias.steps[1].volts, 2.0);
  EXPECT_EQ(bias.steps[1].durationMs, 3000);
  EXPECT_EQ(bias.repeat, 2);
  EXPECT_EQ(bias.rampVoltsPerSecond, 0.5);
  EXPECT_EQ(LatestSnapshot()->settings.measurementTime, 12);

  // Into the second step, at 1.5 V on the way up to 2 V.
  ASSERT_TRUE(
      PumpUntilCollected([] { return LatestSnapshot()->stepInForce && LatestSnapshot()->step.step == 1; }, 20000));
  EXPECT_NE(Frame()->PaneText(1).Find("step 2 of 2 (2 V), 00:00:0"), wxNOT_FOUND) << Frame()->PaneText(1);
  EXPECT_NE(Frame()->PaneText(1).Find("left in it, pass 1 of 2"), wxNOT_FOUND) << Frame()->PaneText(1);

  PostMenu(ID_MEASUREMENT_STOP);
  EXPECT_TRUE(LatestSnapshot()->Measuring()) << "a Stop with a ramp goes down first";
  EXPECT_TRUE(LatestSnapshot()->rampingDown);
  EXPECT_TRUE(Frame()->PaneText(1).StartsWith("Ramping down to 0 V: ")) << Frame()->PaneText(1);
  ASSERT_TRUE(PumpUntilCollected([] { return !LatestSnapshot()->Measuring(); }, 20000)) << "it never reached 0 V";
  SaveScreen("ivra-gui-schedule-stopped.png");

  const std::vector<std::string> commands = LoggedCommands(logPath);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
  const std::vector<double> volts = SetVoltages(commands);
  ASSERT_GE(volts.size(), 5u);
  double previous = 0.0;
  for (double v : volts) {
    EXPECT_LE(std::fabs(v - previous), 0.5 + 1e-9) << "a change beyond the ramp";
    previous = v;
  }
  EXPECT_EQ(volts.back(), 0.0);
  EXPECT_EQ(volts[3], 1.5) << "the second step's first sample";

  // One data line a sample, each with the set voltage beside the current.
  const std::regex line(R"(\d+\.\d\d\ts\t\S+\tuA\t(\S+)\tV)");
  const std::vector<std::string> lines = ReadLines(dataPath);
  ASSERT_EQ(lines.size(), volts.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, line)) << lines[i];
    EXPECT_DOUBLE_EQ(std::stod(m[1].str()), volts[i]) << lines[i];
  }

  // The whole-run view marks the one change of step the run reached, 1 V to 2 V
  // at 3 s; the way down took the rest of the schedule's place.
  const std::vector<double>& changes = View()->WholeRun().StepChanges();
  EXPECT_EQ(changes, std::vector<double>{3.0});
  RunSnapshot withoutSteps = *LatestSnapshot();
  withoutSteps.settings.bias = BiasSchedule{};
  EXPECT_EQ(VerticalLines(*LatestSnapshot()) - VerticalLines(withoutSteps), static_cast<int>(changes.size()));
  PostMenu(ID_VIEW_WHOLE_RUN);
  Pump(300);
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-schedule-whole-run.png"));
  PostMenu(ID_VIEW_WHOLE_RUN);

  // The next Setup, in this session and in the next, holds the schedule.
  driver.Script({[&](wxDialog& dialog) {
    summary = FieldValue(dialog, IDC_OUTPUT_VOLTAGE);
    ClickButton(dialog, wxID_CANCEL);
  }});
  PostMenu(ID_MEASUREMENT_START);
  EXPECT_EQ(summary, wxString::FromUTF8("2 steps, 1..2 V, 2 \u00d7 6 s"));
  PortTable ports;
  PortLister none = [] { return std::vector<SerialPortInfo>{}; };
  InstrumentSettings instrument;
  SetupSettings nextSession(ports, none, "", instrument);
  CComPortDlg dialog(nullptr, ports, none);
  nextSession.Preset(dialog, MeasurementSettings{});
  ASSERT_EQ(dialog.m_schedule.steps.size(), 2u);
  EXPECT_EQ(dialog.m_schedule.steps[0].volts, 1.0);
  EXPECT_EQ(dialog.m_schedule.steps[1].durationMs, 3000);
  EXPECT_EQ(dialog.m_schedule.repeat, 2);
  EXPECT_EQ(dialog.m_schedule.rampVoltsPerSecond, 0.5);
  dialog.Destroy();
}

TEST(ScheduleWindow, ClearingTheScheduleGivesTheFieldsTheirValuesBack) {
  DialogDriver driver;
  wxString during;
  wxString after;
  wxString timeAfter;
  // The last run's schedule is preset: cleared first, then one set and cleared again.
  driver.Script({[&](wxDialog& dialog) {
    ClickButton(dialog, IDC_STEPS);
    EXPECT_TRUE(IsEnabled(dialog, IDC_OUTPUT_VOLTAGE));
    SetField(dialog, IDC_OUTPUT_VOLTAGE, "0.25");
    SetField(dialog, IDC_MEASUREMENT_TIME, "77");
    AsSetup(dialog).m_schedule = BiasSchedule{{{0.5, 20000}}, 1, 0.0};
    ClickButton(dialog, IDC_STEPS);
    during = FieldValue(dialog, IDC_OUTPUT_VOLTAGE);
    ClickButton(dialog, IDC_STEPS);
    after = FieldValue(dialog, IDC_OUTPUT_VOLTAGE);
    timeAfter = FieldValue(dialog, IDC_MEASUREMENT_TIME);
    EXPECT_TRUE(IsEnabled(dialog, IDC_OUTPUT_VOLTAGE));
    ClickButton(dialog, wxID_CANCEL);
  }});
  driver.Script({[](wxDialog& dialog) { ClickButton(dialog, IDC_STEPS_CLEAR); }});
  driver.Script({[](wxDialog& dialog) { ClickButton(dialog, wxID_OK); }});
  driver.Script({[](wxDialog& dialog) { ClickButton(dialog, IDC_STEPS_CLEAR); }});
  PostMenu(ID_MEASUREMENT_START);
  EXPECT_EQ(during, "1 step, 0.5 V, 20 s");
  EXPECT_EQ(after, "0.25");
  EXPECT_EQ(timeAfter, "77");
}

TEST(ScheduleWindow, AStepsFileSavedByTheDialogOpensAsTheSameRowsAndABadLineIsNamed) {
  CStepsDlg dialog(nullptr);
  dialog.m_schedule = BiasSchedule{{{0.1, 1500}, {-2.25, 60000}}, 3, 0.0};
  dialog.TransferDataToWindow();
  const std::string path = TempPath("steps.txt");
  ASSERT_TRUE(dialog.SaveStepsFile(path));

  CStepsDlg reopened(nullptr);
  reopened.TransferDataToWindow();
  ASSERT_TRUE(reopened.OpenStepsFile(path));
  EXPECT_EQ(reopened.Rows(), dialog.Rows());

  DialogDriver driver;
  const std::string bad = TempPath("bad-steps.txt");
  std::ofstream(bad) << "# volts seconds\n0.5 10\n0.5 ten\n";
  EXPECT_FALSE(reopened.OpenStepsFile(bad));
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_TRUE(driver.Messages()[0].text.StartsWith(wxString::FromUTF8("line 3 of " + bad + ": ")))
      << driver.Messages()[0].text;
  EXPECT_EQ(reopened.Rows(), dialog.Rows()) << "a bad file leaves the rows as they were";
  dialog.Destroy();
  reopened.Destroy();
}

namespace {

// Starts a run at 2 V with a ramp of 0.5 V/s and no steps, through Setup and
// the Steps dialog; the voltage field stays the user's. True once it runs.
bool StartWithRampOnly(DialogDriver& driver, const std::string& dataPath, bool& voltageEditable) {
  driver.Script({[&, dataPath](wxDialog& dialog) {
    // First, so that the fields are free whatever an earlier run left.
    ClickButton(dialog, IDC_STEPS);
    voltageEditable = IsEnabled(dialog, IDC_OUTPUT_VOLTAGE) && IsEnabled(dialog, IDC_MEASUREMENT_TIME);
    SelectPort(dialog, 1);
    SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
    SetField(dialog, IDC_SAMPLE_INTERVAL, "1");
    SetField(dialog, IDC_MEASUREMENT_TIME, "600");
    SetField(dialog, IDC_OUTPUT_VOLTAGE, "2");
    ClickButton(dialog, wxID_OK);
  }});
  driver.Script({[](wxDialog& dialog) {
    // Whatever an earlier run left: no rows, only the ramp.
    while (!dynamic_cast<CStepsDlg&>(dialog).Rows().empty()) ClickButton(dialog, IDC_STEP_REMOVE);
    SetField(dialog, IDC_STEPS_RAMP, "0.5");
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_MEASUREMENT_START);
  return PumpUntil([] { return View()->Measuring(); }, 10000);
}

// A run on a simulator of its own at 2 V with a ramp of 0.5 V/s and no steps,
// once its set voltage has climbed to 1.5 V. `voltageEditable` (when given)
// says whether Setup kept the voltage field the user's.
::testing::AssertionResult RampedRunAt1_5V(SimProcess& sim, DialogDriver& driver, const std::string& dataName,
                                           bool* voltageEditable = nullptr) {
  if (!sim.Running()) return ::testing::AssertionFailure() << "ivra-sim did not start";
  if (!Ports().SetDevicePath(2, sim.DevicePath())) return ::testing::AssertionFailure() << "COM2 not set";
  if (!PumpUntil([] { return View()->TimerRunning(); }, 5000)) {
    return ::testing::AssertionFailure() << "the window's timer did not run";
  }
  bool editable = false;
  if (!StartWithRampOnly(driver, TempPath(dataName), editable)) {
    return ::testing::AssertionFailure() << "the measurement did not start";
  }
  if (voltageEditable != nullptr) *voltageEditable = editable;
  if (!PumpUntilCollected([] { return LatestSnapshot()->setVoltage >= 1.5; }, 20000)) {
    return ::testing::AssertionFailure() << "the ramp did not reach 1.5 V";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(ScheduleWindow, ASecondStopOnTheWayDownSwitchesTheOutputOffAtOnce) {
  const std::string logPath = TempPath("second-stop-sim.log");
  SimProcess sim(logPath);
  DialogDriver driver;
  bool voltageEditable = false;
  ASSERT_TRUE(RampedRunAt1_5V(sim, driver, "second-stop.dat", &voltageEditable));
  EXPECT_TRUE(voltageEditable) << "a ramp alone keeps the voltage field";
  EXPECT_EQ(LatestSnapshot()->settings.outputVoltage, 2.0);
  PostMenu(ID_MEASUREMENT_STOP);
  EXPECT_TRUE(LatestSnapshot()->rampingDown);
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_STOP)) << "a second Stop stays at hand";
  PostMenu(ID_MEASUREMENT_STOP);
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  EXPECT_EQ(LatestSnapshot()->endReason, RunEndReason::StoppedByUser);

  const std::vector<std::string> commands = LoggedCommands(logPath);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
  const std::vector<double> volts = SetVoltages(commands);
  ASSERT_FALSE(volts.empty());
  EXPECT_GT(volts.back(), 0.0) << "off before the way down reached 0 V";
}

TEST(ScheduleClose, StopAndCloseWithARampClosesTheWindowOnceTheOutputIsAt0V) {
  const std::string logPath = TempPath("close-sim.log");
  SimProcess sim(logPath);
  DialogDriver driver;
  ASSERT_TRUE(RampedRunAt1_5V(sim, driver, "close.dat"));

  wxString asked;
  driver.ShowMessageBoxesAndRun([&](wxDialog& box) {
    asked = dynamic_cast<wxMessageDialogBase&>(box).GetMessage();
    box.EndModal(wxID_OK);
  });
  wxWeakRef<wxWindow> frame(Frame());
  Frame()->CallAfter([] { Frame()->Close(); });
  ASSERT_TRUE(PumpUntil([&] { return !asked.empty(); }, 5000)) << "no question";
  Pump(200);
  ASSERT_TRUE(frame) << "the window waits for 0 V";
  EXPECT_TRUE(LatestSnapshot()->rampingDown);
  EXPECT_TRUE(Frame()->PaneText(1).StartsWith("Ramping down to 0 V: ")) << Frame()->PaneText(1);
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 15000)) << "the window did not close at 0 V";
  EXPECT_EQ(LatestSnapshot()->endReason, RunEndReason::WindowClosed);
  const std::vector<std::string> commands = LoggedCommands(logPath);
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
  const std::vector<double> volts = SetVoltages(commands);
  ASSERT_FALSE(volts.empty());
  EXPECT_EQ(volts.back(), 0.0);
}

// A stop signal is a close that cannot be refused: with a ramp the first one
// still brings the output down to 0 V before the window goes, a second one
// switches it off at once.
TEST(ScheduleSignal, AStopSignalWithARampClosesTheWindowOnceTheOutputIsAt0V) {
  const std::string logPath = TempPath("signal-ramp-sim.log");
  SimProcess sim(logPath);
  DialogDriver driver;
  ASSERT_TRUE(RampedRunAt1_5V(sim, driver, "signal-ramp.dat"));

  wxWeakRef<wxWindow> frame(Frame());
  std::raise(SIGTERM);
  ASSERT_TRUE(PumpUntil([] { return LatestSnapshot()->rampingDown; }, 5000)) << "no way down";
  EXPECT_TRUE(frame) << "the window waits for 0 V";
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 15000)) << "the window did not close at 0 V";
  EXPECT_EQ(LatestSnapshot()->endReason, RunEndReason::WindowClosed);
  const std::vector<std::string> commands = LoggedCommands(logPath);
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
  const std::vector<double> volts = SetVoltages(commands);
  ASSERT_GE(volts.size(), 3u);
  EXPECT_EQ(volts.back(), 0.0);
  EXPECT_GT(volts[volts.size() - 2], 0.0) << "the way down took more than one step";
}

TEST(ScheduleSecondSignal, ASecondStopSignalOnTheWayDownClosesAtOnce) {
  const std::string logPath = TempPath("second-signal-sim.log");
  SimProcess sim(logPath);
  DialogDriver driver;
  ASSERT_TRUE(RampedRunAt1_5V(sim, driver, "second-signal.dat"));

  wxWeakRef<wxWindow> frame(Frame());
  std::raise(SIGINT);
  ASSERT_TRUE(PumpUntil([] { return LatestSnapshot()->rampingDown; }, 5000)) << "no way down";
  std::raise(SIGINT);
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the second signal did not close the window";
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  const std::vector<std::string> commands = LoggedCommands(logPath);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
  const std::vector<double> volts = SetVoltages(commands);
  ASSERT_FALSE(volts.empty());
  EXPECT_GT(volts.back(), 0.0) << "the second signal waited for 0 V";
}
