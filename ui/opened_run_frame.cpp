#include "ui/opened_run_frame.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/statusbr.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "plot/wx_drawing_surface.h"
#include "ui/command_ids.h"
#include "ui/export_size_dlg.h"
#include "ui/live_view_canvas.h"
#include "ui/message_box.h"
#include "ui/plot_export.h"
#include "ui/whole_run_view.h"

namespace {

constexpr int kProgressRange = 1000;

std::string FileName(const std::string& path) {
  return wxFileName(wxString::FromUTF8(path.c_str())).GetFullName().utf8_string();
}

wxString Caption() { return wxTheApp->GetAppDisplayName(); }

void Tell(const std::string& text, long icon, wxWindow* parent) {
  ShowMessageBox(wxString::FromUTF8(text.c_str()), Caption(), wxOK | icon, parent);
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", seconds);
  return text;
}

}  // namespace

ReadProgress::ReadProgress(wxWindow* parent, wxString message, long quietMs)
    : m_pParent(parent), m_message(std::move(message)), m_quietMs(quietMs) {}

ReadProgress::~ReadProgress() = default;

bool ReadProgress::operator()(std::uint64_t done, std::uint64_t total) {
  if (!m_dialog) {
    if (m_clock.Time() < m_quietMs) return true;
    m_dialog = std::make_unique<wxProgressDialog>(
        wxTheApp->GetAppDisplayName(), m_message, kProgressRange, m_pParent,
        wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME | wxPD_REMAINING_TIME | wxPD_AUTO_HIDE);
  }
  const int value =
      total > 0 ? static_cast<int>(std::min<std::uint64_t>(done * kProgressRange / total, kProgressRange - 1)) : 0;
  return m_dialog->Update(value);
}

OpenRunOutcome OpenRunWindow(wxWindow* parent, const std::string& path) {
  // A file that is open already comes to the front; a second window would
  // only repeat its reading and its messages.
  if (parent != nullptr) {
    for (wxWindow* child : parent->GetChildren()) {
      auto* shown = dynamic_cast<COpenedRunFrame*>(child);
      std::error_code ignored;
      if (shown != nullptr && !shown->IsBeingDeleted() &&
          std::filesystem::equivalent(std::filesystem::u8path(shown->Run().Path()), std::filesystem::u8path(path),
                                      ignored)) {
        shown->Iconize(false);
        shown->Raise();
        return OpenRunOutcome::Opened;
      }
    }
  }
  auto run = std::make_unique<OpenedRun>(path);
  DataFileStatus status;
  {
    ReadProgress progress(parent, wxString::FromUTF8(("Reading " + FileName(path) + "...").c_str()));
    status = run->ReadMore([&progress](std::uint64_t done, std::uint64_t total) { return progress(done, total); });
  }
  switch (status) {
    case DataFileStatus::Cancelled: return OpenRunOutcome::Cancelled;
    case DataFileStatus::CannotOpen: {
      const int error = run->Error();
      if (error == ENOENT) return OpenRunOutcome::Missing;
      Tell("Can't open " + path + ": " + std::strerror(error) + ". Check that you may read it.", wxICON_EXCLAMATION,
           parent);
      return OpenRunOutcome::NotOpened;
    }
    case DataFileStatus::ReadFailed:
      Tell("Reading " + path + " failed part way; it was not opened.", wxICON_EXCLAMATION, parent);
      return OpenRunOutcome::NotOpened;
    case DataFileStatus::Read: break;
  }
  if (run->Store().Empty()) {
    // A window with nothing in it would only raise the question this answers.
    Tell(path +
             " holds no data line (seconds, \"s\", current, \"uA\", tab-separated), so there is nothing to "
             "show. Is it an Ivra data file? A measurement writes its first line one interval after Start.",
         wxICON_EXCLAMATION, parent);
    return OpenRunOutcome::NotOpened;
  }
  const std::string badLines = BadLinesText(path, run->Tally());
  auto* frame = new COpenedRunFrame(parent, std::move(run));
  frame->Show();
  if (!badLines.empty()) Tell(badLines, wxICON_INFORMATION, frame);
  return OpenRunOutcome::Opened;
}

