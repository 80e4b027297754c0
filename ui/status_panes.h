// The main window's two status panes, kept current from the run's snapshots:
// the message pane (what the run does, troubles, the end of a run, what a
// command did) and the run-state pane (measuring with its clock and count, or
// how the run ended, or why a Start failed). The panes share the bar's width
// by what their texts need, and the pane under the mouse shows its whole text
// as a tooltip when it is cut short.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <wx/dialog.h>
#include <wx/string.h>

#include "run/run_observer.h"
#include "run/run_snapshot.h"
#include "text/run_state_text.h"

class wxFrame;
class wxStatusBar;
class wxTextCtrl;
class wxWindow;

class RunStatusPanes {
 public:
  // `frame` gives the window whose status bar shows the panes, asked anew at
  // every change; without a frame or a status bar nothing is shown.
  // `simulatedPortPath`: the device of the program's simulated instrument,
  // empty when there is none.
  RunStatusPanes(std::function<wxWindow*()> frame, std::string simulatedPortPath);

  void ShowMessage(const wxString& text);
  // A measurement has started: what it does, and no counts until a trouble.
  void ShowStarted(const RunSnapshot& run);
  // A Start failed: the state pane says so and why until the next Start.
  void ShowStartFailed(const StartFailure& failure);
  // A trouble's counts; from here on they follow every sample, since a trouble
  // is reported once per streak while e.g. the compliance count grows with each.
  void ShowTrouble(const RunSnapshot& run);
  // The run-state pane from `run`; the end of a run is announced in the
  // message pane the first time it is seen.
  void ShowRunState(const RunSnapshot& run);

  // The streak of readings in compliance the latest one belongs to; no
  // samples while the latest reading is not in compliance.
  const ComplianceLead& Compliance() const { return m_compliance; }

 private:
  wxFrame* Frame() const;
  void FollowCompliance(const RunSnapshot& run);
  void SetPaneText(wxStatusBar& bar, int pane, const wxString& text);

  std::function<wxWindow*()> m_frame;
  const std::string m_simulatedPortPath;
  // The state pane shows a running measurement whose end is still to be announced.
  bool m_bRunShown = false;
  // The message pane shows the run's counts, to be kept current per sample.
  bool m_bCountsShown = false;
  // Why the latest Start failed; empty once a Start has succeeded.
  wxString m_strStartFailed;
  ComplianceLead m_compliance;
  // The bar shows the compliance colour.
  bool m_bColoured = false;
  // samplesInCompliance before the current streak began.
  int m_nComplianceBefore = 0;
};

// The width a pane needs to show `text` whole in the bar's own font: the
// text's extent and the margins the bar keeps around it; 0 for no text.
int PaneTextNeed(const wxStatusBar& bar, const wxString& text);
// The panes' widths from what each needs (the lock-key panes and the message
// and state panes, in the bar's order) in `room` pixels: the lock-key panes
// get their need; the state pane its need and the message pane the rest while
// both fit; else a short text stays whole and two long ones share by need.
std::vector<int> ShareStatusWidths(const std::vector<int>& needs, int room);
// Gives the lock-key panes only the room of what they show and shares the
// rest between the message and the state pane by what their texts need;
// the frame calls it when the bar is made, resized or its texts change.
void LayOutStatusPanes(wxStatusBar& bar);
// Lays the panes out again as the bar changes size, and shows the whole text
// of a pane that is cut short as the tooltip over it.
void FollowStatusBar(wxStatusBar& bar);

// View > Run Details...: a small read-only window with the whole of what the
// status panes say, the end summary and every counter of the run, as text the
// user can select and copy (or copy whole with its button).
// The details as lines: the two panes' texts, the summary, the counters and the settings.
std::string RunDetailsText(const RunSnapshot& run, const std::string& stateText, const std::string& messageText);

class CRunDetailsDlg : public wxDialog {
 public:
  CRunDetailsDlg(wxWindow* pParent, const std::string& text);
  wxString Text() const;

 private:
  void OnCopy(wxCommandEvent& event);

  wxTextCtrl* m_pText = nullptr;
};
