// The words in which both front ends tell a lab user what happened to a run:
// each trouble, the status pane, the end-of-run summary, the warning that the
// instrument's output may still be on, and the run's clock. They read only the
// snapshot they are given. Paths in them are escaped.
#pragma once

#include <string>

#include "instrument/instrument_setup.h"
#include "run/run_snapshot.h"

// What a missed sample's reason is called in counts and the summary, e.g. "no reply".
const char* MissReasonText(MissReason reason);

// What to check when the instrument does not answer at `baud` in `format`:
// "Check: the cable is straight-through, ...; 9600 baud, 8 data bits, ...".
std::string NoReplyChecks(int baud, const LineFormat& format = LineFormat());

// "8 data bits, no parity", "7 data bits, even parity".
std::string LineFormatText(const LineFormat& format);

// One trouble in a sentence, naming the port or file, e.g. "no reading at
// tick 5: no reply from the instrument on /dev/ttyUSB0 (3 missed so far)".
std::string TroubleText(SampleTrouble trouble, const RunSnapshot& run);

// The desktop status pane while troubles have happened: the counts, led by
// what is wrong now (a lost port, a silent instrument).
std::string StatusPaneText(const RunSnapshot& run);

// One line for the end of a run: "12 samples written, 2 missed (1 no reply,
// 1 overflow), 0 lost, 0 port losses, 1 stale reply discarded", followed by
// ", 5 in compliance" when readings were taken in compliance.
std::string RunSummaryLine(const RunSnapshot& run);

// The warning when ":OUTP OFF" could not be delivered at the stop on `portPath`.
std::string OutputMayBeOnText(const std::string& portPath);

// A run time as HH:MM:SS, rounded to the nearest second (halves up); the hours
// grow past two digits. The window and ivra-run show the same.
std::string FormatClock(double seconds);

// The Start failure when the settings were not taken: the instrument's own
// error number and text, or that it did not answer the query, on `portPath`
// at `baud`; the output was not switched on.
std::string SettingsNotTakenText(const ErrorQueryReply& reply, const std::string& portPath, int baud,
                                 const LineFormat& format = LineFormat());
