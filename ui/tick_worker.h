// Runs the measurement's tick on a thread of its own, so that the window stays
// responsive while a sample waits for the instrument's reply (up to 20 s when
// it is silent).
//
// One tick at a time: the window starts a tick only when none is in flight and
// folds ticks that fall due meanwhile into one (see CIvraView::OnTimer). While
// a tick is in flight the worker owns the measurement state and the serial
// link; the window thread touches them again only after Collect, which joins
// the thread. What the tick asks of its front end (redraw, trouble, messages)
// is recorded on the worker and carried out by Collect on the window's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "measurement/measurement_run.h"

// A front end that only remembers what it was asked, for a later replay.
class RecordingFrontEnd : public RunFrontEnd {
 public:
  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble) override;
  void WarnOutputMayBeOn(const std::string& text) override;

  // Makes the recorded calls on `target`, in their order, and forgets them.
  void ReplayOnto(RunFrontEnd& target);

 private:
  std::vector<std::function<void(RunFrontEnd&)>> m_calls;
};

class TickWorker {
 public:
  // `finished` runs on the worker thread after each tick, as its last step; it
  // must only post a notice to the window's thread.
  explicit TickWorker(std::function<void()> finished);
  ~TickWorker();
  TickWorker(const TickWorker&) = delete;
  TickWorker& operator=(const TickWorker&) = delete;

  // A tick has been started and not yet collected.
  bool Busy() const { return m_thread.joinable(); }
  // The tick in flight has ended; Collect will not wait.
  bool Ended();

  // Starts MeasurementTick on the worker thread. Only while not Busy.
  void Start();
  std::chrono::steady_clock::time_point StartedAt() const { return m_startedAt; }

  // Waits until `deadline` at most for the tick in flight to end by itself;
  // true when it has.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);

  // Joins the tick (waiting for it if need be) and replays its front-end calls
  // onto `frontEnd`. Does nothing while not Busy.
  void Collect(RunFrontEnd& frontEnd);

 private:
  std::function<void()> m_finished;
  RecordingFrontEnd m_recorder;
  std::thread m_thread;
  std::chrono::steady_clock::time_point m_startedAt;
  std::mutex m_mutex;
  std::condition_variable m_endedSignal;
  bool m_ended = false;
};
