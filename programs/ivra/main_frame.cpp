#include "programs/ivra/main_frame.h"

#include <iterator>

#include <wx/accel.h>
#include <wx/display.h>
#include <wx/eventfilter.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include "ui/command_ids.h"
#include "ui/ivra_view.h"
#include "ui/status_panes.h"

namespace {

constexpr int kPanes = 5;
constexpr const char* kIdleMessage = "Ready";

struct Indicator {
  int pane;
  wxKeyCode key;
  const char* text;
};
constexpr Indicator kIndicators[] = {
    {2, WXK_CAPITAL, "CAP"},
    {3, WXK_NUMLOCK, "NUM"},
    {4, WXK_SCROLL, "SCRL"},
};

// Where the platform would put a new overlapped window: three quarters of the
// work area.
wxSize DefaultFrameSize() {
  const wxRect area = wxDisplay(0u).GetClientArea();
  return wxSize(area.width * 3 / 4, area.height * 3 / 4);
}

}  // namespace

wxBEGIN_EVENT_TABLE(CMainFrame, wxDocParentFrame)
  EVT_MENU(ID_APP_EXIT, CMainFrame::OnAppExit)
  EVT_MENU(ID_VIEW_STATUS_BAR, CMainFrame::OnViewStatusBar)
  EVT_UPDATE_UI(ID_VIEW_STATUS_BAR, CMainFrame::OnUpdateViewStatusBar)
  EVT_MENU(ID_VIEW_TOOLBAR, CMainFrame::OnViewToolbar)
  EVT_UPDATE_UI(ID_VIEW_TOOLBAR, CMainFrame::OnUpdateViewToolbar)
  EVT_IDLE(CMainFrame::OnIdle)
wxEND_EVENT_TABLE()

// Asking for a lock key's state is a round trip to the display server, too
// dear for every idle event of a measurement. The state changes with a key
// event, or while another window has the keyboard (then an activation
// follows); a look once a second covers anything else.
class KeyboardWatch : public wxEventFilter {
 public:
  KeyboardWatch() { wxEvtHandler::AddFilter(this); }
  ~KeyboardWatch() override { wxEvtHandler::RemoveFilter(this); }

  int FilterEvent(wxEvent& event) override {
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_KEY_DOWN || type == wxEVT_KEY_UP || type == wxEVT_ACTIVATE || type == wxEVT_ACTIVATE_APP) {
      changed_ = true;
    }
    return Event_Skip;
  }

  // Whether the indicators need a look now; resets until the next change.
  bool TakeChange() {
    if (!changed_ && sinceLook_.Time() < 1000) return false;
    changed_ = false;
    sinceLook_.Start();
    return true;
  }

 private:
  bool changed_ = true;
  wxStopWatch sinceLook_;
};

CMainFrame::CMainFrame(wxDocManager* manager, const wxString& title)
    : wxDocParentFrame(manager, nullptr, wxID_ANY, title, wxDefaultPosition, DefaultFrameSize()),
      m_keyboardWatch(std::make_unique<KeyboardWatch>()) {
  // Bound after the document frame's own close handler, so it runs first and
  // may refuse the close before the view goes.
  Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnCloseWindow, this);
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::CreateBars() {
  CreateMenuBar();
  CreateAccelerators();
  return CreateStatusBarPanes();
}

