// What the desktop window's status bar says about the run as a whole: its
// state pane (measuring with the clock and the count, or how the last run
// ended) and the one message that announces the end. Read from a snapshot only.
#pragma once

#include <string>

#include "run/run_snapshot.h"

// "Measuring: 00:00:05 elapsed, 00:09:55 left, 5 of 600 samples written, x.dat"
// with ", simulated instrument" when `simulated`; "Measuring, port lost: ..."
// while the port is away; after the end "Completed", "Stopped" or "Stopped:
// port lost", with the run time and the count; empty before the first run.
std::string RunStateText(const RunSnapshot& run, bool simulated);

// "Completed: " (or "Stopped: ", "Stopped: port lost: ") and the summary line.
std::string RunEndText(const RunSnapshot& run);

// The output file's name without its folder, as the caption and the pane show it.
std::string OutputFileName(const std::string& outputPath);
