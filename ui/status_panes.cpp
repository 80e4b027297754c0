#include "ui/status_panes.h"

#include <utility>
#include <vector>

#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/frame.h>
#include <wx/sizer.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>

#include "text/printable_text.h"
#include "text/run_text.h"
#include "text/setting_checks.h"
#include "ui/command_ids.h"

namespace {

// The bar while the latest reading is held at the current limit: amber that
// catches the eye without reading as an error.
const wxColour kComplianceColour(255, 204, 102);

std::string DetailLine(const std::string& label, long long value) {
  return label + ": " + std::to_string(value) + "\n";
}

}  // namespace

RunStatusPanes::RunStatusPanes(std::function<wxWindow*()> frame, std::string simulatedPortPath)
    : m_frame(std::move(frame)), m_simulatedPortPath(std::move(simulatedPortPath)) {}

wxFrame* RunStatusPanes::Frame() const { return wxDynamicCast(m_frame(), wxFrame); }

void RunStatusPanes::SetPaneText(wxStatusBar& bar, int pane, const wxString& text) {
  if (bar.GetFieldsCount() <= pane || bar.GetStatusText(pane) == text) return;
  bar.SetStatusText(text, pane);
  LayOutStatusPanes(bar);
}

void RunStatusPanes::ShowMessage(const wxString& text) {
  wxFrame* frame = Frame();
  if (frame != nullptr && frame->GetStatusBar() != nullptr) SetPaneText(*frame->GetStatusBar(), kMessagePane, text);
}

void RunStatusPanes::ShowStarted(const RunSnapshot& run) {
  m_bCountsShown = false;
  m_strStartFailed.clear();
  m_compliance = ComplianceLead{};
  m_nComplianceBefore = 0;
  ShowMessage(wxString::FromUTF8(RunActivityText(run)));
}

void RunStatusPanes::ShowStartFailed(const StartFailure& failure) {
  m_strStartFailed = wxString::FromUTF8(StartFailedStateText(failure));
  wxFrame* frame = Frame();
  if (frame != nullptr && frame->GetStatusBar() != nullptr) {
    SetPaneText(*frame->GetStatusBar(), kRunStatePane, m_strStartFailed);
  }
}

void RunStatusPanes::ShowTrouble(const RunSnapshot& run) {
  m_bCountsShown = true;
  FollowCompliance(run);
  ShowMessage(wxString::FromUTF8(TroubleCountsText(run)));
}

void RunStatusPanes::FollowCompliance(const RunSnapshot& run) {
  const int held = run.counters.samplesInCompliance;
  // A reading of the run before this one may still be the latest: no streak without a count.
  if (!run.Measuring() || !run.latest.inCompliance || held == 0) {
    if (run.Measuring()) m_compliance = ComplianceLead{};
    return;
  }
  if (m_compliance.samples == 0) {
    m_compliance.sinceSeconds = run.latest.time;
    m_nComplianceBefore = held - 1;
  }
  m_compliance.samples = held - m_nComplianceBefore;
}

void RunStatusPanes::ShowRunState(const RunSnapshot& run) {
  wxFrame* frame = Frame();
  if (frame == nullptr || frame->GetStatusBar() == nullptr ||
      frame->GetStatusBar()->GetFieldsCount() <= kRunStatePane) {
    return;
  }
  wxStatusBar& bar = *frame->GetStatusBar();
  FollowCompliance(run);
  const bool simulated = !m_simulatedPortPath.empty() && run.settings.portPath == m_simulatedPortPath;
  // After a failed Start the run still holds the counts of the run before,
  // under the settings that failed: they must not be shown together.
  const wxString text = !run.Measuring() && !m_strStartFailed.empty()
                            ? m_strStartFailed
                            : wxString::FromUTF8(RunStateText(run, simulated, m_compliance));
  SetPaneText(bar, kRunStatePane, text);
  const bool held = run.Measuring() && m_compliance.samples > 0;
  if (held != m_bColoured) {
    m_bColoured = held;
    // wxNullColour gives the bar its own colour back.
    bar.SetBackgroundColour(held ? kComplianceColour : wxNullColour);
    bar.Refresh();
  }
  if (run.Measuring()) {
    m_bRunShown = true;
    if (m_bCountsShown) ShowMessage(wxString::FromUTF8(TroubleCountsText(run)));
  } else if (m_bRunShown && run.state == RunState::Ended) {
    m_bRunShown = false;
    m_bCountsShown = false;
    ShowMessage(wxString::FromUTF8(RunEndText(run)));
  }
}

std::vector<int> ShareStatusWidths(const std::vector<int>& needs, int room) {
  std::vector<int> widths(needs);
  if (needs.size() <= static_cast<std::size_t>(kRunStatePane)) return widths;
  int rest = room;
  for (std::size_t pane = kRunStatePane + 1; pane < needs.size(); ++pane) rest -= needs[pane];
  const int messageNeed = needs[kMessagePane];
  const int stateNeed = needs[kRunStatePane];
  int state = stateNeed;
  if (messageNeed + stateNeed > rest) {
    // A short text stays whole; two long ones share by need.
    if (messageNeed <= rest / 3) {
      state = rest - messageNeed;
    } else if (stateNeed > rest / 3) {
      state = static_cast<int>(static_cast<long long>(rest) * stateNeed / (messageNeed + stateNeed));
    }
  }
  widths[kRunStatePane] = state > 0 ? state : 0;
  widths[kMessagePane] = rest - widths[kRunStatePane] > 0 ? rest - widths[kRunStatePane] : 0;
  return widths;
}

