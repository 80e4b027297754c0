// The run library: one measurement from Start to its end.
//   measurement_run.h  the run itself: Begin, Tick, TakeSample, Stop, and its snapshots
//   run_observer.h     what a run reports to the program that drives it, as facts
//   run_snapshot.h     the immutable picture of a run that other threads read
//   sample_history.h   the last 100 samples, for the live view
//   run_record.h       the JSON record beside the data file
#pragma once

#include "run/measurement_run.h"
#include "run/run_observer.h"
#include "run/run_record.h"
#include "run/run_snapshot.h"
#include "run/sample_history.h"
