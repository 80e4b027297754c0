// The words in which both front ends tell a lab user what happened to a run:
// each trouble, the status pane, the end-of-run summary and the warning that
// the instrument's output may still be on. Paths in them are escaped.
#pragma once

#include <string>

#include "measurement/measurement_run.h"

// What a missed sample's reason is called in counts and the summary, e.g. "no reply".
const char* MissReasonText(MissReason reason);

// One trouble of the running measurement in a sentence, naming the port or
// file, e.g. "no reading at tick 5: no reply from the instrument on
// /dev/ttyUSB0 (3 missed so far)".
std::string TroubleText(SampleTrouble trouble);

// The desktop status pane while troubles have happened: the counts, led by
// what is wrong now (a lost port, a silent instrument).
std::string StatusPaneText();

// One line for the end of a run: "12 samples written, 2 missed (1 no reply,
// 1 overflow), 0 lost, 0 port losses, 1 stale reply discarded".
std::string RunSummaryLine();

// The warning when ":OUTP OFF" could not be delivered at the stop.
std::string OutputMayBeOnText();