int PaneTextNeed(const wxStatusBar& bar, const wxString& text) {
  if (text.empty()) return 0;
  // The generic bar draws a field's text 2 px inside the field's rectangle,
  // which lies the bar's border inside the pane, on both sides; GTK moves the
  // text one pixel further right.
  constexpr int kFieldTextMargin = 2;
  return bar.GetTextExtent(text).x + 2 * (bar.GetBorders().x + kFieldTextMargin) + 1;
}

void LayOutStatusPanes(wxStatusBar& bar) {
  const int count = bar.GetFieldsCount();
  if (count <= kRunStatePane) return;
  std::vector<int> needs(static_cast<std::size_t>(count), 0);
  for (int pane = 0; pane < count; ++pane) needs[pane] = PaneTextNeed(bar, bar.GetStatusText(pane));
  // The size grip sits at the end of the last pane, a square of the bar's
  // height and 2 px beside it: that pane gets its room on top of its text.
  const int grip = bar.GetClientSize().y + 2;
  needs[count - 1] += grip;
  std::vector<int> widths = ShareStatusWidths(needs, bar.GetClientSize().x);
  widths[kMessagePane] = -1;  // the rest, also after a resize not seen yet
  bar.SetStatusWidths(count, widths.data());
}

void FollowStatusBar(wxStatusBar& bar) {
  bar.Bind(wxEVT_SIZE, [&bar](wxSizeEvent& event) {
    event.Skip();
    LayOutStatusPanes(bar);
  });
  bar.Bind(wxEVT_MOTION, [&bar](wxMouseEvent& event) {
    event.Skip();
    wxString tip;
    for (int pane = 0; pane < bar.GetFieldsCount(); ++pane) {
      wxRect rect;
      if (!bar.GetFieldRect(pane, rect) || !rect.Contains(event.GetPosition())) continue;
      const wxString text = bar.GetStatusText(pane);
      // The field's rectangle already lies inside the pane's border.
      if (PaneTextNeed(bar, text) - 2 * bar.GetBorders().x > rect.width) tip = text;
    }
    if (bar.GetToolTipText() != tip) {
      if (tip.empty()) {
        bar.UnsetToolTip();
      } else {
        bar.SetToolTip(tip);
      }
    }
  });
}

std::string RunDetailsText(const RunSnapshot& run, const std::string& stateText, const std::string& messageText) {
  std::string text = "State: " + (stateText.empty() ? std::string("no measurement yet") : stateText) + "\n";
  if (!messageText.empty()) text += "Message: " + messageText + "\n";
  if (run.state == RunState::Idle) return text;
  text += "Summary: " + RunSummaryLine(run) + "\n\n";
  const RunCounters& c = run.counters;
  text += DetailLine("Samples taken", c.samplesTaken);
  text += DetailLine("Samples written", c.samplesTaken - c.lostLines);
  text += DetailLine("Missed samples", c.missedSamples);
  for (int i = 0; i < kMissReasonCount; ++i) {
    if (c.missedByReason[i] > 0) {
      text += DetailLine(std::string("  ") + MissReasonText(static_cast<MissReason>(i)), c.missedByReason[i]);
    }
  }
  text += DetailLine("Lost lines", c.lostLines);
  text += DetailLine("Stale replies", c.staleReplies);
  text += DetailLine("Stale bytes discarded", c.staleBytes);
  text += DetailLine("Port losses", c.portLosses);
  text += DetailLine("Samples in compliance", c.samplesInCompliance);
  text += DetailLine("Compliance streaks", c.complianceStreaks);
  text += "\nRun time: " + FormatClock(run.elapsedSeconds) + "\n";
  const MeasurementSettings& s = run.settings;
  text += "Serial port: " + PrintableText(s.portPath) + "\n";
  text += "Time between samples (s): " + IntervalText(IntervalMs(s)) + "\n";
  text += DetailLine("Measurement time (s)", s.measurementTime);
  text += "Output voltage: " + std::to_string(s.outputVoltage) + " V\n";
  text += "Output file: " + PrintableText(s.outputPath) + "\n";
  if (!run.recordPath.empty()) text += "Run record: " + PrintableText(run.recordPath) + "\n";
  if (!run.recordWriteError.empty()) text += "Run record not written: " + run.recordWriteError + "\n";
  return text;
}

CRunDetailsDlg::CRunDetailsDlg(wxWindow* pParent, const std::string& text)
    : wxDialog(pParent, wxID_ANY, "Run Details", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
  m_pText = new wxTextCtrl(this, wxID_ANY, wxString::FromUTF8(text), wxDefaultPosition, wxDefaultSize,
                           wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
  m_pText->SetMinSize(FromDIP(wxSize(560, 360)));
  auto* copy = new wxButton(this, wxID_COPY, "Copy");
  auto* close = new wxButton(this, wxID_OK, "Close");
  close->SetDefault();
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(copy, 0, wxRIGHT, FromDIP(8));
  buttons->Add(close);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(m_pText, 1, wxEXPAND | wxALL, FromDIP(8));
  sizer->Add(buttons, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(8));
  SetSizerAndFit(sizer);
  SetEscapeId(wxID_OK);
  Bind(wxEVT_BUTTON, &CRunDetailsDlg::OnCopy, this, wxID_COPY);
  Centre();
}

wxString CRunDetailsDlg::Text() const { return m_pText->GetValue(); }

void CRunDetailsDlg::OnCopy(wxCommandEvent&) {
  if (wxTheClipboard->Open()) {
    wxTheClipboard->SetData(new wxTextDataObject(m_pText->GetValue()));
    wxTheClipboard->Close();
  }
}
