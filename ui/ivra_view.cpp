#include "ui/ivra_view.h"

#include <chrono>

#include <wx/app.h>
#include <wx/frame.h>

#include <cstdio>

#include "measurement/run_text.h"
#include "plot/wx_drawing_surface.h"
#include "serial/stop_request.h"
#include "ui/com_port_dlg.h"
#include "ui/command_ids.h"
#include "ui/live_view_painter.h"
#include "ui/message_box.h"

namespace {
constexpr int kTickMs = 1000;
// How long after its tick began Stop lets a sample finish by itself before it
// ends the reply wait: a healthy instrument has begun its reply well within
// this (and a reply under way is read to its end anyway), so its sample is
// taken and logged as before. A sample that has waited longer is cut at once.
constexpr std::chrono::milliseconds kSampleGrace{700};
}  // namespace

wxIMPLEMENT_CLASS(CIvraView, wxView);

wxBEGIN_EVENT_TABLE(CIvraView, wxView)
  EVT_TIMER(kViewTimerId, CIvraView::OnTimer)
  EVT_MENU(ID_CHANNEL_1, CIvraView::OnChannel1)
  EVT_UPDATE_UI(ID_CHANNEL_1, CIvraView::OnUpdateChannel1)
  EVT_MENU(ID_CHANNEL_2, CIvraView::OnChannel2)
  EVT_UPDATE_UI(ID_CHANNEL_2, CIvraView::OnUpdateChannel2)
  EVT_MENU(ID_CHANNEL_3, CIvraView::OnChannel3)
  EVT_UPDATE_UI(ID_CHANNEL_3, CIvraView::OnUpdateChannel3)
  EVT_MENU(ID_CHANNEL_4, CIvraView::OnChannel4)
  EVT_UPDATE_UI(ID_CHANNEL_4, CIvraView::OnUpdateChannel4)
  EVT_UPDATE_UI(ID_MEASUREMENT_START, CIvraView::OnUpdateMeasurementStart)
  EVT_UPDATE_UI(ID_MEASUREMENT_STOP, CIvraView::OnUpdateMeasurementStop)
  EVT_MENU(ID_MEASUREMENT_START, CIvraView::OnMeasurementStart)
  EVT_MENU(ID_MEASUREMENT_STOP, CIvraView::OnMeasurementStop)
wxEND_EVENT_TABLE()

CIvraView::CIvraView(const ViewContext& context)
    : m_run(context.run),
      m_ports(context.ports),
      m_listPorts(context.listPorts),
      m_rememberedPortPath(context.rememberedPortPath),
      m_timer(this, kViewTimerId),
      // Thread-safe: queues the call for this view's thread.
      m_worker(context.run, [this] { CallAfter(&CIvraView::OnTickEnded); }) {
  InstallStopRequest();
}

CIvraView::~CIvraView() {
  // The instrument's output must not stay on when the window goes.
  if (Measuring()) StopMeasurement(RunEndReason::WindowClosed);
  m_timer.Stop();
  if (m_canvas) {
    m_canvas->SetPainter(nullptr);
    m_canvas->Destroy();
  }
}

bool CIvraView::OnCreate(wxDocument*, long) {
  auto* frame = wxDynamicCast(wxTheApp->GetTopWindow(), wxFrame);
  if (frame == nullptr) return false;
  m_canvas = new CLiveViewCanvas(frame, [this](wxDC& dc) { OnDraw(&dc); });
  SetFrame(frame);
  frame->SendSizeEvent();
  return true;
}

void CIvraView::OnDraw(wxDC* dc) {
  StartTimerOnFirstPaint();
  const wxSize size = m_canvas ? m_canvas->GetClientSize() : dc->GetSize();
  const SnapshotPtr run = m_run.Snapshot();
  WxDrawingSurface surface(*dc);
  PaintLiveView(surface, SurfaceRect{0, 0, size.x, size.y}, m_nChannel, run->latest, run->history);
}

