// What the window says about a run whose program went away: the offer of the
// three choices, the outcome of "Switch Output Off", and why a run cannot be
// continued. Plain text; the dialogs show it.
#pragma once

#include <string>
#include <vector>

#include "recovery/unfinished_runs.h"
#include "serial/port_discovery.h"

// "2026-12-08 22:14:03" of a record's "2026-12-08T22:14:03.250+01:00" (local
// time, as written); the text as it is when it is no such time.
std::string ShortClockText(const std::string& isoClock);

// Which file, on which connection, when the last line was written, and that
// the output may still be on; then what each choice does. A run whose planned
// end has passed is offered for switching off only, and says so.
std::string UnfinishedRunText(const UnfinishedRun& run);

// The outcome of RecoverUnfinishedRun for `run`: the output off and the record
// closed, or which connection failed, why, and what to do about the output.
// `detected` names the machine's ports when the recorded one is gone.
std::string RecoverOutcomeText(const UnfinishedRun& run, const RecoverResult& result,
                               const std::vector<SerialPortInfo>& detected);
// Whether the outcome is one to warn about (the output may still be on, or nothing was done).
bool RecoverOutcomeIsWarning(const RecoverResult& result);

// Why "Continue Measuring" cannot go on with `run`: `problem` as
// ReadResumePlan gave it, and that its output can still be switched off.
std::string ResumeRefusedText(const UnfinishedRun& run, const std::string& problem);
