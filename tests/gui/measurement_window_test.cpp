// A short measurement against ivra-sim, started and stopped through the menu,
// and closing the window while one runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <signal.h>
#include <unistd.h>
#include <regex>

#include <wx/time.h>

#include "programs/ivra/main_frame.h"
#include "run/measurement_run.h"
#include "run/sample_history.h"
#include "serial/port_table.h"
#include "tests/gui/gui_test_support.h"
#include "text/run_state_text.h"
#include "ui/command_ids.h"
#include "ui/ivra_view.h"

TEST(MeasurementWindow, RunsAgainstTheSimulatorPlotsAndStopsFromTheMenu) {
  const std::string logPath = TempPath("sim.log");
  const std::string dataPath = TempPath("run.dat");
  // A little noise, so the plot has a range to show.
  SimProcess sim(logPath, {"--noise", "5e-8"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));

  DialogDriver driver;
  const wxLongLong started = wxGetLocalTimeMillis();
  ASSERT_TRUE(StartThroughDialog(driver, dataPath, "600")) << "the measurement did not start";
  EXPECT_EQ(LatestSnapshot()->settings.portNumber, 2);
  EXPECT_FALSE(MenuEnabled(ID_MEASUREMENT_START));
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_STOP));

  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->history.count >= 4; }, 20000))
      << "samples did not arrive";
  std::printf("[ figures ] 4 samples after %.1f s\n", (wxGetLocalTimeMillis() - started).ToDouble() / 1000.0);
  Pump(300);  // let the last sample's repaint happen
  EXPECT_TRUE(SaveWindowScreenshot("ivra-gui-measuring.png"));
  EXPECT_EQ(Frame()->PaneText(0), "Sampling every 1 s at 1.5 V on " + wxString::FromUTF8(sim.DevicePath()))
      << "what the run does: no missed or lost samples against a healthy instrument";

  // File New re-initialises the document only: the measurement goes on.
  CIvraView* view = View();
  PostMenu(ID_FILE_NEW);
  EXPECT_EQ(View(), view);
  EXPECT_TRUE(View()->Measuring());
  EXPECT_EQ(Frame()->GetTitle(), wxString::FromUTF8(OutputFileName(dataPath)) + " - Ivra");

  // Channel switching during the measurement: check mark and plotted row.
  ASSERT_TRUE(PumpUntilCollected([] { return true; }, 5000));
  const wxBitmap currentPlot = RenderView();
  const int samplesInCurrentPlot = LatestSnapshot()->history.count;
  PostMenu(ID_CHANNEL_2);
  EXPECT_EQ(View()->Channel(), 1);
  EXPECT_TRUE(MenuChecked(ID_CHANNEL_2));
  EXPECT_FALSE(MenuChecked(ID_CHANNEL_1));

  PostMenu(ID_MEASUREMENT_STOP);
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  EXPECT_TRUE(MenuEnabled(ID_MEASUREMENT_START));
  EXPECT_FALSE(MenuEnabled(ID_MEASUREMENT_STOP));
  const int samples = LatestSnapshot()->history.count;

  // With the history frozen: channel 2 (voltage) differs from channel 1, and
  // channels 3 and 4 (both zeros) look the same.
  const wxBitmap voltagePlot = RenderView();
  PostMenu(ID_CHANNEL_3);
  const wxBitmap aux3Plot = RenderView();
  PostMenu(ID_CHANNEL_4);
  EXPECT_TRUE(MenuChecked(ID_CHANNEL_4));
  EXPECT_FALSE(MenuChecked(ID_CHANNEL_2));
  const wxBitmap aux4Plot = RenderView();
  EXPECT_FALSE(SameBitmaps(voltagePlot, aux3Plot));
  EXPECT_TRUE(SameBitmaps(aux3Plot, aux4Plot));
  PostMenu(ID_CHANNEL_1);
  EXPECT_FALSE(SameBitmaps(RenderView(), voltagePlot));
  if (samples == samplesInCurrentPlot) {
    EXPECT_TRUE(SameBitmaps(RenderView(), currentPlot)) << "channel 1 shows the current again";
  }

  // Idle ticks after Stop add nothing.
  Pump(1500);
  EXPECT_EQ(LatestSnapshot()->history.count, samples);

  const auto lines = ReadLines(dataPath);
  ASSERT_EQ(static_cast<int>(lines.size()), samples);
  // 1.5 V across 1 MOhm: about 1.5 uA.
  const std::regex line(R"((\d+\.\d\d)\ts\t([-0-9.e+]+)\tuA\r?)");
  double previousTime = -1.0;
  for (const std::string& text : lines) {
    std::smatch fields;
    ASSERT_TRUE(std::regex_match(text, fields, line)) << text;
    const double time = std::stod(fields[1]);
    EXPECT_GT(time, previousTime);
    previousTime = time;
    EXPECT_NEAR(std::stod(fields[2]), 1.5, 0.5) << text;
  }

  const auto commands = LoggedCommands(logPath);
  ASSERT_GE(commands.size(), 3u + 2u * samples);
  EXPECT_EQ(commands[0], "*RST\\r");
  EXPECT_EQ(commands[1], ":OUTP ON\\r");
  for (int i = 0; i < samples; ++i) {
    EXPECT_EQ(commands[2 + 2 * i], ":SOUR:VOLT 1.50000\\r");
    EXPECT_EQ(commands[3 + 2 * i], ":READ?\\r");
  }
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
}

