// SIGINT, SIGTERM and SIGHUP ask the runner to stop. The handler only records
// the signal and writes one byte into a pipe; the loop waits on that pipe, so a
// signal wakes it at once and the stop itself runs outside the handler.
#pragma once

// Installs the handlers (and ignores SIGPIPE, so a closed stderr cannot kill
// the run with the output on). Returns false when the pipe cannot be made.
bool InstallStopSignals();

// Blocks or unblocks the stop signals for the calling thread; threads started
// while they are blocked inherit that, so only the main thread takes them.
void BlockStopSignals(bool blocked);

// The read end of the pipe: readable once a stop signal has come (until
// WaitForStopSignal drains it).
int StopSignalDescriptor();

// The first stop signal received, 0 while none has come.
int StopSignalNumber();

// Waits up to `milliseconds` for a stop signal. Returns true when one has come.
bool WaitForStopSignal(long long milliseconds);
