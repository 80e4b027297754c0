// The recovery library: runs whose program went away while they were going.
//   unfinished_runs.h  the state folder's list of running runs, finding the
//                      unfinished ones, switching their output off, and the
//                      plan that MeasurementRun::Resume continues one from
#pragma once

#include "recovery/unfinished_runs.h"
