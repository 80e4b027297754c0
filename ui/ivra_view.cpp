#include "ui/ivra_view.h"

#include <wx/app.h>
#include <wx/frame.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "plot/wx_drawing_surface.h"
#include "process/stop_request.h"
#include "text/run_state_text.h"
#include "ui/command_ids.h"
#include "ui/export_size_dlg.h"
#include "ui/live_view_painter.h"
#include "ui/message_box.h"
#include "ui/plot_export.h"

wxIMPLEMENT_CLASS(CIvraView, wxView);

wxBEGIN_EVENT_TABLE(CIvraView, wxView)
  EVT_MENU(ID_CHANNEL_1, CIvraView::OnChannel1)
  EVT_UPDATE_UI(ID_CHANNEL_1, CIvraView::OnUpdateChannel1)
  EVT_MENU(ID_CHANNEL_2, CIvraView::OnChannel2)
  EVT_UPDATE_UI(ID_CHANNEL_2, CIvraView::OnUpdateChannel2)
  EVT_MENU(ID_CHANNEL_3, CIvraView::OnChannel3)
  EVT_UPDATE_UI(ID_CHANNEL_3, CIvraView::OnUpdateChannel3)
  EVT_MENU(ID_CHANNEL_4, CIvraView::OnChannel4)
  EVT_UPDATE_UI(ID_CHANNEL_4, CIvraView::OnUpdateChannel4)
  EVT_MENU(ID_VIEW_WHOLE_RUN, CIvraView::OnWholeRun)
  EVT_MENU(ID_FILE_EXPORT_PLOT, CIvraView::OnExportPlot)
  EVT_UPDATE_UI(ID_VIEW_WHOLE_RUN, CIvraView::OnUpdateWholeRun)
  EVT_UPDATE_UI(ID_MEASUREMENT_START, CIvraView::OnUpdateMeasurementStart)
  EVT_UPDATE_UI(ID_MEASUREMENT_STOP, CIvraView::OnUpdateMeasurementStop)
  EVT_MENU(ID_MEASUREMENT_START, CIvraView::OnMeasurementStart)
  EVT_MENU(ID_MEASUREMENT_STOP, CIvraView::OnMeasurementStop)
  EVT_MENU(ID_VIEW_RUN_DETAILS, CIvraView::OnRunDetails)
wxEND_EVENT_TABLE()

namespace {

// The Setup field a failed Start blames.
SetupField FieldAtFault(const StartFailure& failure) {
  switch (failure.kind) {
    case StartFailure::Kind::FileNotCreated: return SetupField::OutputFile;
    case StartFailure::Kind::PortNotOpened: return SetupField::Port;
    case StartFailure::Kind::SettingsNotTaken: return SetupField::Instrument;
    case StartFailure::Kind::IntervalTooShort: return SetupField::SampleInterval;
    default: return SetupField::None;
  }
}

}  // namespace

CIvraView::CIvraView(const ViewContext& context)
    : m_run(context.run),
      m_setup(context.ports, context.listPorts, context.rememberedPortPath, context.instrument),
      m_panes([this] { return GetFrame(); }, context.simulatedPortPath),
      m_driver(context.run, *this, [this] { OnTicked(); }) {}

CIvraView::~CIvraView() {
  // The instrument's output must not stay on when the window goes.
  if (Measuring()) StopMeasurement(RunEndReason::WindowClosed);
  if (m_canvas) {
    m_canvas->SetPainter(nullptr);
    m_canvas->Destroy();
  }
}

bool CIvraView::OnCreate(wxDocument*, long) {
  auto* frame = wxDynamicCast(wxTheApp->GetTopWindow(), wxFrame);
  if (frame == nullptr) return false;
  m_canvas = new CLiveViewCanvas(frame, [this](wxDC& dc) { OnDraw(&dc); });
  m_canvas->Bind(wxEVT_LEFT_DOWN, &CIvraView::OnCanvasLeftDown, this);
  m_canvas->Bind(wxEVT_LEFT_UP, &CIvraView::OnCanvasLeftUp, this);
  m_canvas->Bind(wxEVT_MOTION, &CIvraView::OnCanvasMotion, this);
  m_canvas->Bind(wxEVT_KEY_DOWN, &CIvraView::OnCanvasKey, this);
  SetFrame(frame);
  frame->SendSizeEvent();
  return true;
}

