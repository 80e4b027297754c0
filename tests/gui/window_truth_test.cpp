// What the main window tells at a glance against ivra-sim: compliance in the
// state pane and at the end, the status bar at 960 px, a failed Start after a
// completed run, the question before a running measurement is closed, Setup
// reopened with the last values, and the band of a zoom drag.
#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>
#include <wx/weakref.h>

#include "instrument/instrument_settings.h"
#include "programs/ivra/main_frame.h"
#include "tests/gui/gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/instrument_dlg.h"
#include "ui/ivra_view.h"
#include "ui/status_panes.h"

namespace {

wxChoice& ChoiceOf(wxDialog& dialog, int id) { return *dynamic_cast<wxChoice*>(dialog.FindWindow(id)); }

// 0.5 V across 1 kOhm with the current limited to 1e-7 A: every sample is held at the limit.
bool StartHeldAtTheLimit(DialogDriver& driver, const std::string& dataPath) {
  driver.Script({[=](wxDialog& setup) {
    ClickButton(setup, IDC_INSTRUMENT);
    SelectPort(setup, 1);
    SetField(setup, IDC_SAMPLE_INTERVAL, "1");
    SetField(setup, IDC_MEASUREMENT_TIME, "600");
    SetField(setup, IDC_OUTPUT_VOLTAGE, "0.5");
    SetField(setup, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
    ClickButton(setup, wxID_OK);
  }});
  driver.Script({[](wxDialog& dialog) {
    SetField(dialog, IDC_CURRENT_LIMIT, "1e-7");
    ChoiceOf(dialog, IDC_CURRENT_RANGE).SetSelection(0);
    ChoiceOf(dialog, IDC_BAUD_RATE).SetSelection(BaudRateIndex(9600));
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_MEASUREMENT_START);
  return PumpUntil([] { return View()->Measuring(); }, 10000);
}

wxStatusBar& Bar() { return *Frame()->GetStatusBar(); }

bool Whole(int pane) { return PaneTextWhole(pane); }

int FieldWidth(int pane) {
  wxRect rect;
  Bar().GetFieldRect(pane, rect);
  return rect.width;
}

void Describe(const char* when) {
  for (int pane = 0; pane < Bar().GetFieldsCount(); ++pane) {
    const wxString text = Bar().GetStatusText(pane);
    std::printf("[ panes ] %s, pane %d (%d px, text %d px%s): \"%s\"\n", when, pane, FieldWidth(pane),
                text.empty() ? 0 : Bar().GetTextExtent(text).x, Whole(pane) ? ", whole" : ", cut",
                text.utf8_string().c_str());
  }
}

}  // namespace

TEST(WindowTruth, ComplianceShowsWhileMeasuringAndAtTheEndAndThePanesShareTheBarAt960Px) {
  SimProcess sim(TempPath("truth-compliance-sim.log"), {"--ohms", "1000"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  Frame()->SetSize(960, 600);
  const wxColour normal = Bar().GetBackgroundColour();
  DialogDriver driver;
  ASSERT_TRUE(StartHeldAtTheLimit(driver, TempPath("c.dat")));
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->counters.samplesInCompliance >= 3; }, 20000));
  Pump(300);
  const int held = LatestSnapshot()->counters.samplesInCompliance;
  const wxString state = Frame()->PaneText(kRunStatePane);
  EXPECT_TRUE(state.StartsWith(wxString::Format(
      "In compliance since 00:00:01 (%d samples): raise the current limit in Setup > Instrument... %d of 600 samples "
      "written, ",
      held, LatestSnapshot()->counters.samplesTaken)))
      << state;
  EXPECT_NE(Bar().GetBackgroundColour(), normal) << "a colour that stands out";
  // Empty lock-key panes take no room; the two texts share the rest by need.
  // The last one keeps only the size grip's room.
  for (int pane = 2; pane < 5; ++pane) {
    if (Bar().GetStatusText(pane).empty()) {
      EXPECT_LT(FieldWidth(pane), pane == 4 ? Bar().GetClientSize().y : 1) << pane;
    }
  }
  EXPECT_GT(FieldWidth(kMessagePane) + FieldWidth(kRunStatePane), 960 - 60);
  Describe("960 px, in compliance");
  EXPECT_TRUE(Whole(kMessagePane) && Whole(kRunStatePane)) << "a pane is cut at 960 px";
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-960-compliance.png"));

  // The live plot puts the held current mid-plot on an axis around 1e-7, not at 0.
  const SnapshotPtr run = LatestSnapshot();
  EXPECT_NEAR(run->latest.current, 1e-7, 1e-9);

  // Run Details holds every text whole.
  driver.Script({[&](wxDialog& dialog) {
    const wxString details = dynamic_cast<CRunDetailsDlg&>(dialog).Text();
    EXPECT_TRUE(details.Contains(Bar().GetStatusText(kRunStatePane))) << details;
    EXPECT_TRUE(details.Contains("Samples in compliance: ")) << details;
    SaveScreen("ivra-gui-run-details.png");
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_VIEW_RUN_DETAILS);
  ASSERT_TRUE(PumpUntil([&] { return driver.PendingScripts() == 0 && driver.DialogsClosed() >= 3; }, 5000));

  PostMenu(ID_MEASUREMENT_STOP);
  Pump(300);
  const int total = LatestSnapshot()->counters.samplesInCompliance;
  const wxString ended = Frame()->PaneText(kRunStatePane);
  EXPECT_TRUE(ended.Contains(wxString::Format(" samples written, %d in compliance, ", total))) << ended;
  // The message pane does not repeat the state pane's count, nor the counters that are zero.
  EXPECT_EQ(Frame()->PaneText(kMessagePane),
            wxString::Format("Stopped: %d samples written, nothing missed", LatestSnapshot()->counters.samplesTaken));
  EXPECT_EQ(Bar().GetBackgroundColour(), normal) << "the colour goes with the run";
  Describe("960 px, stopped");
  EXPECT_TRUE(Whole(kMessagePane) && Whole(kRunStatePane)) << "a pane is cut at 960 px";
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-960-stopped.png"));
}

TEST(WindowTruth, AFailedStartAfterACompletedRunSaysWhyAndSetupReopensWithTheValuesAndTheFieldAtFault) {
  SimProcess sim(TempPath("truth-failed-sim.log"));
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  Frame()->SetSize(960, 600);
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("done.dat"), "10"));
  ASSERT_TRUE(PumpUntilCollected([] { return !LatestSnapshot()->Measuring(); }, 25000));
  Pump(300);
  ASSERT_TRUE(Frame()->PaneText(kRunStatePane).StartsWith("Completed after ")) << Frame()->PaneText(kRunStatePane);

  std::vector<wxString> reopened;
  int focusedId = -1;
  driver.Script({[](wxDialog& dialog) {
    SetField(dialog, IDC_SAMPLE_INTERVAL, "2");
    SetField(dialog, IDC_MEASUREMENT_TIME, "30");
    SetField(dialog, IDC_OUTPUT_VOLTAGE, "1.25");
    SetField(dialog, IDC_OUTPUT_FILE, "/no-such-ivra-folder/x.dat");
    ClickButton(dialog, wxID_OK);
  }});
  driver.Script({[&](wxDialog& dialog) {
                   reopened = {FieldValue(dialog, IDC_SAMPLE_INTERVAL), FieldValue(dialog, IDC_MEASUREMENT_TIME),
                               FieldValue(dialog, IDC_OUTPUT_VOLTAGE), FieldValue(dialog, IDC_OUTPUT_FILE)};
                   // The dialog moves the focus once it is on screen, after the
                   // platform has put it on the first control.
                   focusedId = FocusedIdAfterWaitingFor(dialog, IDC_OUTPUT_FILE);
                   SaveScreen("ivra-gui-setup-reopened.png");
                 },
                 [](wxDialog& dialog) { ClickButton(dialog, wxID_CANCEL); }});
  driver.ClearMessages();
  const int closed = driver.DialogsClosed();
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() >= closed + 2; }, 10000));
  Pump(200);
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_TRUE(driver.Messages()[0].text.StartsWith("Can't create file")) << driver.Messages()[0].text;
  EXPECT_EQ(reopened, (std::vector<wxString>{"2", "30", "1.25", "/no-such-ivra-folder/x.dat"}));
  EXPECT_EQ(focusedId, IDC_OUTPUT_FILE);
  // The state pane says why, and nothing of the completed run under the new settings.
  EXPECT_EQ(Frame()->PaneText(kRunStatePane), "Start failed: can't create x.dat, its folder does not exist");
  Pump(1500);  // idle ticks leave it standing
  EXPECT_EQ(Frame()->PaneText(kRunStatePane), "Start failed: can't create x.dat, its folder does not exist");
  EXPECT_EQ(Frame()->PaneText(kMessagePane), "Completed: 10 samples written, nothing missed");
  Describe("960 px, failed Start");
  EXPECT_TRUE(Whole(kMessagePane) && Whole(kRunStatePane)) << "a pane is cut at 960 px";
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-failed-start.png"));

  // The next Setup still shows every field of the Start that failed.
  std::vector<wxString> next;
  driver.Script({[&](wxDialog& dialog) {
    next = {FieldValue(dialog, IDC_SAMPLE_INTERVAL), FieldValue(dialog, IDC_MEASUREMENT_TIME),
            FieldValue(dialog, IDC_OUTPUT_VOLTAGE)};
    ClickButton(dialog, wxID_CANCEL);
  }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return driver.PendingScripts() == 0; }, 5000));
  EXPECT_EQ(next, (std::vector<wxString>{"2", "30", "1.25"}));
}

