// Fifty samples a second in the window: the Instrument dialog tells the least
// interval of its values as they are edited, the Setup dialog takes 0.02 s,
// the run keeps its grid (voltage once, the short reply, three decimals), the
// canvas repaints at most about 30 times a second, the whole-run view gets
// every sample, and Stop switches the output off.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include <wx/choice.h>
#include <wx/stattext.h>

#include "instrument/instrument_settings.h"
#include "tests/gui/gui_test_support.h"
#include "text/setting_checks.h"
#include "ui/command_ids.h"
#include "ui/instrument_dlg.h"
#include "ui/ivra_view.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// As the user's pick does: the selection, then the event.
void Choose(wxDialog& dialog, int id, int index) {
  auto* choice = dynamic_cast<wxChoice*>(dialog.FindWindow(id));
  choice->SetSelection(index);
  wxCommandEvent event(wxEVT_CHOICE, id);
  event.SetEventObject(choice);
  event.SetInt(index);
  choice->GetEventHandler()->ProcessEvent(event);
}

wxString LeastIntervalShown(wxDialog& dialog) {
  return dynamic_cast<wxStaticText*>(dialog.FindWindow(IDC_LEAST_INTERVAL))->GetLabel();
}

struct PaintCounter {
  void OnPaint(wxPaintEvent& event) {
    ++paints;
    event.Skip();
  }
  int paints = 0;
};

int Count(const std::vector<std::string>& commands, const std::string& prefix) {
  return static_cast<int>(
      std::count_if(commands.begin(), commands.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

}  // namespace

TEST(FastSamplingWindow, FiftySamplesASecondKeepTheGridDrawAtMostThirtyTimesASecondAndStopCleanly) {
  const std::string logPath = TempPath("fast.log");
  SimProcess sim(logPath, {"--baud", "57600"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  const std::string dataPath = TempPath("fast.dat");
  std::remove(dataPath.c_str());

  InstrumentSettings fast;
  fast.nplc = 0.01;
  fast.autoZero = AutoZero::Off;
  fast.baud = 57600;
  wxString leastAtOpen, leastTooFast, leastEdited, reopenedInterval;
  DialogDriver driver;
  driver.Script({[&](wxDialog& setup) {
    SelectPort(setup, 1);
    SetField(setup, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
    SetField(setup, IDC_MEASUREMENT_TIME, "600");
    SetField(setup, IDC_OUTPUT_VOLTAGE, "1.5");
    SetField(setup, IDC_SAMPLE_INTERVAL, "0.02");
    ClickButton(setup, IDC_INSTRUMENT);  // the Instrument dialog's script runs inside this
    ClickButton(setup, wxID_OK);
  }});
  driver.Script({[&](wxDialog& dialog) {
    leastAtOpen = LeastIntervalShown(dialog);
    SetField(dialog, IDC_NPLC, "0.01");
    Choose(dialog, IDC_AUTO_ZERO, 2);  // Off
    leastTooFast = LeastIntervalShown(dialog);
    Choose(dialog, IDC_BAUD_RATE, BaudRateIndex(57600));
    leastEdited = LeastIntervalShown(dialog);
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([] { return View()->Measuring(); }, 15000)) << "Start through the dialogs";
  EXPECT_TRUE(driver.Messages().empty()) << driver.Messages().front().text;

  // The figures themselves are checked against worked cases elsewhere; here,
  // that the label follows the fields as they change.
  EXPECT_EQ(leastAtOpen, wxString::FromUTF8(LeastIntervalNote(InstrumentSettings{})));
  InstrumentSettings slowLine = fast;
  slowLine.baud = InstrumentSettings{}.baud;
  EXPECT_EQ(leastTooFast, wxString::FromUTF8(LeastIntervalNote(slowLine)));
  EXPECT_EQ(leastEdited, wxString::FromUTF8(LeastIntervalNote(fast)));

  PaintCounter counter;
  View()->Canvas()->Bind(wxEVT_PAINT, &PaintCounter::OnPaint, &counter);
  const auto watched = SteadyClock::now();
  ASSERT_TRUE(PumpUntil([] { return LatestSnapshot()->counters.samplesTaken >= 100; }, 30000));
  Pump(500);
  const double seconds = std::chrono::duration<double>(SteadyClock::now() - watched).count();
  View()->Canvas()->Unbind(wxEVT_PAINT, &PaintCounter::OnPaint, &counter);
  // Fewer on a busy machine, never more: the frame timer paces them.
  EXPECT_LE(counter.paints, static_cast<int>(30 * seconds) + 3) << "over " << seconds << " s";
  EXPECT_GT(counter.paints, 0);

  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_TRUE(PumpUntil([] { return !View()->Measuring(); }, 10000));
  const SnapshotPtr end = LatestSnapshot();
  const int taken = end->counters.samplesTaken;
  EXPECT_EQ(View()->WholeRun().Store().Count(), static_cast<std::size_t>(taken)) << "every sample in the whole run";

  const std::vector<std::string> lines = ReadLines(dataPath);
  EXPECT_EQ(static_cast<int>(lines.size()), taken - end->counters.lostLines);
  const std::regex line(R"(^\d+\.\d{3}\ts\t\S+\tuA$)");
  double previous = -1.0;
  for (const std::string& text : lines) {
    ASSERT_TRUE(std::regex_match(text, line)) << text;
    const double t = std::stod(text);
    EXPECT_GT(t, previous) << text;
    previous = t;
  }

  const std::vector<std::string> commands = LoggedCommands(logPath);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
  EXPECT_EQ(Count(commands, ":SOUR:VOLT"), 1) << "the voltage once, not before every read";
  EXPECT_EQ(Count(commands, ":FORM:ELEM VOLT,CURR,STAT"), 1);
  EXPECT_GE(Count(commands, ":READ?"), taken);

  // The next Setup offers the interval as it was typed.
  driver.Script({[&](wxDialog& setup) {
    reopenedInterval = FieldValue(setup, IDC_SAMPLE_INTERVAL);
    ClickButton(setup, wxID_CANCEL);
  }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() >= 3; }, 10000));
  EXPECT_EQ(reopenedInterval, "0.02");
  Ports() = PortTable();
}