void CIvraView::OnDraw(wxDC* dc) {
  StartTimerOnFirstPaint();
  const wxSize size = m_canvas ? m_canvas->GetClientSize() : dc->GetSize();
  WxDrawingSurface surface(*dc);
  PaintPicture(surface, SurfaceRect{0, 0, size.x, size.y});
  PaintDragBand(*dc, size);
}

void CIvraView::PaintDragBand(wxDC& dc, const wxSize& size) const {
  if (!m_bWholeRun || m_nDragStartX < 0 || m_nDragNowX < 0 || m_nDragNowX == m_nDragStartX) return;
  const int left = std::min(m_nDragStartX, m_nDragNowX);
  const int width = std::abs(m_nDragNowX - m_nDragStartX);
  dc.SetPen(wxPen(wxColour(0, 90, 200), 1, wxPENSTYLE_SHORT_DASH));
  dc.SetBrush(wxBrush(wxColour(0, 90, 200), wxBRUSHSTYLE_BDIAGONAL_HATCH));
  dc.DrawRectangle(left, 0, width + 1, size.y);
  dc.SetBrush(wxNullBrush);
  dc.SetPen(wxNullPen);
}

void CIvraView::PaintPicture(DrawingSurface& surface, const SurfaceRect& client) {
  const SnapshotPtr run = m_run.Snapshot();
  m_wholeRun.Take(*run);
  if (m_bWholeRun) {
    // An export must not move where a drag on the screen finds the time axis.
    m_wholeRun.Paint(surface, client, m_nChannel, !m_bExporting);
    return;
  }
  if (m_earlier.count == 0) {
    PaintLiveView(surface, client, m_nChannel, run->latest, run->history);
    return;
  }
  // Until the continued run's first sample its latest is the file's last.
  LatestReading latest = run->latest;
  if (run->history.count == 0) {
    const int last = m_earlier.count - 1;
    latest = LatestReading{};
    latest.time = m_earlier.rows[0][last];
    latest.current = m_earlier.rows[1][last];
    latest.voltage = m_earlier.rows[2][last];
  }
  PaintLiveView(surface, client, m_nChannel, latest, JoinedHistory(m_earlier, run->history));
}

std::string CIvraView::ExportPlot(const std::string& path, int width, int height) {
  m_bExporting = true;
  std::string result = ExportPicture(path, width, height, [this](DrawingSurface& surface, const SurfaceRect& client) {
    PaintPicture(surface, client);
  });
  m_bExporting = false;
  return result;
}

void CIvraView::OnExportPlot(wxCommandEvent&) {
  const wxSize windowSize = m_canvas ? m_canvas->GetClientSize() : wxSize(800, 600);
  ExportChoice choice;
  if (!ChooseExport(GetFrame(), windowSize, choice)) return;
  const std::string trouble = ExportPlot(choice.path, choice.size.x, choice.size.y);
  if (!trouble.empty()) {
    ShowMessageBox(wxString::FromUTF8(trouble), wxTheApp->GetAppDisplayName(), wxOK | wxICON_EXCLAMATION, GetFrame());
  } else {
    m_panes.ShowMessage(wxString::FromUTF8("Plot saved to " + choice.path));
  }
}

void CIvraView::StartTimerOnFirstPaint() {
  if (m_bFirstPaintDone) return;
  m_bFirstPaintDone = true;
  if (!m_driver.StartTicking()) {
    // Not from inside the paint: a modal loop there would re-enter painting.
    CallAfter([this] {
      ShowMessageBox("Not enough timers available for this window.", "Ivra Application", wxOK | wxICON_EXCLAMATION,
                     m_canvas.get());
    });
  }
}

void CIvraView::OnUpdate(wxView*, wxObject*) { Redraw(); }

void CIvraView::OnChangeFilename() {
  wxDocument* doc = GetDocument();
  wxWindow* frame = GetFrame();
  if (doc == nullptr || frame == nullptr) return;
  const wxString name = m_strCaptionFile.empty() ? doc->GetUserReadableName() : wxString::FromUTF8(m_strCaptionFile);
  frame->SetLabel(name + " - " + wxTheApp->GetAppDisplayName());
}

int CIvraView::StartMeasurement() {
  // The values of the last Start, which the run keeps also when it failed.
  MeasurementSettings last = m_run.Snapshot()->settings;
  SetupField focus = SetupField::None;
  bool failed = false;
  for (;;) {
    const std::optional<MeasurementSettings> accepted = m_setup.Ask(last, focus);
    if (!accepted) return failed ? 1 : -1;
    StartFailure failure;
    if (m_driver.Begin(*accepted, &failure) == 0) {
      m_earlier.Clear();
      ShowMeasuring(accepted->outputPath);
      return 0;
    }
    // Its message has been shown; nothing typed is lost, the field at fault is ready.
    m_panes.ShowStartFailed(failure);
    ShowRunState();
    failed = true;
    last = *accepted;
    focus = FieldAtFault(failure);
  }
}