void CIvraView::StartTimerOnFirstPaint() {
  if (m_firstPaintDone) return;
  m_firstPaintDone = true;
  if (!m_timer.Start(kTickMs)) {
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
  frame->SetLabel(doc->GetUserReadableName() + " - " + wxTheApp->GetAppDisplayName());
}

int CIvraView::StartMeasurement() {
  // The values of the last Start, which the run keeps also when it failed.
  const MeasurementSettings last = m_run.Snapshot()->settings;
  CComPortDlg dialog(nullptr, m_ports, m_listPorts);
  dialog.m_nPortIndex = (last.portNumber - 1) & 3;
  // Preselected when the list has it.
  dialog.m_strPortPath = last.portPath.empty() ? m_rememberedPortPath : last.portPath;
  if (dialog.ShowModal() != wxID_OK) return -1;

  MeasurementSettings accepted;
  // COM1..COM4 go through the port table as always; any other port by its device.
  const PortChoice& chosen = dialog.ChosenPort();
  accepted.portNumber = chosen.portNumber != 0 ? chosen.portNumber : last.portNumber;
  accepted.portPath = chosen.portNumber != 0 ? m_ports.DevicePath(chosen.portNumber) : chosen.device;
  accepted.sampleInterval = dialog.m_nSampleInterval;
  accepted.measurementTime = dialog.m_nMeasurementTime;
  accepted.outputPath = dialog.GetOutputFile();
  accepted.outputVoltage = dialog.m_dOutputVoltage;
  const int result = m_run.Begin(accepted, *this);
  if (result == 0) SetMessagePane("Ready");
  return result;
}

void CIvraView::StopMeasurement(RunEndReason reason) {
  // No new tick from here on, also not from a modal loop that a replayed
  // front-end call may open.
  m_bStopping = true;
  m_bTickPending = false;
  while (m_worker.Busy()) {
    // A silent instrument would hold the sample for its whole reply time-out.
    if (!m_worker.WaitUntil(m_worker.StartedAt() + kSampleGrace)) RequestStop();
    m_worker.Collect(*this);
    ClearStopRequest();
  }
  // The output goes off from this thread, after the worker has let go of the port.
  m_run.Stop(*this, reason);
  m_bStopping = false;
}

void CIvraView::OnTimer(wxTimerEvent&) { RunTick(); }

void CIvraView::RunTick() {
  // Never two ticks at once: ticks that come while one is in flight fold into
  // one, taken when it is collected, as they did when a sample held the window.
  if (m_worker.Busy() || m_bStopping) {
    m_bTickPending = !m_bStopping;
    return;
  }
  // An idle tick only resets the count: no traffic, nothing to wait for.
  if (!m_run.Snapshot()->Measuring()) {
    m_run.Tick(*this);
    return;
  }
  m_worker.Start();
}

void CIvraView::OnTickEnded() {
  // Stop may have collected the tick already; never wait here.
  if (!m_worker.Busy() || !m_worker.Ended()) return;
  m_worker.Collect(*this);
  if (m_bTickPending) {
    m_bTickPending = false;
    RunTick();
  }
}

void CIvraView::OnMeasurementStart(wxCommandEvent&) {
  if (Measuring()) return;
  StartMeasurement();
  Redraw();
}

void CIvraView::OnMeasurementStop(wxCommandEvent&) {
  // Stop is disabled while idle; a command that arrives anyway is dropped.
  if (!Measuring()) return;
  StopMeasurement();
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
  if (m_canvas) m_canvas->Refresh(true);
}

void CIvraView::ReportTrouble(SampleTrouble, const SnapshotPtr& snapshot) {
  SetMessagePane(wxString::FromUTF8(StatusPaneText(*snapshot)));
}

void CIvraView::WarnOutputMayBeOn(const std::string& text) {
  // Also on stderr: the box may be cut short when a stop signal closes the program.
  std::fprintf(stderr, "ivra: %s\n", text.c_str());
  ShowMessageBox(wxString::FromUTF8(text), wxTheApp->GetAppDisplayName(), wxOK | wxICON_WARNING, nullptr);
}

void CIvraView::SetMessagePane(const wxString& text) {
  auto* frame = wxDynamicCast(GetFrame(), wxFrame);
  if (frame != nullptr && frame->GetStatusBar() != nullptr) frame->SetStatusText(text, 0);
}
