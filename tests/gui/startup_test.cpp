// The main window as it starts, its menus, status bar and framework commands.
#include <gtest/gtest.h>

#include <wx/image.h>
#include <wx/menu.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/uiaction.h>

#include "programs/ivra/main_frame.h"
#include "run/measurement_run.h"
#include "tests/gui/gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"

namespace {

// Pixels of `shown` that differ from the icon theme's render of `size`
// (colour compared where the render is opaque; -1 when the sizes differ).
int PixelsUnlikeInstalledIcon(const wxBitmap& shown, int size) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  const wxImage file(wxString::Format("%s/ivra-%d.png", IVRA_ICON_DIR, size), wxBITMAP_TYPE_PNG);
  const wxImage image = shown.ConvertToImage();
  if (!file.IsOk() || !image.IsOk() || image.GetSize() != file.GetSize()) return -1;
  int differing = 0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if (file.HasAlpha() && file.GetAlpha(x, y) != 255) continue;
      if (image.GetRed(x, y) != file.GetRed(x, y) || image.GetGreen(x, y) != file.GetGreen(x, y) ||
          image.GetBlue(x, y) != file.GetBlue(x, y)) {
        ++differing;
      }
    }
  }
  return differing;
}

std::vector<wxString> ItemLabels(wxMenu* menu) {
  std::vector<wxString> labels;
  for (wxMenuItem* item : menu->GetMenuItems()) labels.push_back(item->IsSeparator() ? "-" : item->GetItemLabel());
  return labels;
}

// Counts the main window's close requests and vetoes them.
struct CloseCounter {
  void OnClose(wxCloseEvent& event) {
    ++requests;
    event.Veto();
  }
  int requests = 0;
};

}  // namespace

TEST(StartUp, WindowMenusAndStatusBar) {
  ASSERT_NE(Frame(), nullptr);
  ASSERT_NE(View(), nullptr);
  EXPECT_EQ(Frame()->GetTitle(), "Untitled - Ivra");
  EXPECT_EQ(Frame()->GetToolBar(), nullptr);
  EXPECT_TRUE(Frame()->GetIcon().IsOk());

  wxMenuBar* bar = Frame()->GetMenuBar();
  ASSERT_EQ(bar->GetMenuCount(), 4u);
  EXPECT_EQ(bar->GetMenuLabel(0), "&File");
  EXPECT_EQ(bar->GetMenuLabel(1), "Measurement");
  EXPECT_EQ(bar->GetMenuLabel(2), "&View");
  EXPECT_EQ(bar->GetMenuLabel(3), "&Help");
  EXPECT_EQ(ItemLabels(bar->GetMenu(0)),
            (std::vector<wxString>{"&Open...\tCtrl+O", "Recent &Files", "Export Plot...", "-", "E&xit"}));
  EXPECT_EQ(ItemLabels(bar->GetMenu(1)), (std::vector<wxString>{"Start", "Stop", "-", "Unfinished Runs..."}));
  EXPECT_EQ(ItemLabels(bar->GetMenu(2)),
            (std::vector<wxString>{"&Toolbar", "&Status Bar", "-", "Channel 1", "Channel 2", "Channel 3", "Channel 4",
                                   "-", "Whole Run", "Run &Details..."}));
  EXPECT_EQ(ItemLabels(bar->GetMenu(3)), (std::vector<wxString>{"&About Ivra..."}));
  EXPECT_EQ(bar->FindItem(ID_MEASUREMENT_START)->GetMenu(), bar->GetMenu(1));
  EXPECT_EQ(bar->FindItem(ID_APP_EXIT)->GetItemLabel(), "E&xit") << "no stock accelerator added";

  // Prompts: the framework's for its commands, none for the program's own.
  EXPECT_EQ(bar->GetHelpString(ID_APP_EXIT), "Quit the application; prompts to save documents");
  EXPECT_EQ(bar->GetHelpString(ID_VIEW_STATUS_BAR), "Show or hide the status bar");
  for (int id : {ID_MEASUREMENT_START, ID_MEASUREMENT_STOP, ID_CHANNEL_1, ID_CHANNEL_4}) {
    EXPECT_EQ(bar->GetHelpString(id), "") << id;
  }

  wxStatusBar* status = Frame()->GetStatusBar();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->GetFieldsCount(), 5);
  EXPECT_EQ(Frame()->PaneText(0), "Ready");
  EXPECT_EQ(Frame()->PaneText(kRunStatePane), "");  // nothing has run yet
  for (int pane = 2; pane <= 4; ++pane) {
    EXPECT_TRUE(Frame()->PaneText(pane).empty() || Frame()->PaneText(pane) == "CAP" ||
                Frame()->PaneText(pane) == "NUM" || Frame()->PaneText(pane) == "SCRL");
  }

  EXPECT_FALSE(LatestSnapshot()->Measuring());
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_START));
  EXPECT_FALSE(MenuEnabled(ID_MEASUREMENT_STOP));
  EXPECT_TRUE(MenuChecked(ID_CHANNEL_1));
  EXPECT_FALSE(MenuChecked(ID_CHANNEL_2));
  EXPECT_TRUE(MenuChecked(ID_VIEW_STATUS_BAR));

  // The first paint starts the one-second timer.
  EXPECT_TRUE(PumpUntil([] { return View()->FirstPaintDone(); }, 5000));
  std::printf("[ figures ] first paint %.2f s after the process started\n", SecondsSinceProcessStart());
  EXPECT_TRUE(View()->TimerRunning());
}

