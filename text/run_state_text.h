// What the desktop window's status bar says about the run as a whole: its
// state pane (measuring with the clock and the count, or how the last run
// ended) and the one message that announces the end. Read from a snapshot only.
#pragma once

#include <string>

#include "run/run_observer.h"
#include "run/run_snapshot.h"

// The streak of readings held at the current limit that the latest sample
// belongs to: when it began (run time) and how many readings it holds so far.
struct ComplianceLead {
  double sinceSeconds = 0.0;
  int samples = 0;
};

// "Measuring: 00:00:05 elapsed, 00:09:55 left, 5 of 600 samples written, x.dat"
// (with steps the step in force before the count, see StepInForceText)
// with ", simulated instrument" when `simulated`; "Measuring, port lost: trying
// /dev/ttyUSB0 at every sample; 5 of 600 samples written, 00:09:55 left"
// while the port is away; after the end "Completed", "Stopped" or "Stopped:
// port lost", with the run time, the count and ", 20 in compliance" when any
// reading was; empty before the first run. While the latest reading is in
// compliance the text leads with `streak`: "In compliance since 00:01:12 (37
// samples): raise the current limit in Setup > Instrument... 5 of 600
// samples written, 00:09:55 left". On the way down after a Stop with a
// ramp: "Ramping down to 0 V: 0.5 V now, 5 of 600 samples written, x.dat". A
// pane led by a trouble leaves the file name to the caption, so that it fits
// beside the message at 960 px.
std::string RunStateText(const RunSnapshot& run, bool simulated, const ComplianceLead& streak = {});

// The state pane after a Start that failed, in a few words that name the file
// or the port: "Start failed: can't create x.dat, its folder does not exist".
// Nothing of the run before it, whose counts belong to other settings.
std::string StartFailedStateText(const StartFailure& failure);

// What a running measurement does, for the message pane while nothing is
// wrong: "Sampling every 1 s at 1.5 V on /dev/ttyUSB0"; with steps "Sampling
// every 1 s, 3 steps, 0.5..1 V, 2 × 11 s, on /dev/ttyUSB0".
std::string RunActivityText(const RunSnapshot& run);

// The message pane while troubles have happened: only the counters that are
// not zero ("Missed samples: 2  Port losses: 1"), since the state pane already
// says compliance and a port that is lost now; a silent instrument's advice in full; what
// the run does when nothing is left to count; empty while the only trouble is
// the compliance the state pane leads with.
std::string TroubleCountsText(const RunSnapshot& run);

// The message pane at the end: "Completed: " (or "Stopped: ", "Stopped: port
// lost: "), the samples written and only the troubles that happened, or
// "nothing missed": "Completed: 30 samples written, nothing missed". The
// compliance count is in the state pane; every counter is in Run Details.
std::string RunEndText(const RunSnapshot& run);

// The output file's name without its folder, as the caption and the pane show it.
std::string OutputFileName(const std::string& outputPath);

// The question before a running measurement is ended by closing the window:
// "A measurement is running (12 samples written to /data/x.dat). Stop it and
// close the window?"
std::string CloseQuestionText(const RunSnapshot& run);

// The step in force while measuring: "step 2 of 3 (1 V), 00:00:40 left in
// it", with ", pass 1 of 2" when the steps repeat; empty before the first
// step and without steps.
std::string StepInForceText(const RunSnapshot& run);

// "Ramping down to 0 V: 0.5 V now", after a Stop with a ramp.
std::string RampDownText(const RunSnapshot& run);
