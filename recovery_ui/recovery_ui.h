// The window's side of runs whose program went away while they were going:
//   unfinished_run_words.h  what the window says about one: the offer, the
//                           outcome of switching its output off, why it
//                           cannot be continued
//   unfinished_run_dlg.h    the dialog that offers "Switch Output Off",
//                           "Continue Measuring" and "Later" for one run
//   unfinished_runs_offer.h the list of unfinished runs the window keeps,
//                           looked for off the window's thread, and the
//                           offer of each run in turn
#pragma once

#include "recovery_ui/unfinished_run_dlg.h"
#include "recovery_ui/unfinished_run_words.h"
#include "recovery_ui/unfinished_runs_offer.h"
