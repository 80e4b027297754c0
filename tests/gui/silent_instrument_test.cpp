// A silent instrument (ivra-sim --silent): every sample's reply read would wait
// about 20 s. Meanwhile the window repaints, takes no second exchange however
// many ticks fall due, and Stop, File > Exit and the close box switch the
// output off at once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <wx/frame.h>
#include <wx/weakref.h>

#include "programs/ivra/main_frame.h"
#include "run/measurement_run.h"
#include "serial/port_table.h"
#include "tests/gui/gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"

namespace {

using Clock = std::chrono::steady_clock;

// The 20 s read is the fault; this bound only has to tell it apart on a
// loaded machine.
constexpr double kPromptSeconds = 3.0;
// Long enough into the read for two ticks to fall due while it waits.
constexpr int kIntoTheReadMs = 2500;

const std::vector<std::string> kOneSampleThenOff = {"*RST\\r", ":OUTP ON\\r", ":SOUR:VOLT 1.50000\\r", ":READ?\\r",
                                                    ":OUTP OFF\\r"};

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool LastCommandIs(const std::string& logPath, const std::string& command) {
  const auto commands = LoggedCommands(logPath);
  return !commands.empty() && commands.back() == command;
}

// Counts the canvas's paints; its own paint handler still runs.
struct PaintCounter {
  void OnPaint(wxPaintEvent& event) {
    ++paints;
    event.Skip();
  }
  int paints = 0;
};

class SilentInstrument : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Running());
    ASSERT_TRUE(Ports().SetDevicePath(2, sim_.DevicePath()));
    ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  }

  // Starts a measurement and returns once its first sample has waited
  // kIntoTheReadMs for the reply. `commandsBefore` were logged before Start.
  void StartAndWaitInTheRead(std::size_t commandsBefore) {
    ASSERT_TRUE(StartThroughDialog(driver_, TempPath("silent.dat"), "600")) << "the measurement did not start";
    ASSERT_TRUE(PumpUntil([&] { return LastCommandIs(logPath_, ":READ?\\r"); }, 10000)) << "no reading request";
    const Clock::time_point requested = Clock::now();
    EXPECT_TRUE(View()->TickInFlight());

    // The window repaints while the reply is awaited.
    PaintCounter counter;
    View()->Canvas()->Bind(wxEVT_PAINT, &PaintCounter::OnPaint, &counter);
    View()->Redraw();
    EXPECT_TRUE(PumpUntil([&] { return counter.paints > 0; }, 2000)) << "no repaint during the read";
    View()->Canvas()->Unbind(wxEVT_PAINT, &PaintCounter::OnPaint, &counter);
    std::printf("[ figures ] repaint during the read: %s\n", counter.paints > 0 ? "yes" : "no");

    Pump(kIntoTheReadMs - static_cast<int>(SecondsSince(requested) * 1000));
    EXPECT_TRUE(View()->TickInFlight()) << "the read ended before its time-out";
    EXPECT_EQ(LoggedCommands(logPath_).size(), commandsBefore + 4) << "a tick started a second exchange";
  }

  // Queues `command` at the frame, as a menu choice would, and waits for
  // ":OUTP OFF\r" on the line. Returns the seconds it took.
  double TimeUntilOutputOff(const std::function<void()>& command) {
    const Clock::time_point start = Clock::now();
    command();
    const bool off = PumpUntil([&] { return LastCommandIs(logPath_, ":OUTP OFF\\r"); }, 30000);
    const double seconds = SecondsSince(start);
    EXPECT_TRUE(off) << "the output was not switched off";
    return seconds;
  }

  const std::string logPath_ = TempPath("silent.log");
  SimProcess sim_{logPath_, {"--silent"}};
  DialogDriver driver_;
};

void QueueMenu(int id) {
  auto* event = new wxCommandEvent(wxEVT_MENU, id);
  event->SetEventObject(Frame());
  wxQueueEvent(Frame()->GetEventHandler(), event);
}

}  // namespace

TEST_F(SilentInstrument, StopFromTheMenuSwitchesTheOutputOffAtOnceAndTheNextRunWaitsAgain) {
  StartAndWaitInTheRead(0);
  SaveWindowScreenshot("ivra-gui-silent-instrument.png");
  const double seconds = TimeUntilOutputOff([] { QueueMenu(ID_MEASUREMENT_STOP); });
  std::printf("[ figures ] Stop to \":OUTP OFF\" with a silent instrument: %.3f s\n", seconds);
  EXPECT_LT(seconds, kPromptSeconds);
  EXPECT_EQ(LoggedCommands(logPath_), kOneSampleThenOff);
  EXPECT_FALSE(View()->Measuring());
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_START));
  EXPECT_FALSE(MenuEnabled(ID_MEASUREMENT_STOP));

  // The stop is spent: the next measurement's read waits for its reply again.
  StartAndWaitInTheRead(kOneSampleThenOff.size());
  const double again = TimeUntilOutputOff([] { QueueMenu(ID_MEASUREMENT_STOP); });
  std::printf("[ figures ] second Stop to \":OUTP OFF\": %.3f s\n", again);
  EXPECT_LT(again, kPromptSeconds);
  EXPECT_EQ(LoggedCommands(logPath_).size(), 2 * kOneSampleThenOff.size());
}

TEST_F(SilentInstrument, ExitFromTheMenuSwitchesTheOutputOffAndCloses) {
  StartAndWaitInTheRead(0);
  wxWeakRef<wxWindow> frame(Frame());
  const double seconds = TimeUntilOutputOff([] { QueueMenu(ID_APP_EXIT); });
  std::printf("[ figures ] File > Exit to \":OUTP OFF\" with a silent instrument: %.3f s\n", seconds);
  EXPECT_LT(seconds, kPromptSeconds);
  EXPECT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the window did not close";
  EXPECT_EQ(LoggedCommands(logPath_), kOneSampleThenOff);
}

TEST_F(SilentInstrument, TheCloseBoxSwitchesTheOutputOffAndCloses) {
  StartAndWaitInTheRead(0);
  wxWeakRef<wxWindow> frame(Frame());
  // What the close box does: a close that could be vetoed.
  const double seconds = TimeUntilOutputOff([] { Frame()->CallAfter([] { Frame()->Close(); }); });
  std::printf("[ figures ] close box to \":OUTP OFF\" with a silent instrument: %.3f s\n", seconds);
  EXPECT_LT(seconds, kPromptSeconds);
  EXPECT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the window did not close";
  EXPECT_EQ(LoggedCommands(logPath_), kOneSampleThenOff);
}
