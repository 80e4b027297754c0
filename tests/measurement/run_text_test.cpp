// The words of a run come from the snapshot they are given, and the run's
// clock reads the same wherever it is shown.
#include "text/run_text.h"

#include <gtest/gtest.h>

namespace {

TEST(RunText, TextsReadTheSnapshotTheyAreGiven) {
  RunSnapshot lost;
  lost.state = RunState::PortLost;
  lost.settings.portPath = "/dev/ttyUSB0";
  lost.settings.outputPath = "/data/x.dat";
  lost.tickCount = 5;
  lost.counters.missedSamples = 2;
  lost.counters.portLosses = 1;
  lost.counters.lastMissReason = MissReason::PortLost;
  lost.recordPath = "/data/x.dat.run.json";
  lost.recordWriteError = "No space left on device";

  RunSnapshot silent = lost;
  silent.state = RunState::Running;
  silent.settings.portPath = "/dev/ttyS1\n";
  silent.tickCount = 9;
  silent.counters.lastMissReason = MissReason::NoReply;
  silent.counters.noReplyStreak = kSilentSampleLimit;

  EXPECT_EQ(TroubleText(SampleTrouble::Missed, lost),
            "no reading at tick 5: serial port /dev/ttyUSB0 is lost (2 missed so far)");
  EXPECT_EQ(TroubleText(SampleTrouble::Missed, silent),
            "no reading at tick 9: no reply from the instrument on /dev/ttyS1\\n (2 missed so far)");
  EXPECT_EQ(TroubleText(SampleTrouble::RecordNotWritten, lost),
            "the run record /data/x.dat.run.json could not be written (No space left on device); the measurement "
            "goes on");

  EXPECT_EQ(StatusPaneText(lost),
            "Serial port /dev/ttyUSB0 lost; trying it again at every sample.  Missed samples: 2  Lost lines: 0  "
            "Port losses: 1");
  EXPECT_EQ(StatusPaneText(silent).rfind("No reply from the instrument on /dev/ttyS1\\n for 3 samples in a row.", 0),
            0u)
      << StatusPaneText(silent);
  // What to check names the line speed the run used.
  EXPECT_NE(TroubleText(SampleTrouble::InstrumentSilent, silent).find("; 9600 baud, 8 data bits"), std::string::npos);
  silent.settings.instrument.baud = 38400;
  EXPECT_NE(TroubleText(SampleTrouble::InstrumentSilent, silent).find("; 38400 baud, 8 data bits"), std::string::npos);
  // Once the run has ended, its port is no longer lost.
  RunSnapshot ended = lost;
  ended.state = RunState::Ended;
  EXPECT_EQ(StatusPaneText(ended), "Missed samples: 2  Lost lines: 0  Port losses: 1");
}

TEST(RunText, ClockRoundsToTheNearestSecondAndLetsTheHoursGrow) {
  EXPECT_EQ(FormatClock(0.0), "00:00:00");
  EXPECT_EQ(FormatClock(0.49), "00:00:00");
  EXPECT_EQ(FormatClock(0.5), "00:00:01");
  EXPECT_EQ(FormatClock(59.5), "00:01:00");
  EXPECT_EQ(FormatClock(3599.5), "01:00:00");
  EXPECT_EQ(FormatClock(86399.4), "23:59:59");
  EXPECT_EQ(FormatClock(360000.0), "100:00:00");
  EXPECT_EQ(FormatClock(-3.0), "00:00:00");
}

}  // namespace