int CIvraView::ContinueMeasurement(const ResumePlan& plan) {
  if (Measuring()) return 1;
  // Read before the run goes on, so that no line of the file is drawn twice;
  // the file's end beyond its last whole line is not read.
  const DataFileStatus read = m_wholeRun.ContinueFrom(plan.settings.outputPath, plan.settings.outputVoltage,
                                                      plan.counters.samplesTaken, m_earlier);
  StartFailure failure;
  if (m_driver.Resume(plan, &failure) != 0) {
    m_earlier.Clear();
    m_panes.ShowStartFailed(failure);
    ShowRunState();
    Redraw();
    return 1;
  }
  ShowMeasuring(plan.settings.outputPath);
  if (read != DataFileStatus::Read) {
    m_panes.ShowMessage(wxString::FromUTF8("Measuring again into " + plan.settings.outputPath +
                                           "; its earlier samples could not be read for the view."));
  }
  Redraw();
  return 0;
}

void CIvraView::ShowMeasuring(const std::string& outputPath) {
  m_panes.ShowStarted(*m_run.Snapshot());
  m_strCaptionFile = OutputFileName(outputPath);
  OnChangeFilename();
  ShowRunState();
}

bool CIvraView::AskToStopAndClose() {
  if (!Measuring()) return true;
  // On the way down the question has been answered; a second close is the hurry.
  if (!m_run.Snapshot()->rampingDown) {
    const wxString question = wxString::FromUTF8(CloseQuestionText(*m_run.Snapshot()));
    const bool stop = AskMessageBox(question, wxTheApp->GetAppDisplayName(), "Stop and Close", GetFrame());
    // The run may have ended while the question was open: then nothing is at stake.
    if (!stop || !Measuring()) return !Measuring();
  }
  if (m_driver.StopAfterRampDown(RunEndReason::WindowClosed)) return true;
  m_bCloseWhenStopped = true;
  ShowRunState();
  return false;
}

bool CIvraView::CloseAfterRampDown() {
  if (!Measuring() || m_run.Snapshot()->rampingDown) return false;
  if (m_driver.StopAfterRampDown(RunEndReason::WindowClosed)) return false;
  // The signal's request ended the read under way; the way down must wait
  // for its replies again, and the next signal is the hurry.
  ClearStopRequest();
  m_bCloseWhenStopped = true;
  ShowRunState();
  return true;
}

void CIvraView::OnTicked() {
  ShowRunState();
  if (m_bCloseWhenStopped && !Measuring()) {
    m_bCloseWhenStopped = false;
    // Out of the tick's handler: closing destroys this view.
    if (wxWindow* frame = GetFrame()) frame->CallAfter([frame] { frame->Close(); });
  }
}

void CIvraView::StopOrRampDown() {
  m_driver.StopAfterRampDown(RunEndReason::StoppedByUser);
  // A Stop (of the menu) on the way down of a close ends it; the close goes on.
  if (m_bCloseWhenStopped && !Measuring()) OnTicked();
}

void CIvraView::OnRunDetails(wxCommandEvent&) {
  wxString state;
  wxString message;
  if (auto* frame = wxDynamicCast(GetFrame(), wxFrame); frame != nullptr && frame->GetStatusBar() != nullptr) {
    message = frame->GetStatusBar()->GetStatusText(kMessagePane);
    state = frame->GetStatusBar()->GetStatusText(kRunStatePane);
  }
  CRunDetailsDlg dialog(GetFrame(), RunDetailsText(*m_run.Snapshot(), state.utf8_string(), message.utf8_string()));
  dialog.ShowModal();
}

void CIvraView::StopMeasurement(RunEndReason reason) { m_driver.Stop(reason); }

void CIvraView::OnMeasurementStart(wxCommandEvent&) {
  if (Measuring()) return;
  StartMeasurement();
  Redraw();
}

void CIvraView::OnMeasurementStop(wxCommandEvent&) {
  // Stop is disabled while idle; a command that arrives anyway is dropped.
  if (!Measuring()) return;
  StopOrRampDown();
  ShowRunState();
  Redraw();
}

