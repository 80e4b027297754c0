#include "ui/run_driver.h"

#include <utility>

#include "process/stop_request.h"
#include "ui/command_ids.h"

namespace {
constexpr int kTickMs = 1000;
// Below a second: 20 redraws and 4 pane changes a second at most. A frame of
// the live view costs about 4.5 ms of drawing (mostly text) on a small machine;
// 20 keep the window under 150 ms of CPU a second at 50 samples a second.
constexpr int kFrameMs = 50;
constexpr std::chrono::milliseconds kPanesPeriod{250};
// How long after its tick began Stop lets a sample finish by itself before it
// ends the reply wait: a healthy instrument has begun its reply well within
// this (and a reply under way is read to its end anyway), so its sample is
// taken and logged as before. A sample that has waited longer is cut at once.
constexpr std::chrono::milliseconds kSampleGrace{700};

// Hands everything on to the window's front end and keeps a copy of a Start failure.
class FailureKeepingObserver final : public RunObserver {
 public:
  FailureKeepingObserver(RunObserver& target, StartFailure* kept) : m_target(target), m_kept(kept) {}
  void ShowStartFailure(const StartFailure& failure) override {
    if (m_kept != nullptr) *m_kept = failure;
    m_target.ShowStartFailure(failure);
  }
  void Redraw() override { m_target.Redraw(); }
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override {
    m_target.ReportTrouble(trouble, snapshot);
  }
  void ReportOutputMayBeOn(const std::string& portPath) override { m_target.ReportOutputMayBeOn(portPath); }

 private:
  RunObserver& m_target;
  StartFailure* m_kept;
};
// Folds the redraws and troubles of many samples into what one frame shows;
// messages and warnings go on at once.
class FrameFrontEnd final : public RunFrontEnd {
 public:
  explicit FrameFrontEnd(RunFrontEnd& target) : m_target(target) {}
  void ShowMessage(const std::string& text) override { m_target.ShowMessage(text); }
  void Redraw() override { redraw = true; }
  void ReportTrouble(SampleTrouble kind, const SnapshotPtr& snapshot) override {
    trouble = true;
    troubleKind = kind;
    troubleSnapshot = snapshot;
  }
  void WarnOutputMayBeOn(const std::string& text) override { m_target.WarnOutputMayBeOn(text); }

  bool redraw = false;
  bool trouble = false;
  SampleTrouble troubleKind = SampleTrouble::Missed;
  SnapshotPtr troubleSnapshot;

 private:
  RunFrontEnd& m_target;
};

}  // namespace

void RecordingFrontEnd::Record(std::function<void(RunFrontEnd&)> call) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_calls.push_back(std::move(call));
}

void RecordingFrontEnd::ShowMessage(const std::string& text) {
  Record([text](RunFrontEnd& target) { target.ShowMessage(text); });
}

void RecordingFrontEnd::Redraw() {
  Record([](RunFrontEnd& target) { target.Redraw(); });
}

void RecordingFrontEnd::ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) {
  Record([trouble, snapshot](RunFrontEnd& target) { target.ReportTrouble(trouble, snapshot); });
}

void RecordingFrontEnd::WarnOutputMayBeOn(const std::string& text) {
  Record([text](RunFrontEnd& target) { target.WarnOutputMayBeOn(text); });
}

void RecordingFrontEnd::ReplayOnto(RunFrontEnd& target) {
  // A replayed call may open a modal loop, in which a new tick can be recorded.
  std::vector<std::function<void(RunFrontEnd&)>> calls;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    calls.swap(m_calls);
  }
  for (const auto& call : calls) call(target);
}

TickWorker::TickWorker(MeasurementRun& run, std::function<void()> finished)
    : m_run(run), m_finished(std::move(finished)) {}

TickWorker::~TickWorker() {
  if (m_thread.joinable()) m_thread.join();
}

bool TickWorker::Ended() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_ended;
}

void TickWorker::Start() {
  Launch(false, [this] { m_run.Tick(m_recorder); });
}

void TickWorker::StartGrid() {
  Launch(true, [this] {
    Clock& clock = m_run.RunClock();
    while (m_run.Measuring()) {
      const std::int64_t wait = m_run.NextSlotMs() - clock.NowMs();
      std::unique_lock<std::mutex> lock(m_mutex);
      if (m_endWanted) break;
      if (wait > 0) {
        m_wake.wait_for(lock, std::chrono::milliseconds(wait), [this] { return m_endWanted; });
        continue;
      }
      lock.unlock();
      m_run.SampleSlot(m_recorder);
    }
  });
}

void TickWorker::Launch(bool onGrid, std::function<void()> work) {
  if (Busy()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = false;
    m_endWanted = false;
  }
  m_onGrid = onGrid;
  m_startedAt = std::chrono::steady_clock::now();
  m_thread = std::thread([this, work = std::move(work)] {
    work();
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_ended = true;
    }
    m_endedSignal.notify_all();
    m_finished();
  });
}

void TickWorker::EndGrid() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endWanted = true;
  }
  m_wake.notify_all();
}

bool TickWorker::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_endedSignal.wait_until(lock, deadline, [this] { return m_ended; });
}

void TickWorker::Collect(RunFrontEnd& frontEnd) {
  if (!m_thread.joinable()) return;
  m_thread.join();
  m_recorder.ReplayOnto(frontEnd);
}

