// Runs the measurement's tick on a thread of its own, so that the window stays
// responsive while a sample waits for the instrument's reply (up to 20 s when
// it is silent).
//
// One tick at a time: the window starts a tick only when none is in flight and
// folds ticks that fall due meanwhile into one (see CIvraView::OnTimer). The
// worker and the window share only two things:
//   - the run's snapshot, which the run publishes under its own lock and the
//     window reads with MeasurementRun::Snapshot();
//   - what the tick asks of its front end (redraw, trouble, messages), which
//     the worker records and Collect replays on the window's thread after it
//     has joined the worker.
// Everything else of the run (its settings, link, file, counters) is the
// worker's while a tick is in flight; the window calls Begin and Stop only
// when none is.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "run/measurement_run.h"
#include "text/run_front_end.h"

// A front end that only remembers what it was asked, for a later replay.
class RecordingFrontEnd : public RunFrontEnd {
 public:
  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override;
  void WarnOutputMayBeOn(const std::string& text) override;

  // Makes the recorded calls on `target`, in their order, and forgets them.
  void ReplayOnto(RunFrontEnd& target);

 private:
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
  std::chrono::steady_clock::time_point StartedAt() const { return m_startedAt; }

  // Waits until `deadline` at most for the tick in flight to end by itself;
  // true when it has.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);

  // Joins the tick (waiting for it if need be) and replays its front-end calls
  // onto `frontEnd`. Does nothing while not Busy.
  void Collect(RunFrontEnd& frontEnd);

 private:
  MeasurementRun& m_run;
  std::function<void()> m_finished;
  RecordingFrontEnd m_recorder;
  std::thread m_thread;
  std::chrono::steady_clock::time_point m_startedAt;
  std::mutex m_mutex;
  std::condition_variable m_endedSignal;
  bool m_ended = false;
};