void CMainFrame::CreateMenuBar() {
  auto* file = new wxMenu;
  file->Append(ID_FILE_OPEN, "&Open...\tCtrl+O", "Show a data file in a window of its own; a measurement goes on");
  // The recent files, filled by the document manager's history.
  auto* recent = new wxMenu;
  file->AppendSubMenu(recent, "Recent &Files", "Open a data file opened before");
  GetDocumentManager()->FileHistoryUseMenu(recent);
  GetDocumentManager()->FileHistoryAddFilesToMenu(recent);
  file->Append(ID_FILE_EXPORT_PLOT, "Export Plot...", "Save what the window shows as a PNG or SVG picture");
  file->AppendSeparator();
  file->Append(ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents");

  // The program's own commands carry no prompt.
  auto* measurement = new wxMenu;
  measurement->Append(ID_MEASUREMENT_START, "Start", wxEmptyString);
  measurement->Append(ID_MEASUREMENT_STOP, "Stop", wxEmptyString);
  measurement->AppendSeparator();
  measurement->Append(ID_MEASUREMENT_UNFINISHED, "Unfinished Runs...", wxEmptyString);

  auto* view = new wxMenu;
  view->Append(ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar");
  view->AppendCheckItem(ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar");
  view->AppendSeparator();
  view->AppendCheckItem(ID_CHANNEL_1, "Channel 1", wxEmptyString);
  view->AppendCheckItem(ID_CHANNEL_2, "Channel 2", wxEmptyString);
  view->AppendCheckItem(ID_CHANNEL_3, "Channel 3", wxEmptyString);
  view->AppendCheckItem(ID_CHANNEL_4, "Channel 4", wxEmptyString);
  view->AppendSeparator();
  view->AppendCheckItem(ID_VIEW_WHOLE_RUN, "Whole Run",
                        "Show every sample of the run; drag to zoom, Home or Escape for the whole run again");
  view->Append(ID_VIEW_RUN_DETAILS, "Run &Details...",
               "Show the whole state, summary and counters of the run, to read or copy");

  auto* help = new wxMenu;
  help->Append(ID_APP_ABOUT, "&About Ivra...", "Display program information, version number and copyright");

  auto* bar = new wxMenuBar;
  bar->Append(file, "&File");
  bar->Append(measurement, "Measurement");
  bar->Append(view, "&View");
  bar->Append(help, "&Help");
  SetMenuBar(bar);
}

void CMainFrame::CreateAccelerators() {
  // Only New and Open have handlers (the document manager's); the rest are
  // the usual keys of a document window, which this program leaves unbound.
  wxAcceleratorEntry entries[] = {
      {wxACCEL_CTRL, 'N', ID_FILE_NEW},           {wxACCEL_CTRL, 'O', ID_FILE_OPEN},
      {wxACCEL_CTRL, 'S', ID_FILE_SAVE},          {wxACCEL_CTRL, 'Z', ID_EDIT_UNDO},
      {wxACCEL_CTRL, 'X', ID_EDIT_CUT},           {wxACCEL_CTRL, 'C', ID_EDIT_COPY},
      {wxACCEL_CTRL, 'V', ID_EDIT_PASTE},         {wxACCEL_ALT, WXK_BACK, ID_EDIT_UNDO},
      {wxACCEL_SHIFT, WXK_DELETE, ID_EDIT_CUT},   {wxACCEL_CTRL, WXK_INSERT, ID_EDIT_COPY},
      {wxACCEL_SHIFT, WXK_INSERT, ID_EDIT_PASTE}, {wxACCEL_NORMAL, WXK_F6, ID_NEXT_PANE},
      {wxACCEL_SHIFT, WXK_F6, ID_PREV_PANE},
  };
  SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(std::size(entries)), entries));
}

bool CMainFrame::CreateStatusBarPanes() {
  wxStatusBar* bar = CreateStatusBar(kPanes);
  if (bar == nullptr) return false;
  // The message and the run's state share what the indicators leave, by
  // what their texts need; an indicator that shows nothing takes no room.
  int styles[kPanes] = {wxSB_FLAT, wxSB_SUNKEN, wxSB_SUNKEN, wxSB_SUNKEN, wxSB_SUNKEN};
  bar->SetStatusStyles(kPanes, styles);
  SetStatusBarPane(kMessagePane);
  SetStatusText(kIdleMessage, kMessagePane);
  FollowStatusBar(*bar);
  UpdateIndicators();
  LayOutStatusPanes(*bar);
  return true;
}

wxString CMainFrame::PaneText(int pane) const {
  const wxStatusBar* bar = GetStatusBar();
  return bar != nullptr ? bar->GetStatusText(pane) : wxString();
}

void CMainFrame::UpdateIndicators() {
  wxStatusBar* bar = GetStatusBar();
  if (bar == nullptr) return;
  for (const Indicator& indicator : kIndicators) {
    const wxString text = wxGetKeyState(indicator.key) ? indicator.text : "";
    if (bar->GetStatusText(indicator.pane) != text) {
      bar->SetStatusText(text, indicator.pane);
      LayOutStatusPanes(*bar);
    }
  }
}

void CMainFrame::OnIdle(wxIdleEvent& event) {
  if (m_keyboardWatch->TakeChange()) UpdateIndicators();
  event.Skip();
}

// As the close box: asks while a measurement runs; the view stops it as it goes.
void CMainFrame::OnAppExit(wxCommandEvent&) { Close(); }

void CMainFrame::OnCloseWindow(wxCloseEvent& event) {
  // A close that cannot be refused (a stop signal, the session's end) stops
  // the run without a question.
  if (event.CanVeto()) {
    auto* view = wxDynamicCast(GetDocumentManager()->GetCurrentView(), CIvraView);
    if (view != nullptr && !view->AskToStopAndClose()) {
      event.Veto();
      return;
    }
  }
  event.Skip();
}

void CMainFrame::OnViewStatusBar(wxCommandEvent&) {
  wxStatusBar* bar = GetStatusBar();
  if (bar == nullptr) return;
  bar->Show(!bar->IsShown());
  SendSizeEvent();
}

void CMainFrame::OnUpdateViewStatusBar(wxUpdateUIEvent& event) {
  const wxStatusBar* bar = GetStatusBar();
  event.Check(bar != nullptr && bar->IsShown());
}

// No toolbar window is ever made, so there is nothing to show or hide.
void CMainFrame::OnViewToolbar(wxCommandEvent&) {}

void CMainFrame::OnUpdateViewToolbar(wxUpdateUIEvent& event) { event.Enable(true); }
