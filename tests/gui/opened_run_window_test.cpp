// File > Open and the recent files: a data file shows in a read-only window of
// its own while a measurement runs on untouched; bad lines are counted, not
// guessed at; Reload reads what was appended; a recent file that is gone is
// said so and forgotten.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <wx/docview.h>
#include <wx/filehistory.h>
#include <wx/image.h>
#include <wx/progdlg.h>
#include <wx/utils.h>

#include "programs/ivra/ivra_doc_manager.h"
#include "programs/ivra/main_frame.h"
#include "tests/gui/gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/export_size_dlg.h"
#include "ui/ivra_view.h"
#include "ui/opened_run_frame.h"

namespace {

// A current that differs on every line, so a sample read twice, lost or
// shifted shows.
double CurrentAt(int line) { return 0.5 + 0.001 * line; }

std::string DataLine(int line) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f\ts\t%lg\tuA\n", line * 1.0, CurrentAt(line));
  return text;
}

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int SamplesWritten() {
  const RunCounters& counters = LatestSnapshot()->counters;
  return counters.samplesTaken - counters.lostLines;
}

CIvraDocManager& Manager() { return *static_cast<CIvraDocManager*>(wxDocManager::GetDocumentManager()); }

std::vector<COpenedRunFrame*> OpenedFrames() {
  std::vector<COpenedRunFrame*> frames;
  for (wxWindow* window : wxTopLevelWindows) {
    auto* frame = dynamic_cast<COpenedRunFrame*>(window);
    if (frame != nullptr && !frame->IsBeingDeleted()) frames.push_back(frame);
  }
  return frames;
}

void CloseOpenedFrames() {
  for (COpenedRunFrame* frame : OpenedFrames()) frame->Destroy();
  Pump(100);
}

void SendMouse(wxWindow* canvas, wxEventType type, int x) {
  wxMouseEvent event(type);
  event.m_x = x;
  event.m_y = 100;
  event.SetEventObject(canvas);
  canvas->GetEventHandler()->ProcessEvent(event);
}

}  // namespace

TEST(OpenedRun, ReloadReadsOnFromWhereTheLastReadStoppedAndAnEmptiedFileAfresh) {
  const std::string path = TempPath("growing.dat");
  std::string text;
  for (int line = 1; line <= 5; ++line) text += DataLine(line);
  // A line the writer has not finished: left for the next read.
  const std::string sixth = DataLine(6);
  text += sixth.substr(0, 7);
  { std::ofstream(path, std::ios::binary) << text; }

  OpenedRun run(path);
  ASSERT_EQ(run.ReadMore(), DataFileStatus::Read);
  EXPECT_EQ(run.Store().Count(), 5u);
  Append(path, sixth.substr(7) + "not a data line\n" + DataLine(8));
  ASSERT_EQ(run.ReadMore(), DataFileStatus::Read);
  EXPECT_FALSE(run.StartedAfresh());
  ASSERT_EQ(run.Store().Count(), 7u);
  EXPECT_DOUBLE_EQ(run.Store().TimeAt(5), 6.0) << "the cut line is read whole, once";
  EXPECT_NEAR(run.Store().ValueAt(0, 5), CurrentAt(6), 1e-6);
  EXPECT_EQ(run.Tally().badLines, 1u);
  EXPECT_EQ(run.Tally().firstBadLine, 7u) << "line numbers go on across reads";
  ASSERT_EQ(run.ReadMore(), DataFileStatus::Read);
  EXPECT_EQ(run.Store().Count(), 7u) << "nothing new, nothing twice";

  // A new measurement empties the file and writes again.
  { std::ofstream(path, std::ios::binary) << DataLine(1); }
  ASSERT_EQ(run.ReadMore(), DataFileStatus::Read);
  EXPECT_TRUE(run.StartedAfresh());
  EXPECT_EQ(run.Store().Count(), 1u);
  EXPECT_EQ(run.Tally().badLines, 0u);

  std::filesystem::remove(path);
  EXPECT_EQ(run.ReadMore(), DataFileStatus::CannotOpen);
  EXPECT_EQ(run.Store().Count(), 1u) << "what was read stays";
}