TEST(MeasurementWindow, PaintTimeAndMemory) {
  // Figures for the record, not assertions: one paint of a full history (100
  // samples) into a bitmap of the view's size, and the resident size.
  SampleHistory history;
  LatestReading reading;
  for (int i = 0; i < SampleHistory::kMaxSamples; ++i) {
    reading.time = i;
    reading.current = 1e-6 + 1e-8 * (i % 7);
    history.Append(reading);
  }
  constexpr int kPaints = 20;
  const wxLongLong start = wxGetLocalTimeMillis();
  for (int i = 0; i < kPaints; ++i) RenderPicture(reading, history);
  const double perPaint = (wxGetLocalTimeMillis() - start).ToDouble() / kPaints;
  long residentKb = 0;
  for (const std::string& line : ReadLines("/proc/self/status")) {
    if (line.rfind("VmRSS:", 0) == 0) residentKb = std::stol(line.substr(6));
  }
  std::printf("[ figures ] one paint of 100 samples %.2f ms; resident %ld kB\n", perPaint, residentKb);
  EXPECT_GT(residentKb, 0);
}

TEST(WindowClose, ExitDuringMeasurementSwitchesTheOutputOff) {
  const std::string logPath = TempPath("close.log");
  SimProcess sim(logPath);
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("close.dat"), "600")) << "the measurement did not start";
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->history.count >= 1; }, 10000));

  wxWeakRef<wxWindow> frame(Frame());
  PostMenu(ID_APP_EXIT);
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the window did not close";
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  const auto commands = LoggedCommands(logPath);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
}

TEST(WindowClose, SignalDuringMeasurementClosesInOrder) {
  const std::string logPath = TempPath("signal.log");
  SimProcess sim(logPath);
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("signal.dat"), "600")) << "the measurement did not start";
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->history.count >= 1; }, 10000));

  wxWeakRef<wxWindow> frame(Frame());
  std::raise(SIGTERM);
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the window did not close";
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  const auto commands = LoggedCommands(logPath);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
}

TEST(WindowClose, SignalWhileASilentInstrumentIsAwaitedClosesWithoutWaitingOutTheRead) {
  const std::string logPath = TempPath("silent.log");
  SimProcess sim(logPath, {"--silent"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  ASSERT_TRUE(PumpUntil([] { return View()->TimerRunning(); }, 5000));
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("silent.dat"), "600")) << "the measurement did not start";

  // The sample's reply read would hold the window for 20 s; the signal comes
  // while it waits.
  std::atomic<bool> signalled{false};
  std::chrono::steady_clock::time_point signalTime;
  std::thread signaller([&] {
    for (int i = 0; i < 200; ++i) {
      const auto commands = LoggedCommands(logPath);
      if (!commands.empty() && commands.back() == ":READ?\\r") break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    signalTime = std::chrono::steady_clock::now();
    signalled = true;
    kill(getpid(), SIGTERM);
  });
  wxWeakRef<wxWindow> frame(Frame());
  const bool closed = PumpUntil([&] { return !frame; }, 30000);
  signaller.join();
  ASSERT_TRUE(closed) << "the window did not close";
  ASSERT_TRUE(signalled);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalTime).count();
  EXPECT_LT(seconds, 10.0) << "the close waited for the read's time-out";
  EXPECT_FALSE(LatestSnapshot()->Measuring());
  // The simulator logs a command once its thread has read it: give it a moment.
  std::vector<std::string> commands;
  for (int i = 0; i < 100 && (commands.empty() || commands.back() != ":OUTP OFF\\r"); ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    commands = LoggedCommands(logPath);
  }
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), ":OUTP OFF\\r");
}