wxBEGIN_EVENT_TABLE(CRunDriver, wxEvtHandler)
  EVT_TIMER(kViewTimerId, CRunDriver::OnTimer)
  EVT_TIMER(kFrameTimerId, CRunDriver::OnFrame)
wxEND_EVENT_TABLE()

CRunDriver::CRunDriver(MeasurementRun& run, RunFrontEnd& frontEnd, std::function<void()> ticked)
    : m_run(run),
      m_frontEnd(frontEnd),
      m_ticked(std::move(ticked)),
      m_timer(this, kViewTimerId),
      m_frameTimer(this, kFrameTimerId),
      // Thread-safe: queues the call for this handler's thread.
      m_worker(run, [this] { CallAfter(&CRunDriver::OnTickEnded); }) {
  InstallStopRequest();
}

CRunDriver::~CRunDriver() {
  m_timer.Stop();
  m_frameTimer.Stop();
}

bool CRunDriver::StartTicking() { return m_timer.Start(kTickMs); }

int CRunDriver::Begin(const MeasurementSettings& accepted, StartFailure* failure) {
  FailureKeepingObserver observer(m_frontEnd, failure);
  const int result = m_run.Begin(accepted, observer);
  if (result == 0) ServeGrid();
  return result;
}

int CRunDriver::Resume(const ResumePlan& plan, StartFailure* failure) {
  FailureKeepingObserver observer(m_frontEnd, failure);
  const int result = m_run.Resume(plan, observer);
  if (result == 0) ServeGrid();
  return result;
}

void CRunDriver::ServeGrid() {
  if (!m_run.OnGrid()) return;
  m_bTroublePending = false;
  m_pendingTroubleSnapshot.reset();
  m_panesShownAt = std::chrono::steady_clock::now();
  m_worker.StartGrid();
  m_frameTimer.Start(kFrameMs);
}

void CRunDriver::CollectForStop() {
  // No new tick from here on, also not from a modal loop that a replayed
  // front-end call may open.
  m_bStopping = true;
  m_bTickPending = false;
  m_frameTimer.Stop();
  // On the grid the sample under way began at most an interval ago.
  const auto graceFrom = m_worker.OnGrid() ? std::chrono::steady_clock::now() : m_worker.StartedAt();
  m_worker.EndGrid();
  while (m_worker.Busy()) {
    // A silent instrument would hold the sample for its whole reply time-out.
    if (!m_worker.WaitUntil(graceFrom + kSampleGrace)) RequestStop();
    m_worker.Collect(m_frontEnd);
    ClearStopRequest();
  }
}

void CRunDriver::Stop(RunEndReason reason) {
  CollectForStop();
  // The output goes off from this thread, after the worker has let go of the port.
  m_run.Stop(m_frontEnd, reason);
  m_bStopping = false;
}

bool CRunDriver::StopAfterRampDown(RunEndReason reason) {
  CollectForStop();
  // The run is this thread's now: it starts down, or stops at once when it
  // has nothing to bring down or is on its way already.
  const bool stopped = m_run.StopAfterRampDown(m_frontEnd, reason);
  m_bStopping = false;
  // The way down is sampled as the run was: on the tick, or on its grid.
  if (!stopped && m_run.OnGrid()) {
    m_worker.StartGrid();
    m_frameTimer.Start(kFrameMs);
  }
  return stopped;
}

void CRunDriver::OnTimer(wxTimerEvent&) {
  // The grid's frames keep the clock.
  if (m_worker.OnGrid()) return;
  RunTick();
  m_ticked();  // the clock moves on also between samples
}

void CRunDriver::OnFrame(wxTimerEvent&) {
  if (!m_worker.OnGrid()) {
    m_frameTimer.Stop();
    return;
  }
  ShowGridProgress();
}

void CRunDriver::ShowGridProgress() {
  FrameFrontEnd frame(m_frontEnd);
  m_worker.TakeRecorded(frame);
  if (frame.redraw) m_frontEnd.Redraw();
  if (frame.trouble) {
    m_bTroublePending = true;
    m_pendingTrouble = frame.troubleKind;
    m_pendingTroubleSnapshot = frame.troubleSnapshot;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - m_panesShownAt < kPanesPeriod) return;
  m_panesShownAt = now;
  if (m_bTroublePending) {
    m_bTroublePending = false;
    m_frontEnd.ReportTrouble(m_pendingTrouble, m_pendingTroubleSnapshot);
    m_pendingTroubleSnapshot.reset();
  }
  m_ticked();
}

void CRunDriver::RunTick() {
  // Never two ticks at once: ticks that come while one is in flight fold into
  // one, taken when it is collected, as they did when a sample held the window.
  if (m_worker.Busy() || m_bStopping) {
    m_bTickPending = !m_bStopping && !m_worker.OnGrid();
    return;
  }
  // An idle tick only resets the count: no traffic, nothing to wait for.
  if (!m_run.Snapshot()->Measuring()) {
    m_run.Tick(m_frontEnd);
    return;
  }
  m_worker.Start();
}

void CRunDriver::OnTickEnded() {
  // Stop may have collected the tick already; never wait here.
  if (!m_worker.Busy() || !m_worker.Ended()) return;
  m_frameTimer.Stop();
  m_worker.Collect(m_frontEnd);
  m_ticked();
  if (m_bTickPending) {
    m_bTickPending = false;
    RunTick();
  }
}