TEST(WindowTruth, ClosingWhileMeasuringAsksAndCancelKeepsTheRun) {
  SimProcess sim(TempPath("truth-close-sim.log"));
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  DialogDriver driver;
  const std::string dataPath = TempPath("close-question.dat");
  ASSERT_TRUE(StartThroughDialog(driver, dataPath, "600"));
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->counters.samplesTaken >= 2; }, 15000));

  // The close box: Cancel, the default, keeps the window and the run.
  wxString asked;
  driver.ShowMessageBoxesAndRun([&](wxDialog& box) {
    asked = dynamic_cast<wxMessageDialogBase&>(box).GetMessage();
    SaveScreen("ivra-gui-close-question.png");
    box.EndModal(wxID_CANCEL);
  });
  wxWeakRef<wxWindow> frame(Frame());
  Frame()->CallAfter([] { Frame()->Close(); });
  ASSERT_TRUE(PumpUntil([&] { return !asked.empty(); }, 5000)) << "no question";
  Pump(300);
  EXPECT_TRUE(asked.StartsWith("A measurement is running (")) << asked;
  EXPECT_TRUE(
      asked.EndsWith(" samples written to " + wxString::FromUTF8(dataPath) + "). Stop it and close the window?"))
      << asked;
  ASSERT_TRUE(frame);
  EXPECT_TRUE(View()->Measuring());
  EXPECT_EQ(driver.Messages().back().style & wxCANCEL_DEFAULT, wxCANCEL_DEFAULT);

  // File > Exit asks the same; "Stop and Close" ends the run and the window.
  asked.clear();
  driver.ShowMessageBoxesAndRun([&](wxDialog& box) {
    asked = dynamic_cast<wxMessageDialogBase&>(box).GetMessage();
    box.EndModal(wxID_OK);
  });
  PostMenu(ID_APP_EXIT);
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the window did not close";
  EXPECT_TRUE(asked.StartsWith("A measurement is running (")) << asked;
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  EXPECT_EQ(LatestSnapshot()->endReason, RunEndReason::WindowClosed);
}