TEST(WindowClose, SignalWhileSetupIsOpenCancelsItAndCloses) {
  DialogDriver driver;
  wxWeakRef<wxWindow> frame(Frame());
  driver.Script({[](wxDialog&) { std::raise(SIGHUP); },
                 [](wxDialog&) { ADD_FAILURE() << "the dialog stayed open after the signal"; }});
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the window did not close";
  EXPECT_FALSE(LatestSnapshot()->Measuring());
}

TEST(WindowClose, SignalWhileAMessageBoxIsOpenEndsItAndCloses) {
  DialogDriver driver;
  wxWeakRef<wxWindow> frame(Frame());
  // An output file in no folder: Start fails with a message box, which stays up
  // until the signal ends it.
  driver.Script({[](wxDialog& dialog) {
    SetField(dialog, IDC_OUTPUT_FILE, "/no-such-ivra-folder/x.dat");
    ClickButton(dialog, wxID_OK);
  }});
  driver.ShowMessageBoxesAndRun([](wxDialog&) { std::raise(SIGTERM); });
  PostMenu(ID_MEASUREMENT_START);
  ASSERT_TRUE(PumpUntil([&] { return !frame; }, 5000)) << "the window did not close";
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_EQ(driver.Messages()[0].text.BeforeFirst('\n'), "Can't create file : /no-such-ivra-folder/x.dat");
  EXPECT_FALSE(LatestSnapshot()->Measuring());
}

TEST(MeasurementWindow, AStopOnALostPortSaysInABoxThatTheOutputMayStillBeOn) {
  SimProcess sim(TempPath("lost.log"), {"--hang-up-after", "1"});
  ASSERT_TRUE(sim.Running());
  // The port is a link the test takes away once the line has dropped: the
  // adapter stays unplugged.
  const std::string port = TempPath("lost-port");
  std::remove(port.c_str());
  ASSERT_EQ(symlink(sim.DevicePath().c_str(), port.c_str()), 0);
  ASSERT_TRUE(Ports().SetDevicePath(2, port));
  Frame()->SetSize(960, 600);
  DialogDriver driver;
  StartThroughDialog(driver, TempPath("lost.dat"), "600");
  // The state pane says the port is lost and what is done; the message pane only counts.
  ASSERT_TRUE(PumpUntil(
      [&] {
        return Frame()
            ->PaneText(kRunStatePane)
            .StartsWith("Measuring, port lost: trying " + port + " at every sample; ");
      },
      15000))
      << Frame()->PaneText(kRunStatePane);
  EXPECT_TRUE(PumpUntil([] { return Frame()->PaneText(0).StartsWith("Missed samples: "); }, 3000))
      << Frame()->PaneText(0);
  EXPECT_TRUE(PaneTextWhole(kMessagePane) && PaneTextWhole(kRunStatePane))
      << "cut at 960 px: " << Frame()->PaneText(0) << " | " << Frame()->PaneText(kRunStatePane);
  std::remove(port.c_str());

  PostMenu(ID_MEASUREMENT_STOP);
  ASSERT_TRUE(PumpUntil([] { return !LatestSnapshot()->Measuring(); }, 5000));
  EXPECT_TRUE(Frame()->PaneText(kRunStatePane).StartsWith("Stopped: port lost after "))
      << Frame()->PaneText(kRunStatePane);
  EXPECT_TRUE(Frame()->PaneText(0).StartsWith("Stopped: port lost: ")) << Frame()->PaneText(0);
  ASSERT_EQ(driver.Messages().size(), 1u);
  EXPECT_TRUE(driver.Messages()[0].text.StartsWith("The instrument's output may still be on"))
      << driver.Messages()[0].text;
  EXPECT_NE(driver.Messages()[0].text.Find(wxString::FromUTF8(port)), wxNOT_FOUND);
  Ports() = PortTable();
}

TEST(MeasurementWindow, MissedSamplesShowInTheMessagePaneNotInABox) {
  const std::string logPath = TempPath("garbage.log");
  SimProcess sim(logPath, {"--garbage"});
  ASSERT_TRUE(sim.Running());
  ASSERT_TRUE(Ports().SetDevicePath(2, sim.DevicePath()));
  DialogDriver driver;
  ASSERT_TRUE(StartThroughDialog(driver, TempPath("garbage.dat"), "600")) << "the measurement did not start";
  ASSERT_TRUE(PumpUntilCollected([] { return LatestSnapshot()->counters.missedSamples >= 2; }, 15000));
  EXPECT_EQ(Frame()->PaneText(0), wxString::Format("Missed samples: %d", LatestSnapshot()->counters.missedSamples));
  EXPECT_TRUE(driver.Messages().empty());
  PostMenu(ID_MEASUREMENT_STOP);
  EXPECT_FALSE(LatestSnapshot()->Measuring());
}