TEST(StartUp, StatusBarTogglesAndToolbarChangesNothing) {
  wxStatusBar* status = Frame()->GetStatusBar();
  const wxSize canvasBefore = View()->Canvas()->GetSize();
  PostMenu(ID_VIEW_STATUS_BAR);
  EXPECT_FALSE(status->IsShown());
  EXPECT_FALSE(MenuChecked(ID_VIEW_STATUS_BAR));
  EXPECT_GT(View()->Canvas()->GetSize().y, canvasBefore.y) << "the view takes the freed room";
  PostMenu(ID_VIEW_STATUS_BAR);
  EXPECT_TRUE(status->IsShown());
  EXPECT_TRUE(MenuChecked(ID_VIEW_STATUS_BAR));

  PostMenu(ID_VIEW_TOOLBAR);
  EXPECT_EQ(Frame()->GetToolBar(), nullptr);
  EXPECT_TRUE(status->IsShown());
  EXPECT_TRUE(MenuEnabled(ID_VIEW_TOOLBAR));
  EXPECT_FALSE(Frame()->GetMenuBar()->FindItem(ID_VIEW_TOOLBAR)->IsCheckable());
}

TEST(StartUp, HighlightedItemPromptShowsInMessagePane) {
  wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, ID_APP_EXIT);
  highlight.SetEventObject(Frame());
  Frame()->GetEventHandler()->ProcessEvent(highlight);
  EXPECT_EQ(Frame()->PaneText(0), "Quit the application; prompts to save documents");

  wxMenuEvent own(wxEVT_MENU_HIGHLIGHT, ID_MEASUREMENT_START);
  own.SetEventObject(Frame());
  Frame()->GetEventHandler()->ProcessEvent(own);
  EXPECT_EQ(Frame()->PaneText(0), "");

  wxMenuEvent close(wxEVT_MENU_CLOSE, wxID_ANY, Frame()->GetMenuBar()->GetMenu(0));
  close.SetEventObject(Frame());
  Frame()->GetEventHandler()->ProcessEvent(close);
  EXPECT_EQ(Frame()->PaneText(0), "Ready");
}

TEST(StartUp, AboutBoxShowsIconVersionAndOk) {
  DialogDriver driver;
  wxString caption, version;
  wxBitmap icon;
  bool hasOk = false;
  driver.Script({[&](wxDialog& dialog) {
    caption = dialog.GetTitle();
    for (wxWindow* child : dialog.GetChildren()) {
      if (auto* text = dynamic_cast<wxStaticText*>(child)) version = text->GetLabel();
      if (auto* bitmap = dynamic_cast<wxStaticBitmap*>(child)) icon = bitmap->GetBitmap();
    }
    hasOk = dialog.FindWindow(wxID_OK) != nullptr && dialog.FindWindow(wxID_OK)->GetLabel() == "OK";
    ClickButton(dialog, wxID_OK);
  }});
  PostMenu(ID_APP_ABOUT);
  ASSERT_TRUE(PumpUntil([&] { return driver.DialogsClosed() == 1; }, 5000));
  Pump(100);
  EXPECT_EQ(caption, "About Ivra");
  EXPECT_EQ(version, "Ivra Version 1.0");
  EXPECT_EQ(PixelsUnlikeInstalledIcon(icon, 32), 0) << "the About box shows the desktop menu's icon";
  EXPECT_TRUE(hasOk);
}

