#include "recovery_ui/unfinished_runs_offer.h"

#include <utility>

#include <wx/msgdlg.h>
#include <wx/utils.h>
// After msgdlg.h, which it needs declared first.
#include <wx/generic/msgdlgg.h>

#include "recovery_ui/unfinished_run_dlg.h"
#include "recovery_ui/unfinished_run_words.h"

namespace {

constexpr int kWaitMs = 100;

// The generic box, like every other box of the program: tests and a stop
// signal can end it from outside.
void Say(wxWindow* parent, const std::string& text, long icon) {
  wxGenericMessageDialog box(parent, wxString::FromUTF8(text), "Ivra", wxOK | icon);
  box.ShowModal();
}

}  // namespace

CUnfinishedRunsOffer::CUnfinishedRunsOffer(UnfinishedRunsHost host) : m_host(std::move(host)), m_waitTimer(this) {
  Bind(wxEVT_TIMER, &CUnfinishedRunsOffer::OnWaitTimer, this);
}

CUnfinishedRunsOffer::~CUnfinishedRunsOffer() {
  m_waitTimer.Stop();
  // Its notice, if posted, goes with this handler.
  if (m_finder.joinable()) m_finder.join();
}

void CUnfinishedRunsOffer::Look(bool offer) {
  m_bOfferWhenFound = m_bOfferWhenFound || offer;
  if (m_finder.joinable()) {
    m_bLookAgain = true;
    return;
  }
  m_finder = std::thread([this] {
    std::vector<UnfinishedRun> runs = FindUnfinishedRuns();
    // Thread-safe: queues the call for the window's thread.
    CallAfter([this, runs] { OnFound(runs); });
  });
}

void CUnfinishedRunsOffer::OnFound(std::vector<UnfinishedRun> runs) {
  if (m_finder.joinable()) m_finder.join();
  m_runs = std::move(runs);
  if (m_bLookAgain) {
    m_bLookAgain = false;
    Look(false);
    return;
  }
  if (!m_bOfferWhenFound) return;
  m_bOfferWhenFound = false;
  if (!m_runs.empty()) OfferWhenReady();
}

void CUnfinishedRunsOffer::OfferWhenReady() {
  if (m_host.readyToOffer && !m_host.readyToOffer()) {
    m_waitTimer.StartOnce(kWaitMs);
    return;
  }
  Offer();
}

void CUnfinishedRunsOffer::OnWaitTimer(wxTimerEvent&) { OfferWhenReady(); }

void CUnfinishedRunsOffer::NoteMeasuring(bool measuring) {
  if (m_bWasMeasuring && !measuring) Look(false);
  m_bWasMeasuring = measuring;
}

void CUnfinishedRunsOffer::Offer() {
  if (m_bOffering) return;
  m_bOffering = true;
  // A copy: a look that ends meanwhile replaces the list.
  const std::vector<UnfinishedRun> runs = m_runs;
  for (const UnfinishedRun& run : runs) {
    if (!OfferOne(run)) break;
  }
  m_bOffering = false;
  Look(false);
}

bool CUnfinishedRunsOffer::OfferOne(const UnfinishedRun& run) {
  wxWindow* parent = m_host.parent ? m_host.parent() : nullptr;
  std::string whyNoContinue;
  if (run.plannedEndPassed) {
    whyNoContinue = "Its planned end has passed.";
  } else if (m_host.measuring && m_host.measuring()) {
    whyNoContinue = "A measurement runs in this window: stop it to continue this one here.";
  }
  CUnfinishedRunDlg dialog(parent, UnfinishedRunText(run), whyNoContinue);
  switch (dialog.Ask()) {
    case UnfinishedRunChoice::SwitchOutputOff: {
      RecoverResult result;
      {
        wxBusyCursor busy;
        result = RecoverUnfinishedRun(run);
      }
      Say(parent, RecoverOutcomeText(run, result, ListSerialPorts()),
          RecoverOutcomeIsWarning(result) ? wxICON_WARNING : wxICON_INFORMATION);
      break;
    }
    case UnfinishedRunChoice::ContinueMeasuring: {
      ResumePlan plan;
      std::string problem;
      bool planned = false;
      {
        wxBusyCursor busy;
        planned = ReadResumePlan(run, plan, problem);
      }
      if (!planned) {
        Say(parent, ResumeRefusedText(run, problem), wxICON_WARNING);
      } else if (m_host.continueRun) {
        m_host.continueRun(plan);
      }
      break;
    }
    case UnfinishedRunChoice::Later: break;
    case UnfinishedRunChoice::Cancelled: return false;
  }
  return true;
}
