// The tick worker over a run on a fake link: what a tick asks of its front end
// reaches the window only when the window collects it, on the window's thread,
// with the snapshot each trouble came with. Runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "run/measurement_run.h"
#include "run/run_record.h"
#include "tests/gui/gui_test_support.h"
#include "tests/measurement/fake_clock.h"
#include "tests/measurement/fake_instrument_link.h"
#include "text/run_front_end.h"
#include "ui/run_driver.h"

namespace {

using std::chrono::steady_clock;

// The fake link, whose reads wait until the test lets them go, so that a
// tick stays in flight as long as the test needs.
class GatedLink final : public InstrumentLink {
 public:
  FakeInstrumentLink inner;  // only the thread that drives the run touches it

  bool WaitForARead(std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return reading_; });
  }
  void LetReadsGo() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

  bool Open(const std::string& devicePath, PortOpenError* error) override { return inner.Open(devicePath, error); }
  bool Write(const void* bytes, int count) override { return inner.Write(bytes, count); }
  int Read(void* buffer, int count) override {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      reading_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return open_; });
    }
    return inner.Read(buffer, count);
  }
  int DiscardInput() override { return inner.DiscardInput(); }
  void Close() override { inner.Close(); }
  bool Lost() override { return inner.Lost(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool reading_ = false;
  bool open_ = false;
};

// The window's side: each call as it arrives, and the thread it arrives on.
class WindowFrontEnd final : public RunFrontEnd {
 public:
  std::vector<std::string> calls;
  std::vector<std::thread::id> threads;
  SnapshotPtr troubleSnapshot;

  void ShowMessage(const std::string& text) override { Note("message " + text); }
  void Redraw() override { Note("redraw"); }
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override {
    Note("trouble " + std::to_string(static_cast<int>(trouble)));
    troubleSnapshot = snapshot;
  }
  void WarnOutputMayBeOn(const std::string& text) override { Note("warning " + text); }

 private:
  void Note(const std::string& call) {
    calls.push_back(call);
    threads.push_back(std::this_thread::get_id());
  }
};

}  // namespace

TEST(TickWorker, ATicksCallsReachTheWindowAtCollectWithTheSnapshotOfTheirMoment) {
  auto owned = std::make_unique<GatedLink>();
  GatedLink& link = *owned;
  link.inner.replies = {"no reading here\r"};
  MeasurementRun run(std::move(owned), std::make_unique<FakeClock>());
  WindowFrontEnd window;
  MeasurementSettings settings;
  settings.portPath = "/dev/fake";
  settings.sampleInterval = 1;
  settings.measurementTime = 10;
  settings.outputPath = TempPath("worker.dat");
  ASSERT_EQ(run.Begin(settings, window), 0);
  window.calls.clear();
  window.threads.clear();

  std::atomic<int> finished{0};
  TickWorker worker(run, [&] { ++finished; });
  worker.Start();
  ASSERT_TRUE(link.WaitForARead(std::chrono::seconds(10))) << "the tick asked for no reply";
  EXPECT_TRUE(worker.Busy());
  EXPECT_FALSE(worker.Ended());
  EXPECT_FALSE(worker.WaitUntil(steady_clock::now() + std::chrono::milliseconds(50)));
  // Meanwhile the window reads the run's last snapshot, and nothing else.
  EXPECT_TRUE(run.Snapshot()->Measuring());

  link.LetReadsGo();
  ASSERT_TRUE(worker.WaitUntil(steady_clock::now() + std::chrono::seconds(10)));
  EXPECT_TRUE(worker.Ended());
  EXPECT_TRUE(window.calls.empty()) << "a call reached the window before Collect";
  worker.Collect(window);
  EXPECT_FALSE(worker.Busy());
  EXPECT_EQ(finished.load(), 1);

  const std::string missed = "trouble " + std::to_string(static_cast<int>(SampleTrouble::Missed));
  EXPECT_EQ(window.calls, (std::vector<std::string>{missed, "redraw"}));
  for (const std::thread::id& thread : window.threads) EXPECT_EQ(thread, std::this_thread::get_id());
  ASSERT_NE(window.troubleSnapshot, nullptr);
  EXPECT_EQ(window.troubleSnapshot->counters.missedSamples, 1);
  EXPECT_EQ(window.troubleSnapshot->counters.lastMissReason, MissReason::NoReading);
  EXPECT_EQ(window.troubleSnapshot->tickCount, 1);

  run.Stop(window, RunEndReason::StoppedByUser);
  std::remove(settings.outputPath.c_str());
  std::remove(RunRecordPath(settings.outputPath).c_str());
}