TEST(OpenedRun, ASlowReadShowsProgressLateAndCancelStopsItWhereReloadGoesOn) {
  const std::string path = TempPath("large.dat");
  constexpr int kLines = 1000000;
  {
    std::ofstream out(path, std::ios::binary);
    // Several read blocks, so the read can be cancelled part way.
    for (int line = 1; line <= kLines; ++line) out << DataLine(line);
  }
  OpenedRun run(path);
  constexpr long kQuietMs = 400;
  // Started first and read after each check, so it is never behind the
  // progress's own clock.
  wxStopWatch clock;
  ReadProgress progress(Frame(), "Reading large.dat...", kQuietMs);
  std::vector<std::pair<long, bool>> calls;  // when, and whether the dialog showed then
  const DataFileStatus status = run.ReadMore([&](std::uint64_t done, std::uint64_t total) {
    // A slow disk: each block takes 150 ms.
    wxMilliSleep(150);
    const bool goOn = progress(done, total);
    const long at = clock.Time();
    calls.emplace_back(at, progress.Shown());
    if (progress.Shown()) {
      for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxGenericProgressDialog*>(window);
        if (dialog == nullptr) continue;
        wxCommandEvent cancel(wxEVT_BUTTON, wxID_CANCEL);
        cancel.SetEventObject(dialog->FindWindow(wxID_CANCEL));
        dialog->FindWindow(wxID_CANCEL)->GetEventHandler()->ProcessEvent(cancel);
      }
    }
    return goOn;
  });
  ASSERT_EQ(status, DataFileStatus::Cancelled);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_TRUE(calls.back().second);
  // No dialog within the quiet time. (A slow build may read its first block
  // after the quiet time already; the rule holds for whatever calls there were.)
  for (const auto& [at, shown] : calls) EXPECT_TRUE(!shown || at >= kQuietMs) << "shown at " << at << " ms";
  const std::size_t partial = run.Store().Count();
  EXPECT_GT(partial, 0u);
  EXPECT_LT(partial, static_cast<std::size_t>(kLines));
  ASSERT_EQ(run.ReadMore(), DataFileStatus::Read);
  EXPECT_EQ(run.Store().Count(), static_cast<std::size_t>(kLines));
  EXPECT_EQ(run.Tally().badLines, 0u) << "no line was cut in two by the cancel";
  std::filesystem::remove(path);
}

