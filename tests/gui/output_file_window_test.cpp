// The output file in the window: a file with data is replaced only when the
// user says so, Browse... picks a file, the last one is offered again, and the
// status bar follows the run from Start to its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

#include "programs/ivra/main_frame.h"
#include "tests/gui/gui_test_support.h"
#include "text/run_state_text.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void StopIfMeasuring() {
  if (!View()->Measuring()) return;
  PostMenu(ID_MEASUREMENT_STOP);
  PumpUntil([] { return !View()->Measuring(); }, 10000);
}

}  // namespace

TEST(OutputFileWindow, AFileWithDataIsReplacedOnlyAfterReplaceAndCancelKeepsTheDialogAsItWas) {
  SimProcess sim(TempPath("replace.log"));
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  const std::string dataPath = TempPath("replace.dat");
  std::string yesterday;
  for (int i = 1; i <= 50; ++i) yesterday += std::to_string(i) + ".00\ts\t0.5\tuA\n";
  { std::ofstream(dataPath, std::ios::binary) << yesterday; }

  DialogDriver driver;
  std::vector<long> answers = {wxID_CANCEL, wxID_OK};  // Cancel first, then Replace
  std::vector<wxString> buttons;
  driver.ShowMessageBoxesAndRun([&](wxDialog& box) {
    if (answers.size() == 2) SaveScreen("ivra-gui-replace-question.png");
    for (wxWindow* child : box.GetChildren()) {
      if (child->IsKindOf(wxCLASSINFO(wxButton))) buttons.push_back(child->GetLabel());
    }
    const long answer = answers.front();
    answers.erase(answers.begin());
    box.EndModal(answer);
  });
  std::string bytesAfterCancel;
  std::vector<wxString> keptAfterCancel;
  bool openAfterCancel = false;
  // One step: each OK returns only once its question has been answered.
  driver.Script({[&](wxDialog& dialog) {
    SelectPort(dialog, 1);
    SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(dataPath));
    SetField(dialog, IDC_MEASUREMENT_TIME, "600");
    SetField(dialog, IDC_SAMPLE_INTERVAL, "2");
    ClickButton(dialog, wxID_OK);
    openAfterCancel = dialog.IsModal();
    bytesAfterCancel = FileBytes(dataPath);
    keptAfterCancel = {FieldValue(dialog, IDC_OUTPUT_FILE), FieldValue(dialog, IDC_MEASUREMENT_TIME),
                       FieldValue(dialog, IDC_SAMPLE_INTERVAL)};
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([] { return View()->Measuring(); }, 10000));
  const std::string bytesAfterReplace = FileBytes(dataPath);

  EXPECT_TRUE(openAfterCancel);
  EXPECT_EQ(bytesAfterCancel, yesterday);
  EXPECT_EQ(keptAfterCancel, (std::vector<wxString>{wxString::FromUTF8(dataPath), "600", "2"}));
  EXPECT_EQ(bytesAfterReplace, "") << "the first sample is due only after 2 s";
  ASSERT_EQ(driver.Messages().size(), 2u);
  EXPECT_EQ(driver.Messages()[0].text, wxString::FromUTF8(dataPath) + " already holds 50 lines. Replace it?");
  EXPECT_EQ(driver.Messages()[1].text, driver.Messages()[0].text);
  std::sort(buttons.begin(), buttons.end());  // the order is the platform's
  EXPECT_EQ(buttons, (std::vector<wxString>{"Cancel", "Cancel", "Replace", "Replace"}));
  StopIfMeasuring();

  // The next Setup offers the same file again, and an empty one is never asked about.
  wxString offered;
  driver.ClearMessages();
  { std::ofstream(dataPath, std::ios::binary).close(); }
  driver.Script({[&](wxDialog& dialog) {
    offered = FieldValue(dialog, IDC_OUTPUT_FILE);
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([] { return View()->Measuring(); }, 10000));
  EXPECT_EQ(offered, wxString::FromUTF8(dataPath));
  EXPECT_TRUE(driver.Messages().empty());
  StopIfMeasuring();
  Ports() = PortTable();
}

TEST(OutputFileWindow, BrowseStartsInTheFilesFolderAndPutsThePickedPathIntoTheField) {
  DialogDriver driver;
  const std::string folder = TempPath("browse");
  std::filesystem::create_directories(folder);
  const std::string picked = folder + "/picked.dat";
  wxString startFolder, startName, filters, fieldAfter;
  int focusAfter = -1;
  driver.Script({
      [&](wxDialog& dialog) {
        SetField(dialog, IDC_OUTPUT_FILE, wxString::FromUTF8(folder + "/old.dat"));
        ClickButton(dialog, IDC_BROWSE);  // the file dialog's script runs inside this
        fieldAfter = FieldValue(dialog, IDC_OUTPUT_FILE);
        focusAfter = FocusedIdAfterWaitingFor(dialog, IDC_OUTPUT_FILE);
        ClickButton(dialog, wxID_CANCEL);
      },
  });
  driver.Script({[&](wxDialog& dialog) {
    auto& files = dynamic_cast<wxFileDialog&>(dialog);
    startFolder = files.GetDirectory();
    startName = files.GetFilename();
    filters = files.GetWildcard();
    files.SetPath(wxString::FromUTF8(picked));
    files.EndModal(wxID_OK);
  }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() >= 2; }, 10000));
  Pump(100);
  EXPECT_EQ(startFolder, wxString::FromUTF8(folder));
  EXPECT_EQ(startName, "old.dat");
  EXPECT_EQ(filters, "Data files (*.dat)|*.dat|All files (*)|*");
  EXPECT_EQ(fieldAfter, wxString::FromUTF8(picked));
  EXPECT_EQ(focusAfter, IDC_OUTPUT_FILE);
  EXPECT_FALSE(View()->Measuring()) << "Cancel in Setup starts nothing";
  std::filesystem::remove_all(folder);
}

TEST(RunStateWindow, TheStatusBarFollowsAWholeRunAndTheCaptionNamesTheFile) {
  SimProcess sim(TempPath("state.log"));
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  const std::string dataPath = TempPath("state.dat");
  std::remove(dataPath.c_str());
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, dataPath, "10"));
  const wxString name = wxString::FromUTF8(OutputFileName(dataPath));
  EXPECT_EQ(Frame()->GetTitle(), name + " - Ivra");

  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->counters.samplesTaken >= 3; }, 15000));
  Pump(300);
  const wxString measuring = Frame()->PaneText(kRunStatePane);
  EXPECT_TRUE(measuring.StartsWith("Measuring: 00:00:0")) << measuring;
  EXPECT_TRUE(measuring.EndsWith(" left, " + wxString::Format("%d", LatestSnapshot()->counters.samplesTaken) +
                                 " of 10 samples written, " + name))
      << measuring;
  EXPECT_TRUE(Frame()->PaneText(0).StartsWith("Sampling every 1 s at 1.5 V on ")) << Frame()->PaneText(0);
  SaveScreen("ivra-gui-state-measuring.png");

  ASSERT_TRUE(PumpUntilCollected([] { return !LatestSnapshot()->Measuring(); }, 20000));
  Pump(300);
  const wxString completed = Frame()->PaneText(kRunStatePane);
  EXPECT_TRUE(completed.StartsWith("Completed after 00:00:1")) << completed;  // the stop tick, by the wall clock
  EXPECT_TRUE(completed.EndsWith(": 10 of 10 samples written, " + name)) << completed;
  const wxString announced = Frame()->PaneText(0);
  // Only the troubles that happened; the zero counters are in Run Details.
  EXPECT_EQ(announced, "Completed: 10 samples written, nothing missed");
  SaveScreen("ivra-gui-state-completed.png");
  // Said once: a message put there afterwards stays.
  Frame()->SetStatusText("menu prompt", 0);
  Pump(1500);
  EXPECT_EQ(Frame()->PaneText(0), "menu prompt");
  EXPECT_EQ(Frame()->GetTitle(), name + " - Ivra");

  // A Stop says Stopped until the next Start.
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("state2.dat"), "600"));
  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_TRUE(PumpUntil([] { return !View()->Measuring(); }, 10000));
  EXPECT_TRUE(Frame()->PaneText(kRunStatePane).StartsWith("Stopped after ")) << Frame()->PaneText(kRunStatePane);
  // A tick may land between Start and Stop on a busy machine: the pane says what was written.
  const int written = LatestSnapshot()->counters.samplesTaken;
  EXPECT_LE(written, 1);
  EXPECT_TRUE(Frame()->PaneText(0).StartsWith(wxString::Format("Stopped: %d sample", written))) << Frame()->PaneText(0);
  Ports() = PortTable();
}
