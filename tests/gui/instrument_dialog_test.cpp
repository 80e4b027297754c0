// The Instrument dialog opened from Setup: what it shows, what it refuses, and
// that its values go with an accepted Setup into the run and into the profile.
#include <gtest/gtest.h>

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/fileconf.h>
#include <wx/textctrl.h>

#include "programs/ivra/main_frame.h"
#include "run/measurement_run.h"
#include "tests/gui/gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/instrument_dlg.h"
#include "ui/ivra_view.h"
#include "ui/setup_settings.h"

namespace {

// Runs Start with Setup and the Instrument dialog it opens scripted; waits
// until both are done.
void RunStart(DialogDriver& driver, std::vector<DialogDriver::Step> setupSteps,
              std::vector<DialogDriver::Step> instrumentSteps) {
  driver.Script(std::move(setupSteps));
  driver.Script(std::move(instrumentSteps));
  const int closed = driver.DialogsClosed();
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() >= closed + 2; }, 10000));
  Pump(100);
}

wxChoice& ChoiceOf(wxDialog& dialog, int id) { return *dynamic_cast<wxChoice*>(dialog.FindWindow(id)); }

// Starts 0.5 V on COM2 (the simulator's) with `limit` typed into the
// Instrument dialog, the range on Auto and the line at the simulator's 9600
// baud, whatever earlier tests left in the profile.
void StartWithCurrentLimit(DialogDriver& driver, const std::string& dataPath, const wxString& limit) {
  RunStart(driver, {[&](wxDialog& setup) {
             ClickButton(setup, IDC_INSTRUMENT);
             SelectPort(setup, 1);
             SetField(setup, IDC_OUTPUT_VOLTAGE, "0.5");
             SetField(setup, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
             ClickButton(setup, wxID_OK);
           }},
           {[&](wxDialog& dialog) {
             SetField(dialog, IDC_CURRENT_LIMIT, limit);
             ChoiceOf(dialog, IDC_CURRENT_RANGE).SetSelection(0);  // a fixed one may lie below the limit
             ChoiceOf(dialog, IDC_BAUD_RATE).SetSelection(BaudRateIndex(9600));
             ClickButton(dialog, wxID_OK);
           }});
}

std::vector<wxString> Shown(wxDialog& dialog) {
  return {FieldValue(dialog, IDC_CURRENT_LIMIT),
          ChoiceOf(dialog, IDC_CURRENT_RANGE).GetStringSelection(),
          FieldValue(dialog, IDC_NPLC),
          ChoiceOf(dialog, IDC_AUTO_ZERO).GetStringSelection(),
          ChoiceOf(dialog, IDC_BAUD_RATE).GetStringSelection(),
          ChoiceOf(dialog, IDC_LINE_FORMAT).GetStringSelection()};
}

}  // namespace

TEST(InstrumentDialog, RefusesBadValuesInTheFieldAndHandsTheChoiceToStart) {
  DialogDriver driver;
  std::vector<wxString> shownAtOpen, shownNextTime;
  std::vector<int> focusIds;
  auto focused = [&](wxDialog& dialog, int expectedId) {
    focusIds.push_back(FocusedIdAfterWaitingFor(dialog, expectedId));
  };
  // Setup opens Instrument (its script is the next one); a Start that fails at
  // once, on an output file in no folder, still keeps the accepted values.
  // One step: the Instrument dialog's modal loop runs its script inside it.
  RunStart(driver, {[&](wxDialog& setup) {
             ClickButton(setup, IDC_INSTRUMENT);
             SetField(setup, IDC_OUTPUT_FILE, "/no-such-ivra-folder/x.dat");
             ClickButton(setup, wxID_OK);
           }},
           {
               [&](wxDialog& dialog) {
                 EXPECT_EQ(dialog.GetTitle(), "Instrument");
                 shownAtOpen = Shown(dialog);
                 SetField(dialog, IDC_CURRENT_LIMIT, "1.0500001");
                 SetField(dialog, IDC_NPLC, "11");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 focused(dialog, IDC_CURRENT_LIMIT);
                 SetField(dialog, IDC_CURRENT_LIMIT, "1e-3");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 focused(dialog, IDC_NPLC);
                 EXPECT_EQ(FieldValue(dialog, IDC_NPLC), "11") << "the typed text stays";
                 SetField(dialog, IDC_NPLC, "0.1x");
                 ClickButton(dialog, wxID_OK);
               },
               [&](wxDialog& dialog) {
                 SetField(dialog, IDC_NPLC, "0.01");
                 ChoiceOf(dialog, IDC_CURRENT_RANGE).SetSelection(4);
                 ChoiceOf(dialog, IDC_AUTO_ZERO).SetSelection(1);
                 ChoiceOf(dialog, IDC_BAUD_RATE).SetSelection(8);
                 ChoiceOf(dialog, IDC_LINE_FORMAT).SetSelection(3);
                 ClickButton(dialog, wxID_OK);
               },
           });
  EXPECT_FALSE(View()->Measuring());

  EXPECT_EQ(shownAtOpen, (std::vector<wxString>{"0.000105", "Auto", "1", "On", "9600", "8 data bits, no parity"}));
  std::vector<wxString> texts;
  for (const CapturedMessage& message : driver.Messages()) texts.push_back(message.text);
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(std::vector<wxString>(texts.begin(), texts.begin() + 3),
            (std::vector<wxString>{"Please enter a number between 1e-09 and 1.05.",
                                   "Please enter a number between 0.01 and 10.", "Please enter a number."}));
  EXPECT_EQ(focusIds, (std::vector<int>{IDC_CURRENT_LIMIT, IDC_NPLC}));

  InstrumentSettings expected;
  expected.currentLimit = 1e-3;
  expected.currentRange = 1e-3;
  expected.nplc = 0.01;
  expected.autoZero = AutoZero::Once;
  expected.baud = 57600;
  expected.lineFormat = LineFormat{Parity::Even, 7};
  EXPECT_TRUE(LatestSnapshot()->settings.instrument == expected);

  // The next Setup presets them; its Cancel keeps them.
  driver.ClearMessages();
  RunStart(driver, {[&](wxDialog& setup) {
             ClickButton(setup, IDC_INSTRUMENT);
             ClickButton(setup, wxID_CANCEL);
           }},
           {[&](wxDialog& dialog) {
             shownNextTime = Shown(dialog);
             ChoiceOf(dialog, IDC_BAUD_RATE).SetSelection(0);
             ClickButton(dialog, wxID_OK);
           }});
  EXPECT_EQ(shownNextTime,
            (std::vector<wxString>{"0.001", "1 mA", "0.01", "Once", "57600", "7 data bits, even parity"}));
  EXPECT_TRUE(LatestSnapshot()->settings.instrument == expected) << "Setup's Cancel takes nothing";
}

