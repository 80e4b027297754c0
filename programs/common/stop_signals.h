// SIGINT, SIGTERM and SIGHUP (Ctrl+C, Ctrl+Break and the console's close on
// Windows) ask a program to stop: the handler only hands the request to the
// one stop request (serial/stop_request.h), which wakes the waiting loop and
// ends a serial read still waiting for the instrument. The loop then waits
// with WaitForStopRequest and reads the signal with StopSignalNumber.
#pragma once

// Installs the handlers (and ignores SIGPIPE, so a closed stderr cannot kill
// a run with the output on). False when the stop request cannot be made.
// Windows: a console that closes is held (about 4.5 s at most) until the
// process ends, so that the run can switch the output off first.
bool InstallStopSignals();

// Blocks or unblocks the stop signals for the calling thread; threads started
// while they are blocked inherit that, so only the main thread takes them.
void BlockStopSignals(bool blocked);
