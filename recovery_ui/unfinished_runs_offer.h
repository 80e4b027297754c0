// CUnfinishedRunsOffer: the window's list of unfinished runs and the offer of
// each. Looking for them reads every listed run's record and data file (a
// long run's file is large), so it runs on a thread of its own and the window
// paints and takes commands meanwhile; the list found is kept, so that the
// menu item's enabling costs nothing. The window looks at its start, after
// each offer and when one of its runs ends.
//
// The offer shows CUnfinishedRunDlg for each run in turn. Switch Output Off
// calls RecoverUnfinishedRun and tells the outcome; Continue Measuring reads
// the run's plan and hands it to the window; Later goes on to the next.
#pragma once

#include <functional>
#include <thread>
#include <vector>

#include <wx/event.h>
#include <wx/timer.h>

#include "recovery/unfinished_runs.h"

class wxWindow;

// What the window lends the offer.
struct UnfinishedRunsHost {
  // The parent of the dialogs.
  std::function<wxWindow*()> parent;
  // A measurement runs in the window: only one at a time, so Continue Measuring is greyed.
  std::function<bool()> measuring;
  // The window has painted and no dialog of its own is open: an offer found
  // before that waits.
  std::function<bool()> readyToOffer;
  // Continues the run of `plan` in the window; true when it measures. A
  // failure has been shown by the window.
  std::function<bool(const ResumePlan& plan)> continueRun;
};

class CUnfinishedRunsOffer : public wxEvtHandler {
 public:
  explicit CUnfinishedRunsOffer(UnfinishedRunsHost host);
  ~CUnfinishedRunsOffer() override;
  CUnfinishedRunsOffer(const CUnfinishedRunsOffer&) = delete;
  CUnfinishedRunsOffer& operator=(const CUnfinishedRunsOffer&) = delete;

  // Looks for unfinished runs off the window's thread; `offer`: offers them
  // once found, when there are any. A look while one is under way is made
  // again after it.
  void Look(bool offer);
  bool Looking() const { return m_finder.joinable(); }
  // As last found.
  const std::vector<UnfinishedRun>& Runs() const { return m_runs; }
  bool Any() const { return !m_runs.empty(); }

  // Offers each run found, in turn; then looks again. Nothing while an offer is open.
  void Offer();
  bool Offering() const { return m_bOffering; }

  // The window says whether it measures, as often as it likes; a run that
  // ended makes it look again.
  void NoteMeasuring(bool measuring);

 private:
  void OnFound(std::vector<UnfinishedRun> runs);
  void OnWaitTimer(wxTimerEvent& event);
  // Offers now, or once the window is ready.
  void OfferWhenReady();
  // False when the offer was ended from outside: no further run is offered.
  bool OfferOne(const UnfinishedRun& run);

  UnfinishedRunsHost m_host;
  std::vector<UnfinishedRun> m_runs;
  std::thread m_finder;
  bool m_bLookAgain = false;
  bool m_bOfferWhenFound = false;
  bool m_bOffering = false;
  bool m_bWasMeasuring = false;
  // Asks readyToOffer again until the window is ready for an offer.
  wxTimer m_waitTimer;
};