TEST(InstrumentDialog, TheProfileKeepsTheValuesExactlyAndRefusesWhatTheDialogWould) {
  const std::string path = TempPath("profile.ini");
  InstrumentSettings chosen;
  chosen.currentLimit = 0.1 + 0.2;  // no short decimal reads back as this
  chosen.currentRange = 100e-6;
  chosen.nplc = 7.5;
  chosen.autoZero = AutoZero::Off;
  chosen.baud = 300;
  chosen.lineFormat = LineFormat{Parity::Odd, 7};
  {
    wxFileConfig profile(wxEmptyString, wxEmptyString, wxString::FromUTF8(path));
    SaveInstrumentSettings(profile, chosen);
    profile.Flush();
  }
  {
    wxFileConfig profile(wxEmptyString, wxEmptyString, wxString::FromUTF8(path));
    EXPECT_TRUE(LoadInstrumentSettings(profile) == chosen);
    // Hand-edited values the dialog would refuse come back as the defaults.
    profile.Write("/Instrument/CurrentLimit", "2");
    profile.Write("/Instrument/CurrentRange", "3e-3");
    profile.Write("/Instrument/NPLC", "0,5");
    profile.Write("/Instrument/AutoZero", "sometimes");
    profile.Write("/Instrument/Baud", 9601L);
    profile.Write("/Instrument/Parity", "none");  // 7 data bits without parity: not on the instrument's menu
    EXPECT_TRUE(LoadInstrumentSettings(profile) == InstrumentSettings{});
  }
  std::remove(path.c_str());
}

TEST(InstrumentDialog, ItsCurrentLimitReachesTheInstrumentBeforeTheOutputGoesOn) {
  const std::string logPath = TempPath("instrument-sim.log");
  SimProcess sim(logPath, {"--ohms", "1000"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  DialogDriver driver;
  StartWithCurrentLimit(driver, TempPath("instrument-run.dat"), "1e-3");
  ASSERT_TRUE(View()->Measuring()) << (driver.Messages().empty() ? "" : driver.Messages()[0].text);
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->history.count >= 1; }, 20000));
  PostMenu(ID_MEASUREMENT_STOP);
  const auto commands = LoggedCommands(logPath);
  const auto at = [&](const std::string& prefix) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      if (commands[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  };
  ASSERT_GE(at(":SENS:CURR:PROT "), 0);
  EXPECT_LT(at("*RST"), at(":SENS:CURR:PROT "));
  EXPECT_LT(at(":SENS:CURR:PROT "), at(":OUTP ON"));
  // 0.5 V across 1 kOhm draws 500 uA: under the raised limit, not held at 105 uA.
  EXPECT_NEAR(LatestSnapshot()->latest.current, 500e-6, 5e-6);
}

TEST(InstrumentDialog, TheStatePaneCountsEverySampleHeldAtTheLimit) {
  SimProcess sim(TempPath("compliance-sim.log"), {"--ohms", "1000"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  DialogDriver driver;
  // 0.5 V across 1 kOhm would draw 500 uA: every sample is held at 100 uA.
  StartWithCurrentLimit(driver, TempPath("compliance-run.dat"), "1e-4");
  ASSERT_TRUE(View()->Measuring()) << (driver.Messages().empty() ? "" : driver.Messages()[0].text);
  // The trouble is reported once, at the first sample; the count must follow the later ones.
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->counters.samplesInCompliance >= 3; }, 20000));
  const wxString pane = Frame()->PaneText(kRunStatePane);
  const wxString message = Frame()->PaneText(kMessagePane);
  const int counted = LatestSnapshot()->counters.samplesInCompliance;
  PostMenu(ID_MEASUREMENT_STOP);
  EXPECT_TRUE(pane.StartsWith(wxString::Format(
      "In compliance since 00:00:01 (%d samples): raise the current limit in Setup > Instrument... ", counted)))
      << pane;
  // The message pane does not say it a second time.
  EXPECT_EQ(message.Find("compliance"), wxNOT_FOUND) << message;
}
