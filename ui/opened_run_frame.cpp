#include "ui/opened_run_frame.h"

#include <wx/app.h>
#include <wx/filename.h>
#include <wx/menu.h>
#include <wx/statusbr.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "plot/wx_drawing_surface.h"
#include "ui/command_ids.h"
#include "ui/export_size_dlg.h"
#include "ui/live_view_canvas.h"
#include "ui/message_box.h"
#include "ui/plot_export.h"
#include "ui/read_progress.h"
#include "ui/whole_run_view.h"

namespace {

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

OpenRunOutcome OpenRunWindow(wxWindow* parent, const std::string& path) {
  auto run = std::make_unique<OpenedRun>(path);
  DataFileStatus status;
  {
    ReadProgress progress(parent, wxString::FromUTF8(("Reading " + FileName(path) + "...").c_str()));
    status = run->ReadMore([&progress](std::uint64_t done, std::uint64_t total) { return progress(done, total); });
  }
  switch (status) {
    case DataFileStatus::Cancelled:
      return OpenRunOutcome::Cancelled;
    case DataFileStatus::CannotOpen: {
      const int error = run->Error();
      if (error == ENOENT) return OpenRunOutcome::Missing;
      Tell("Can't open " + path + ": " + std::strerror(error) + ". Check that you may read it.",
           wxICON_EXCLAMATION, parent);
      return OpenRunOutcome::NotOpened;
    }
    case DataFileStatus::ReadFailed:
      Tell("Reading " + path + " failed part way; it was not opened.", wxICON_EXCLAMATION, parent);
      return OpenRunOutcome::NotOpened;
    case DataFileStatus::Read:
      break;
  }
  if (run->Store().Empty()) {
    // A window with nothing in it would only raise the question this answers.
    Tell(path + " holds no data line (seconds, \"s\", current, \"uA\", tab-separated), so there is nothing to "
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
    : wxFrame(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(900, 600)), run_(std::move(run)) {
  SetTitle(wxString::FromUTF8((FileName(run_->Path()) + " (read-only) - ").c_str()) + Caption());
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

  canvas_ = new CLiveViewCanvas(this, [this](wxDC& dc) {
    const wxSize size = canvas_->GetClientSize();
    WxDrawingSurface surface(dc);
    Paint(surface, SurfaceRect{0, 0, size.x, size.y}, true);
  });
  canvas_->Bind(wxEVT_LEFT_DOWN, &COpenedRunFrame::OnCanvasLeftDown, this);
  canvas_->Bind(wxEVT_LEFT_UP, &COpenedRunFrame::OnCanvasLeftUp, this);
  canvas_->Bind(wxEVT_KEY_DOWN, &COpenedRunFrame::OnCanvasKey, this);
  Bind(wxEVT_MENU, &COpenedRunFrame::OnReload, this, wxID_REFRESH);
  Bind(wxEVT_MENU, &COpenedRunFrame::OnExportPlot, this, ID_FILE_EXPORT_PLOT);
  Bind(wxEVT_MENU, &COpenedRunFrame::OnClose, this, wxID_CLOSE);

  SetStatusText(wxString::FromUTF8(BadLinesText(FileName(run_->Path()), run_->Tally()).c_str()), kMessagePane);
  ShowContents();
  canvas_->SetFocus();
}

COpenedRunFrame::~COpenedRunFrame() {
  // The canvas outlives this object's members while the window is torn down.
  canvas_->SetPainter(nullptr);
}

wxWindow* COpenedRunFrame::Canvas() const { return canvas_; }

wxString COpenedRunFrame::PaneText(int pane) const { return GetStatusBar()->GetStatusText(pane); }

void COpenedRunFrame::Paint(DrawingSurface& surface, const SurfaceRect& client, bool rememberFrame) {
  zoom_.Paint(surface, client, run_->Store(), WholeRunChannel(0), rememberFrame);
}

void COpenedRunFrame::ShowContents() {
  const RunStore& store = run_->Store();
  const ValueRange times = store.TimeRange();
  std::string text = std::to_string(store.Count()) + " samples";
  if (!times.empty) text += ", " + Seconds(times.min) + " to " + Seconds(times.max) + " s";
  SetStatusText(wxString::FromUTF8(text.c_str()), kContentsPane);
  canvas_->Refresh();
}

bool COpenedRunFrame::Reload() {
  const std::size_t before = run_->Store().Count();
  const std::uint64_t badBefore = run_->Tally().badLines;
  DataFileStatus status;
  {
    ReadProgress progress(this, wxString::FromUTF8(("Reading " + FileName(run_->Path()) + "...").c_str()));
    status = run_->ReadMore([&progress](std::uint64_t done, std::uint64_t total) { return progress(done, total); });
  }
  const std::string name = FileName(run_->Path());
  std::string message;
  if (status == DataFileStatus::CannotOpen || status == DataFileStatus::ReadFailed) {
    message = "Can't read " + name + " again: " + std::strerror(run_->Error()) + "; the samples read before stay.";
  } else if (run_->StartedAfresh()) {
    message = name + " was emptied and started again; read afresh.";
  } else {
    message = std::to_string(run_->Store().Count() - before) + " new samples";
    if (status == DataFileStatus::Cancelled) message += " (reading cancelled; Reload goes on from there)";
    message += ".";
  }
  if (run_->Tally().badLines != badBefore || run_->StartedAfresh()) {
    const std::string badLines = BadLinesText(name, run_->Tally());
    if (!badLines.empty()) message += " " + badLines;
  }
  SetStatusText(wxString::FromUTF8(message.c_str()), kMessagePane);
  ShowContents();
  return status == DataFileStatus::Read || status == DataFileStatus::Cancelled;
}

std::string COpenedRunFrame::ExportPlot(const std::string& path, int width, int height) {
  return ExportPicture(path, width, height, [this](DrawingSurface& surface, const SurfaceRect& client) {
    Paint(surface, client, false);
  });
}

void COpenedRunFrame::OnReload(wxCommandEvent&) { Reload(); }

void COpenedRunFrame::OnExportPlot(wxCommandEvent&) {
  ExportChoice choice;
  if (!ChooseExport(this, canvas_->GetClientSize(), choice)) return;
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
  canvas_->SetFocus();  // for Home and Escape
  zoom_.BeginDrag(event.GetX());
}

void COpenedRunFrame::OnCanvasLeftUp(wxMouseEvent& event) {
  event.Skip();
  if (zoom_.EndDrag(event.GetX())) canvas_->Refresh();
}

void COpenedRunFrame::OnCanvasKey(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if (key == WXK_HOME || key == WXK_ESCAPE) {
    if (zoom_.ShowWholeRun()) canvas_->Refresh();
    return;
  }
  event.Skip();
}