TEST(OpenedRunWindow, OpenDuringAMeasurementLeavesItAloneAndReloadShowsWhatWasAppended) {
  const std::string logPath = TempPath("open-sim.log");
  SimProcess sim(logPath);
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  DialogDriver driver;
  const std::string measuredPath = TempPath("open-measured.dat");
  ASSERT_TRUE(StartThroughDialog(driver, measuredPath, "600"));
  ASSERT_TRUE(PumpUntilCollected([] { return SamplesWritten() >= 2; }, 20000));

  // 300 lines, line 101 not a data line, and a last line still being written.
  const std::string path = TempPath("opened.dat");
  std::string text;
  for (int line = 1; line <= 300; ++line) text += line == 101 ? std::string("garbage\n") : DataLine(line);
  const std::string line301 = DataLine(301);
  text += line301.substr(0, 8);
  { std::ofstream(path, std::ios::binary) << text; }

  const std::vector<std::string> commandsBefore = LoggedCommands(logPath);
  const wxString mainTitle = Frame()->GetTitle();
  CIvraView* const view = View();
  ASSERT_TRUE(Manager().OpenRunFile(path));
  ASSERT_EQ(OpenedFrames().size(), 1u);
  COpenedRunFrame* frame = OpenedFrames().front();
  EXPECT_EQ(FileBytes(path), text) << "opening writes nothing";
  EXPECT_TRUE(View()->Measuring());
  EXPECT_EQ(View(), view);
  EXPECT_EQ(Frame()->GetTitle(), mainTitle) << "the measurement's document is not the opened file";
  EXPECT_EQ(frame->GetTitle(), "ivra-gui-" + std::to_string(getpid()) + "-opened.dat (read-only) - Ivra");

  const RunStore& store = frame->Run().Store();
  ASSERT_EQ(store.Count(), 299u);
  EXPECT_DOUBLE_EQ(store.TimeAt(99), 100.0);
  EXPECT_DOUBLE_EQ(store.TimeAt(100), 102.0) << "the bad line is skipped, not guessed at";
  EXPECT_NEAR(store.ValueAt(0, 298), CurrentAt(300), 1e-6);
  EXPECT_TRUE(frame->PaneText(COpenedRunFrame::kMessagePane).Contains("Line 101 ")) << frame->PaneText(0);
  EXPECT_TRUE(frame->PaneText(COpenedRunFrame::kContentsPane).StartsWith("299 samples, 1.00 to 300.00 s"));
  ASSERT_EQ(driver.Messages().size(), 1u) << "the bad line is said once";
  EXPECT_TRUE(driver.Messages()[0].text.Contains(wxString::FromUTF8(path) + " is not a data line"));
  ASSERT_EQ(Manager().GetFileHistory()->GetCount(), 1u);
  EXPECT_EQ(Manager().GetFileHistory()->GetHistoryFile(0), wxString::FromUTF8(path));
  Pump(300);
  SaveScreen("ivra-gui-opened-during-measurement.png");

  // The writer finishes line 301 and adds ten more; F5 reads only those.
  Append(path, line301.substr(8));
  for (int line = 302; line <= 310; ++line) Append(path, DataLine(line));
  wxCommandEvent reload(wxEVT_MENU, wxID_REFRESH);
  frame->GetEventHandler()->ProcessEvent(reload);
  EXPECT_EQ(store.Count(), 299u + 10u);
  EXPECT_DOUBLE_EQ(store.TimeAt(store.Count() - 1), 310.0);
  EXPECT_EQ(frame->PaneText(COpenedRunFrame::kMessagePane), "10 new samples.");
  EXPECT_EQ(driver.Messages().size(), 1u) << "a reload says nothing in a box";

  // The measurement went on with its own commands alone, and its file holds
  // its own samples only.
  const int writtenAtOpen = SamplesWritten();
  ASSERT_TRUE(PumpUntilCollected([writtenAtOpen] { return SamplesWritten() >= writtenAtOpen + 2; }, 20000));
  const std::vector<std::string> commandsAfter = LoggedCommands(logPath);
  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_TRUE(PumpUntil([] { return !View()->Measuring(); }, 10000));
  // Every sample sends the same commands; the start's reset and set-up ones
  // came once.
  std::multiset<std::string> sent(commandsBefore.begin(), commandsBefore.end());
  std::set<std::string> sampleCommands;
  for (const std::string& command : sent) {
    if (sent.count(command) >= 2) sampleCommands.insert(command);
  }
  ASSERT_EQ(sampleCommands.count("*RST\r"), 0u);
  ASSERT_GT(commandsAfter.size(), commandsBefore.size());
  for (std::size_t i = commandsBefore.size(); i < commandsAfter.size(); ++i) {
    EXPECT_EQ(sampleCommands.count(commandsAfter[i]), 1u) << "command " << i << ": " << commandsAfter[i];
  }
  const std::vector<std::string> measured = ReadLines(measuredPath);
  EXPECT_EQ(static_cast<int>(measured.size()), SamplesWritten());
  for (const std::string& line : measured) EXPECT_EQ(line.find("uA"), line.size() - 2) << line;
  CloseOpenedFrames();
  std::filesystem::remove(path);
}

