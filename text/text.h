// The text library: every sentence the program says to a lab user about a run.
//   run_front_end.h      a front end that turns what the run reports into words
//   run_text.h           troubles, the status pane, the summary, the run's clock
//   run_state_text.h     the state pane: ready, measuring, completed, stopped
//   file_messages.h      why the output file could not be created; "Replace it?"
//   port_open_message.h  why the serial port could not be opened; the port list
//   setting_checks.h     the checks of typed settings, in the same words for every front end
//   printable_text.h     outside text (paths, device names) made safe to show
// Nothing below needs it in order to measure.
#pragma once

#include "text/file_messages.h"
#include "text/port_open_message.h"
#include "text/printable_text.h"
#include "text/run_front_end.h"
#include "text/run_state_text.h"
#include "text/run_text.h"
#include "text/setting_checks.h"
