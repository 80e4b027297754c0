// ivra-run's one-second tick on the run's clock (see tick_schedule.h).
#pragma once

#include "programs/ivra-run/terminal_front_end.h"
#include "run/measurement_run.h"

// Ticks `run` until it stops: by itself, or on a stop request (a signal), which
// brings a ramped output down first; a second request stops it at once.
void RunTicks(MeasurementRun& run, TerminalFrontEnd& frontEnd);