TEST(OpenedRunWindow, RecentFilesZoomExportAndFilesWithNothingToShow) {
  DialogDriver driver;
  // A day at one sample a second: a slow drift, noise, a step at 3 a.m. and
  // one spike, so the screenshot shows what the whole-run view is for.
  const std::string path = TempPath("day.dat");
  {
    std::ofstream out(path, std::ios::binary);
    unsigned noise = 12345;
    for (int line = 1; line <= 86400; ++line) {
      noise = noise * 1103515245u + 12345u;
      double current = 1.5 + 0.2 * std::sin(line / 14000.0) + 0.01 * ((noise >> 16) % 1000) / 1000.0;
      if (line >= 3 * 3600) current += 0.3;
      if (line == 60000) current += 2.0;
      char text[64];
      std::snprintf(text, sizeof text, "%.2f\ts\t%lg\tuA\n", line * 1.0, current);
      out << text;
    }
  }
  const std::string empty = TempPath("empty.dat");
  { std::ofstream(empty, std::ios::binary) << "Ivra run, not a data line\n\n"; }

  EXPECT_FALSE(Manager().OpenRunFile(empty));
  EXPECT_TRUE(OpenedFrames().empty()) << "no window for a file with nothing to show";
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_TRUE(driver.Messages()[0].text.Contains("holds no data line"));
  const std::size_t historyBefore = Manager().GetFileHistory()->GetCount();

  ASSERT_TRUE(Manager().OpenRunFile(path));
  EXPECT_EQ(driver.Messages().size(), 1u) << "a clean file opens without a word";
  ASSERT_EQ(Manager().GetFileHistory()->GetCount(), historyBefore + 1);
  CloseOpenedFrames();
  // The recent files open it the same way.
  PostMenu(wxID_FILE1);
  ASSERT_EQ(OpenedFrames().size(), 1u);
  COpenedRunFrame* frame = OpenedFrames().front();
  EXPECT_EQ(frame->Run().Store().Count(), 86400u);
  frame->SetSize(1000, 650);
  Pump(400);
  SaveScreen("ivra-gui-opened-day.png");

  // A drag zooms, Escape returns; the export draws what the window shows.
  const int width = frame->Canvas()->GetClientSize().x;
  SendMouse(frame->Canvas(), wxEVT_LEFT_DOWN, width / 2);
  SendMouse(frame->Canvas(), wxEVT_LEFT_UP, width / 2 + width / 8);
  EXPECT_TRUE(frame->Zoom().Zoomed());
  Pump(300);
  SaveScreen("ivra-gui-opened-day-zoomed.png");
  const std::string zoomedPng = TempPath("opened-zoomed.png");
  EXPECT_EQ(frame->ExportPlot(zoomedPng, 333, 222), "");
  wxKeyEvent escape(wxEVT_KEY_DOWN);
  escape.m_keyCode = WXK_ESCAPE;
  frame->Canvas()->GetEventHandler()->ProcessEvent(escape);
  EXPECT_FALSE(frame->Zoom().Zoomed());
  const std::string wholePng = TempPath("opened-whole.png");
  EXPECT_EQ(frame->ExportPlot(wholePng, 333, 222), "");
  wxImage zoomed(wxString::FromUTF8(zoomedPng));
  wxImage whole(wxString::FromUTF8(wholePng));
  ASSERT_TRUE(zoomed.IsOk() && whole.IsOk());
  EXPECT_EQ(whole.GetSize(), wxSize(333, 222)) << "the size given, not the window's";
  EXPECT_NE(std::string(reinterpret_cast<char*>(zoomed.GetData()), 333 * 222 * 3),
            std::string(reinterpret_cast<char*>(whole.GetData()), 333 * 222 * 3));
  // The size question starts at the window's size and holds to what a
  // picture may be.
  EXPECT_EQ(CExportSizeDlg(frame, frame->Canvas()->GetClientSize()).PictureSize(), frame->Canvas()->GetClientSize());
  EXPECT_EQ(CExportSizeDlg(frame, wxSize(3, 20000)).PictureSize(), wxSize(kSmallestPicture, kLargestPicture));
  const std::string svg = TempPath("opened-whole.svg");
  EXPECT_EQ(frame->ExportPlot(svg, 640, 480), "");
  EXPECT_NE(FileBytes(svg).find("<svg"), std::string::npos);
  CloseOpenedFrames();

  // A recent file that is gone: said so and taken off the list.
  std::filesystem::remove(path);
  PostMenu(wxID_FILE1);
  EXPECT_TRUE(OpenedFrames().empty());
  ASSERT_EQ(driver.Messages().size(), 2u);
  EXPECT_TRUE(driver.Messages()[1].text.Contains("no longer exists"));
  EXPECT_EQ(Manager().GetFileHistory()->GetCount(), historyBefore);
  for (const std::string& file : {empty, zoomedPng, wholePng, svg}) std::filesystem::remove(file);
}
