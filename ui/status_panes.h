// The main window's two status panes, kept current from the run's snapshots:
// the message pane (troubles, the end of a run, what a command did) and the
// run-state pane (measuring with its clock and count, or how the run ended).
#pragma once

#include <functional>
#include <string>

#include <wx/string.h>

#include "run/run_snapshot.h"

class wxFrame;
class wxWindow;

class RunStatusPanes {
 public:
  // `frame` gives the window whose status bar shows the panes, asked anew at
  // every change; without a frame or a status bar nothing is shown.
  // `simulatedPortPath`: the device of the program's simulated instrument,
  // empty when there is none.
  RunStatusPanes(std::function<wxWindow*()> frame, std::string simulatedPortPath);

  void ShowMessage(const wxString& text);
  // A measurement has started: "Ready", and no counts until a trouble.
  void ShowStarted();
  // A trouble's counts; from here on they follow every sample, since a trouble
  // is reported once per streak while e.g. the compliance count grows with each.
  void ShowTrouble(const RunSnapshot& run);
  // The run-state pane from `run`; the end of a run is announced in the
  // message pane the first time it is seen.
  void ShowRunState(const RunSnapshot& run);

 private:
  wxFrame* Frame() const;

  std::function<wxWindow*()> m_frame;
  const std::string m_simulatedPortPath;
  // The state pane shows a running measurement whose end is still to be announced.
  bool m_bRunShown = false;
  // The message pane shows the run's counts, to be kept current per sample.
  bool m_bCountsShown = false;
};