TEST(StartUp, WindowCarriesEveryRenderOfTheInstalledIcon) {
  const wxIconBundle& icons = Frame()->GetIcons();
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const wxIcon icon = icons.GetIconOfExactSize(size);
    ASSERT_TRUE(icon.IsOk()) << size;
    wxBitmap bitmap;
    bitmap.CopyFromIcon(icon);
    EXPECT_EQ(PixelsUnlikeInstalledIcon(bitmap, size), 0) << size;
  }
}

TEST(StartUp, KeyboardShortcutsReachOnlyNewAndOpen) {
  DialogDriver driver;
  CIvraView* view = View();
  wxUIActionSimulator input;
  const wxRect canvas = view->Canvas()->GetScreenRect();
  input.MouseMove(canvas.GetPosition() + wxPoint(canvas.width / 2, canvas.height / 2));
  view->Canvas()->SetFocus();
  Pump(200);

  // Keys bound to commands that no handler takes: nothing happens.
  const std::pair<int, int> unbound[] = {
      {'S', wxMOD_CONTROL},      {'Z', wxMOD_CONTROL},  {'X', wxMOD_CONTROL},      {'C', wxMOD_CONTROL},
      {'V', wxMOD_CONTROL},      {WXK_BACK, wxMOD_ALT}, {WXK_DELETE, wxMOD_SHIFT}, {WXK_INSERT, wxMOD_CONTROL},
      {WXK_INSERT, wxMOD_SHIFT}, {WXK_F6, wxMOD_NONE},  {WXK_F6, wxMOD_SHIFT}};
  for (const auto& [key, modifiers] : unbound) {
    input.Char(key, modifiers);
    Pump(60);
  }
  EXPECT_EQ(driver.DialogsSeen(), 0);
  EXPECT_EQ(View(), view);
  EXPECT_EQ(Frame()->GetTitle(), "Untitled - Ivra");

  // Ctrl+N re-initialises the document in place: same view, same title.
  input.Char('N', wxMOD_CONTROL);
  Pump(200);
  EXPECT_EQ(View(), view);
  EXPECT_EQ(Frame()->GetTitle(), "Untitled - Ivra");

  // Ctrl+O asks for a file (answered with Cancel here).
  input.Char('O', wxMOD_CONTROL);
  EXPECT_TRUE(PumpUntil([&] { return driver.DialogsSeen() == 1; }, 3000));
  Pump(100);
  EXPECT_EQ(View(), view);
  EXPECT_EQ(Frame()->GetTitle(), "Untitled - Ivra");

  // Ctrl+Q is no shortcut for Exit (the toolkit's stock one would quit in the
  // middle of a measurement). A close it asked for anyway is vetoed here.
  CloseCounter closes;
  Frame()->Bind(wxEVT_CLOSE_WINDOW, &CloseCounter::OnClose, &closes);
  input.Char('Q', wxMOD_CONTROL);
  Pump(300);
  Frame()->Unbind(wxEVT_CLOSE_WINDOW, &CloseCounter::OnClose, &closes);
  EXPECT_EQ(closes.requests, 0);
}

TEST(StartUp, CapsLockIndicatorFollowsTheKeyboard) {
  wxUIActionSimulator input;
  const bool before = !Frame()->PaneText(2).empty();
  input.Char(WXK_CAPITAL);
  const bool toggled = PumpUntil([&] { return Frame()->PaneText(2).empty() == before; }, 3000);
  EXPECT_TRUE(toggled) << "CAP pane did not follow Caps Lock";
  if (toggled) {
    EXPECT_EQ(Frame()->PaneText(2), before ? "" : "CAP");
  }
  input.Char(WXK_CAPITAL);
  EXPECT_TRUE(PumpUntil([&] { return Frame()->PaneText(2).empty() != before; }, 3000));
}
