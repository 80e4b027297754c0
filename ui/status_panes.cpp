#include "ui/status_panes.h"

#include <utility>

#include <wx/frame.h>
#include <wx/statusbr.h>

#include "text/run_state_text.h"
#include "text/run_text.h"
#include "ui/command_ids.h"

RunStatusPanes::RunStatusPanes(std::function<wxWindow*()> frame, std::string simulatedPortPath)
    : m_frame(std::move(frame)), m_simulatedPortPath(std::move(simulatedPortPath)) {}

wxFrame* RunStatusPanes::Frame() const { return wxDynamicCast(m_frame(), wxFrame); }

void RunStatusPanes::ShowMessage(const wxString& text) {
  wxFrame* frame = Frame();
  if (frame != nullptr && frame->GetStatusBar() != nullptr &&
      frame->GetStatusBar()->GetStatusText(kMessagePane) != text) {
    frame->SetStatusText(text, kMessagePane);
  }
}

void RunStatusPanes::ShowStarted() {
  m_bCountsShown = false;
  ShowMessage("Ready");
}

void RunStatusPanes::ShowTrouble(const RunSnapshot& run) {
  m_bCountsShown = true;
  ShowMessage(wxString::FromUTF8(StatusPaneText(run)));
}

void RunStatusPanes::ShowRunState(const RunSnapshot& run) {
  wxFrame* frame = Frame();
  if (frame == nullptr || frame->GetStatusBar() == nullptr ||
      frame->GetStatusBar()->GetFieldsCount() <= kRunStatePane) {
    return;
  }
  const bool simulated = !m_simulatedPortPath.empty() && run.settings.portPath == m_simulatedPortPath;
  const wxString text = wxString::FromUTF8(RunStateText(run, simulated));
  if (frame->GetStatusBar()->GetStatusText(kRunStatePane) != text) frame->SetStatusText(text, kRunStatePane);
  if (run.Measuring()) {
    m_bRunShown = true;
    if (m_bCountsShown) ShowMessage(wxString::FromUTF8(StatusPaneText(run)));
  } else if (m_bRunShown && run.state == RunState::Ended) {
    m_bRunShown = false;
    m_bCountsShown = false;
    ShowMessage(wxString::FromUTF8(RunEndText(run)));
  }
}