COpenedRunFrame::COpenedRunFrame(wxWindow* parent, std::unique_ptr<OpenedRun> run)
    : wxFrame(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(900, 600)), m_run(std::move(run)) {
  SetTitle(wxString::FromUTF8((FileName(m_run->Path()) + " (read-only) - ").c_str()) + Caption());
  auto* file = new wxMenu;
  file->Append(wxID_REFRESH, "&Reload\tF5", "Read the samples added to the file since it was opened");
  file->Append(ID_FILE_EXPORT_PLOT, "Export Plot...", "Save what the window shows as a PNG or SVG picture");
  file->AppendSeparator();
  file->Append(wxID_CLOSE, "&Close\tCtrl+W", "Close this window; the file is not changed");
  auto* bar = new wxMenuBar;
  bar->Append(file, "&File");
  SetMenuBar(bar);
  CreateStatusBar(2);
  const int widths[] = {-2, -3};
  GetStatusBar()->SetStatusWidths(2, widths);

  m_pCanvas = new CLiveViewCanvas(this, [this](wxDC& dc) {
    const wxSize size = m_pCanvas->GetClientSize();
    WxDrawingSurface surface(dc);
    Paint(surface, SurfaceRect{0, 0, size.x, size.y}, true);
  });
  m_pCanvas->Bind(wxEVT_LEFT_DOWN, &COpenedRunFrame::OnCanvasLeftDown, this);
  m_pCanvas->Bind(wxEVT_LEFT_UP, &COpenedRunFrame::OnCanvasLeftUp, this);
  m_pCanvas->Bind(wxEVT_KEY_DOWN, &COpenedRunFrame::OnCanvasKey, this);
  Bind(wxEVT_MENU, &COpenedRunFrame::OnReload, this, wxID_REFRESH);
  Bind(wxEVT_MENU, &COpenedRunFrame::OnExportPlot, this, ID_FILE_EXPORT_PLOT);
  Bind(wxEVT_MENU, &COpenedRunFrame::OnClose, this, wxID_CLOSE);

  SetStatusText(wxString::FromUTF8(BadLinesText(FileName(m_run->Path()), m_run->Tally()).c_str()), kMessagePane);
  ShowContents();
  m_pCanvas->SetFocus();
}

COpenedRunFrame::~COpenedRunFrame() {
  // The canvas outlives this object's members while the window is torn down.
  m_pCanvas->SetPainter(nullptr);
}

wxWindow* COpenedRunFrame::Canvas() const { return m_pCanvas; }

wxString COpenedRunFrame::PaneText(int pane) const { return GetStatusBar()->GetStatusText(pane); }

void COpenedRunFrame::Paint(DrawingSurface& surface, const SurfaceRect& client, bool rememberFrame) {
  m_zoom.Paint(surface, client, m_run->Store(), WholeRunChannel(0), rememberFrame);
}

void COpenedRunFrame::ShowContents() {
  const RunStore& store = m_run->Store();
  const ValueRange times = store.TimeRange();
  std::string text = std::to_string(store.Count()) + " samples";
  if (!times.empty) text += ", " + Seconds(times.min) + " to " + Seconds(times.max) + " s";
  SetStatusText(wxString::FromUTF8(text.c_str()), kContentsPane);
  m_pCanvas->Refresh();
}

bool COpenedRunFrame::Reload() {
  const std::size_t before = m_run->Store().Count();
  const std::uint64_t badBefore = m_run->Tally().badLines;
  DataFileStatus status;
  {
    ReadProgress progress(this, wxString::FromUTF8(("Reading " + FileName(m_run->Path()) + "...").c_str()));
    status = m_run->ReadMore([&progress](std::uint64_t done, std::uint64_t total) { return progress(done, total); });
  }
  const std::string name = FileName(m_run->Path());
  std::string message;
  if (status == DataFileStatus::CannotOpen || status == DataFileStatus::ReadFailed) {
    message = "Can't read " + name + " again: " + std::strerror(m_run->Error()) + "; the samples read before stay.";
  } else if (m_run->StartedAfresh()) {
    message = name + " was emptied and started again; read afresh.";
  } else {
    message = std::to_string(m_run->Store().Count() - before) + " new samples";
    if (status == DataFileStatus::Cancelled) message += " (reading cancelled; Reload goes on from there)";
    message += ".";
  }
  if (m_run->Tally().badLines != badBefore || m_run->StartedAfresh()) {
    const std::string badLines = BadLinesText(name, m_run->Tally());
    if (!badLines.empty()) message += " " + badLines;
  }
  SetStatusText(wxString::FromUTF8(message.c_str()), kMessagePane);
  ShowContents();
  return status == DataFileStatus::Read || status == DataFileStatus::Cancelled;
}

std::string COpenedRunFrame::ExportPlot(const std::string& path, int width, int height) {
  return ExportPicture(path, width, height,
                       [this](DrawingSurface& surface, const SurfaceRect& client) { Paint(surface, client, false); });
}

void COpenedRunFrame::OnReload(wxCommandEvent&) { Reload(); }

void COpenedRunFrame::OnExportPlot(wxCommandEvent&) {
  ExportChoice choice;
  if (!ChooseExport(this, m_pCanvas->GetClientSize(), choice)) return;
  const std::string trouble = ExportPlot(choice.path, choice.size.x, choice.size.y);
  if (!trouble.empty()) {
    Tell(trouble, wxICON_EXCLAMATION, this);
  } else {
    SetStatusText(wxString::FromUTF8(("Plot saved to " + choice.path).c_str()), kMessagePane);
  }
}

void COpenedRunFrame::OnClose(wxCommandEvent&) { Close(); }

void COpenedRunFrame::OnCanvasLeftDown(wxMouseEvent& event) {
  event.Skip();
  m_pCanvas->SetFocus();  // for Home and Escape
  m_zoom.BeginDrag(event.GetX());
}

void COpenedRunFrame::OnCanvasLeftUp(wxMouseEvent& event) {
  event.Skip();
  if (m_zoom.EndDrag(event.GetX())) m_pCanvas->Refresh();
}

void COpenedRunFrame::OnCanvasKey(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if (key == WXK_HOME || key == WXK_ESCAPE) {
    if (m_zoom.ShowWholeRun()) m_pCanvas->Refresh();
    return;
  }
  event.Skip();
}