void CIvraView::OnUpdateMeasurementStart(wxUpdateUIEvent& event) { event.Enable(!Measuring()); }
void CIvraView::OnUpdateMeasurementStop(wxUpdateUIEvent& event) { event.Enable(Measuring()); }

void CIvraView::OnChannel1(wxCommandEvent&) { SelectChannel(0); }
void CIvraView::OnChannel2(wxCommandEvent&) { SelectChannel(1); }
void CIvraView::OnChannel3(wxCommandEvent&) { SelectChannel(2); }
void CIvraView::OnChannel4(wxCommandEvent&) { SelectChannel(3); }
void CIvraView::OnUpdateChannel1(wxUpdateUIEvent& event) { event.Check(m_nChannel == 0); }
void CIvraView::OnUpdateChannel2(wxUpdateUIEvent& event) { event.Check(m_nChannel == 1); }
void CIvraView::OnUpdateChannel3(wxUpdateUIEvent& event) { event.Check(m_nChannel == 2); }
void CIvraView::OnUpdateChannel4(wxUpdateUIEvent& event) { event.Check(m_nChannel == 3); }

void CIvraView::SelectChannel(int channel) {
  m_nChannel = channel;
  Redraw();
}

void CIvraView::ShowMessage(const std::string& text) {
  ShowMessageBox(wxString::FromUTF8(text), wxTheApp->GetAppDisplayName(), wxOK | wxICON_NONE, GetFrame());
}

void CIvraView::Redraw() {
  // Also while the window is hidden and does not paint: no sample is skipped.
  m_wholeRun.Take(*m_run.Snapshot());
  if (m_canvas) m_canvas->Refresh(true);
}

void CIvraView::OnWholeRun(wxCommandEvent&) {
  m_bWholeRun = !m_bWholeRun;
  m_wholeRun.CancelDrag();
  m_nDragStartX = -1;
  m_nDragNowX = -1;
  Redraw();
  if (m_wholeRun.Zoomed()) ShowZoomState();
}

void CIvraView::OnUpdateWholeRun(wxUpdateUIEvent& event) { event.Check(m_bWholeRun); }

void CIvraView::OnCanvasLeftDown(wxMouseEvent& event) {
  event.Skip();
  if (!m_bWholeRun || !m_canvas) return;
  m_canvas->SetFocus();  // for Home and Escape
  m_wholeRun.BeginDrag(event.GetX());
  m_nDragStartX = event.GetX();
  m_nDragNowX = -1;
}

void CIvraView::OnCanvasMotion(wxMouseEvent& event) {
  event.Skip();
  if (!m_bWholeRun || m_nDragStartX < 0 || !event.LeftIsDown() || !m_canvas) return;
  m_nDragNowX = event.GetX();
  m_canvas->Refresh(false);
}

void CIvraView::OnCanvasLeftUp(wxMouseEvent& event) {
  event.Skip();
  const bool banded = m_nDragNowX >= 0;
  m_nDragStartX = -1;
  m_nDragNowX = -1;
  if (m_bWholeRun && m_wholeRun.EndDrag(event.GetX())) {
    Redraw();
    ShowZoomState();
  } else if (banded && m_canvas) {
    m_canvas->Refresh(false);
  }
}

void CIvraView::OnCanvasKey(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if (m_bWholeRun && (key == WXK_HOME || key == WXK_ESCAPE)) {
    m_nDragStartX = -1;
    m_nDragNowX = -1;
    if (m_wholeRun.ShowWholeRun()) {
      Redraw();
      ShowZoomState();
    }
    return;
  }
  event.Skip();
}

const char* CIvraView::ZoomedText() { return "Zoomed in on part of the run. Home or Escape: whole run"; }

void CIvraView::ShowZoomState() {
  m_panes.ShowMessage(m_bWholeRun && m_wholeRun.Zoomed() ? ZoomedText() : "Whole run shown");
}

void CIvraView::ReportTrouble(SampleTrouble, const SnapshotPtr& snapshot) { m_panes.ShowTrouble(*snapshot); }

void CIvraView::WarnOutputMayBeOn(const std::string& text) {
  // Also on stderr: the box may be cut short when a stop signal closes the program.
  std::fprintf(stderr, "ivra: %s\n", text.c_str());
  ShowMessageBox(wxString::FromUTF8(text), wxTheApp->GetAppDisplayName(), wxOK | wxICON_WARNING, nullptr);
}

void CIvraView::ShowRunState() { m_panes.ShowRunState(*m_run.Snapshot()); }
