#include "ui/tick_worker.h"

#include <utility>

void RecordingFrontEnd::ShowMessage(const std::string& text) {
  m_calls.emplace_back([text](RunFrontEnd& target) { target.ShowMessage(text); });
}

void RecordingFrontEnd::Redraw() {
  m_calls.emplace_back([](RunFrontEnd& target) { target.Redraw(); });
}

void RecordingFrontEnd::ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) {
  m_calls.emplace_back([trouble, snapshot](RunFrontEnd& target) { target.ReportTrouble(trouble, snapshot); });
}

void RecordingFrontEnd::WarnOutputMayBeOn(const std::string& text) {
  m_calls.emplace_back([text](RunFrontEnd& target) { target.WarnOutputMayBeOn(text); });
}

void RecordingFrontEnd::ReplayOnto(RunFrontEnd& target) {
  // A replayed call may open a modal loop, in which a new tick can be recorded.
  std::vector<std::function<void(RunFrontEnd&)>> calls;
  calls.swap(m_calls);
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
  if (Busy()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = false;
  }
  m_startedAt = std::chrono::steady_clock::now();
  m_thread = std::thread([this] {
    m_run.Tick(m_recorder);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_ended = true;
    }
    m_endedSignal.notify_all();
    m_finished();
  });
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