TEST(WindowTruth, AZoomDragShowsItsBandAndTheZoomIsSaid) {
  SimProcess sim(TempPath("truth-band-sim.log"), {"--noise", "5e-8"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("band.dat"), "600"));
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->counters.samplesTaken >= 4; }, 20000));
  PostMenu(ID_MEASUREMENT_STOP);
  PostMenu(ID_VIEW_WHOLE_RUN);
  Pump(300);
  wxWindow* canvas = View()->Canvas();
  auto send = [canvas](wxEventType type, int x, bool leftDown) {
    wxMouseEvent event(type);
    event.m_x = x;
    event.m_y = 100;
    event.m_leftDown = leftDown;
    event.SetEventObject(canvas);
    canvas->GetEventHandler()->ProcessEvent(event);
  };
  const int width = canvas->GetClientSize().x;
  const wxBitmap before = RenderView();
  send(wxEVT_LEFT_DOWN, width / 3, true);
  send(wxEVT_MOTION, width / 2, true);
  Pump(300);
  const wxBitmap banded = RenderView();
  EXPECT_FALSE(SameBitmaps(before, banded)) << "the band shows while dragging";
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-drag-band.png"));
  send(wxEVT_LEFT_UP, width / 2, false);
  Pump(200);
  EXPECT_TRUE(View()->WholeRun().Zoomed());
  EXPECT_EQ(Frame()->PaneText(kMessagePane), CIvraView::ZoomedText());
  EXPECT_TRUE(Frame()->PaneText(kMessagePane).EndsWith("Home or Escape: whole run"));
  wxKeyEvent key(wxEVT_KEY_DOWN);
  key.m_keyCode = WXK_ESCAPE;
  key.SetEventObject(canvas);
  canvas->GetEventHandler()->ProcessEvent(key);
  EXPECT_FALSE(View()->WholeRun().Zoomed());
  EXPECT_NE(Frame()->PaneText(kMessagePane), CIvraView::ZoomedText());
}

