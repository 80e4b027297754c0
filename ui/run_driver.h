// Runs the measurement for the window: the one-second timer, each tick on a
// worker thread of its own, Begin and Stop. The window stays responsive while
// a sample waits for the instrument's reply (up to 20 s when it is silent).
//
// One tick at a time: the driver starts a tick only when none is in flight and
// folds ticks that fall due meanwhile into one. The worker and the window
// share only two things:
//   - the run's snapshot, which the run publishes under its own lock and the
//     window reads with MeasurementRun::Snapshot();
//   - what the tick asks of its front end (redraw, trouble, messages), which
//     the worker records and Collect replays on the window's thread after it
//     has joined the worker.
// Everything else of the run (its settings, link, file, counters) is the
// worker's while a tick is in flight; Begin and Stop run only when none is.
// Stop ends the wait of a tick in flight (the stop request), collects the
// tick, then switches the output off on the window's thread.
//
// Below a second the run keeps its own time: the worker serves the run's
// sampling grid for the whole measurement, and the window takes what it
// recorded on a frame timer, redrawing at most 20 times a second and
// changing the status panes at most about 4 times a second, whatever the
// sampling rate.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <wx/event.h>
#include <wx/timer.h>

#include "run/measurement_run.h"
#include "text/run_front_end.h"

// A front end that only remembers what it was asked, for a later replay. The
// worker records while the window replays what came before.
class RecordingFrontEnd : public RunFrontEnd {
 public:
  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override;
  void WarnOutputMayBeOn(const std::string& text) override;

  // Makes the recorded calls on `target`, in their order, and forgets them.
  void ReplayOnto(RunFrontEnd& target);

 private:
  void Record(std::function<void(RunFrontEnd&)> call);

  std::mutex m_mutex;
  std::vector<std::function<void(RunFrontEnd&)>> m_calls;
};

class TickWorker {
 public:
  // Ticks `run`. `finished` runs on the worker thread after each tick, as its
  // last step; it must only post a notice to the window's thread.
  TickWorker(MeasurementRun& run, std::function<void()> finished);
  ~TickWorker();
  TickWorker(const TickWorker&) = delete;
  TickWorker& operator=(const TickWorker&) = delete;

  // A tick has been started and not yet collected.
  bool Busy() const { return m_thread.joinable(); }
  // The tick in flight has ended; Collect will not wait.
  bool Ended();

  // Starts the run's Tick on the worker thread. Only while not Busy.
  void Start();
  // Starts serving the run's sampling grid on the worker thread: each slot
  // when it falls due, until the run ends or EndGrid. Only while not Busy.
  void StartGrid();
  // The grid loop takes no further slot; a sample under way goes on.
  void EndGrid();
  // Serving the grid (until collected).
  bool OnGrid() const { return Busy() && m_onGrid; }
  std::chrono::steady_clock::time_point StartedAt() const { return m_startedAt; }

  // Replays what the worker has recorded so far onto `frontEnd`, while it
  // goes on. The window's thread only.
  void TakeRecorded(RunFrontEnd& frontEnd) { m_recorder.ReplayOnto(frontEnd); }

  // Waits until `deadline` at most for the tick in flight to end by itself;
  // true when it has.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);

  // Joins the tick (waiting for it if need be) and replays its front-end calls
  // onto `frontEnd`. Does nothing while not Busy.
  void Collect(RunFrontEnd& frontEnd);

 private:
  // Runs `work` on the worker thread, then marks the tick ended and calls m_finished.
  void Launch(bool onGrid, std::function<void()> work);

  MeasurementRun& m_run;
  std::function<void()> m_finished;
  RecordingFrontEnd m_recorder;
  std::thread m_thread;
  std::chrono::steady_clock::time_point m_startedAt;
  std::mutex m_mutex;
  std::condition_variable m_endedSignal;
  bool m_ended = false;
  std::condition_variable m_wake;  // ends the grid loop's wait for its next slot
  bool m_endWanted = false;
  bool m_onGrid = false;
};

// Lives on the window's thread, as its event handler: the timer and the
// worker's end of a tick arrive here.
class CRunDriver : public wxEvtHandler {
 public:
  // Every call of the run reaches `frontEnd` on this thread. `ticked` runs
  // after each timer tick and after each tick collected from the worker, so
  // the window can show the run's clock and count.
  CRunDriver(MeasurementRun& run, RunFrontEnd& frontEnd, std::function<void()> ticked);
  ~CRunDriver() override;
  CRunDriver(const CRunDriver&) = delete;
  CRunDriver& operator=(const CRunDriver&) = delete;

  // Starts the one-second timer; false when the system has none to spare.
  bool StartTicking();
  bool Ticking() const { return m_timer.IsRunning(); }

  // A measurement runs, or its last tick has not been collected yet.
  bool Measuring() const { return m_worker.Busy() || m_run.Snapshot()->Measuring(); }
  // A tick runs on the worker thread: the run is the worker's meanwhile.
  bool TickInFlight() const { return m_worker.Busy(); }

  // The run's Begin with these settings: 0 when the measurement runs. Only
  // while not Measuring. A failed Start is shown as always and, when
  // `failure` is given, also kept there, so the window can say what failed.
  int Begin(const MeasurementSettings& accepted, StartFailure* failure = nullptr);
  // The run's Resume of a run whose program was gone, as Begin: the ticks go
  // on from the run's own count, a grid from its next slot.
  int Resume(const ResumePlan& plan, StartFailure* failure = nullptr);
  // Lets a sample in flight finish within its grace, cuts it after that, and
  // stops the run (the output goes off).
  void Stop(RunEndReason reason);
  // The same, but with a ramp the output is first brought back to 0 V on the
  // run's own samples, which go on until it stops itself there; called again
  // on the way down it is Stop. True once the run has stopped.
  bool StopAfterRampDown(RunEndReason reason);

 private:
  // After a Begin or Resume that worked: a grid's samples go to the worker.
  void ServeGrid();
  // Ends the grid and collects the tick in flight: the run is this thread's.
  void CollectForStop();
  void OnTimer(wxTimerEvent& event);
  void OnFrame(wxTimerEvent& event);
  void RunTick();
  void OnTickEnded();
  // What the grid's samples asked for since the last frame, paced.
  void ShowGridProgress();

  MeasurementRun& m_run;
  RunFrontEnd& m_frontEnd;
  std::function<void()> m_ticked;
  wxTimer m_timer;
  wxTimer m_frameTimer;
  TickWorker m_worker;
  // On the grid: a trouble waiting for the panes' next turn, and that turn.
  bool m_bTroublePending = false;
  SampleTrouble m_pendingTrouble = SampleTrouble::Missed;
  SnapshotPtr m_pendingTroubleSnapshot;
  std::chrono::steady_clock::time_point m_panesShownAt;
  // A tick fell due while one was in flight; taken once that one is collected.
  bool m_bTickPending = false;
  // Stop is collecting the tick in flight and switching the output off.
  bool m_bStopping = false;

  wxDECLARE_EVENT_TABLE();
};