TEST(StatusLine, TheMessageAndStatePanesShareWhatTheLockKeysLeaveByNeed) {
  // Message, state, CAP, NUM, SCRL (with the grip's room).
  const auto share = [](std::vector<int> needs, int room) { return ShareStatusWidths(needs, room); };
  // Both fit: the state pane gets its need, the message pane the rest; an empty key pane nothing.
  EXPECT_EQ(share({300, 400, 0, 30, 40}, 960), (std::vector<int>{490, 400, 0, 30, 40}));
  // One text is short: it stays whole and the other gets the rest.
  EXPECT_EQ(share({100, 1200, 0, 0, 30}, 930), (std::vector<int>{100, 800, 0, 0, 30}));
  EXPECT_EQ(share({1000, 200, 0, 0, 30}, 930), (std::vector<int>{700, 200, 0, 0, 30}));
  // Two long texts share by need, and the bar is filled to the pixel.
  EXPECT_EQ(share({600, 900, 0, 0, 0}, 900), (std::vector<int>{360, 540, 0, 0, 0}));
  // A bar narrower than the keys: no pane gets a negative width.
  EXPECT_EQ(share({50, 50, 40, 40, 40}, 100), (std::vector<int>{0, 0, 40, 40, 40}));
}

TEST(StatusLine, RunDetailsHoldWhatThePanesLeaveOut) {
  RunSnapshot run;
  EXPECT_EQ(RunDetailsText(run, "", "Ready"), "State: no measurement yet\nMessage: Ready\n");
  run.state = RunState::Ended;
  run.endReason = RunEndReason::StoppedByUser;
  run.elapsedSeconds = 75;
  run.settings.portPath = "/dev/ttyUSB0";
  run.settings.outputPath = "/data/run\n1.dat";
  run.counters.samplesTaken = 12;
  run.counters.lostLines = 1;
  run.counters.missedSamples = 2;
  run.counters.missedByReason[static_cast<int>(MissReason::NoReply)] = 2;
  run.counters.samplesInCompliance = 5;
  const std::string message = RunEndText(run);
  EXPECT_EQ(message, "Stopped: 11 samples written, 2 missed (2 no reply), 1 lost");
  const std::string details = RunDetailsText(run, RunStateText(run, false), message);
  // The zero counters the pane leaves out, the summary as ivra-run prints it, escaped paths.
  for (const char* line : {"Message: Stopped: 11 samples written, 2 missed (2 no reply), 1 lost\n",
                           "Summary: 11 samples written, 2 missed (2 no reply), 1 lost, 0 port losses, 0 stale "
                           "replies discarded, 5 in compliance\n",
                           "Samples written: 11\n", "  no reply: 2\n", "Port losses: 0\n", "Samples in compliance: 5\n",
                           "Run time: 00:01:15\n", "Output file: /data/run\\n1.dat\n"}) {
    EXPECT_NE(details.find(line), std::string::npos) << line << "\nin:\n" << details;
  }
  EXPECT_EQ(details.rfind("State: Stopped after 00:01:15: 11 of ", 0), 0u) << details;
}
