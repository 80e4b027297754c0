// The one place a request to stop lands: a stop signal (SIGINT, SIGTERM, SIGHUP),
// the window's Stop or close. It wakes a loop that waits for it and ends a
// serial read that is still waiting for the instrument's first byte, so that a
// silent instrument cannot hold a stop for the read's whole time-out (about 20 s).
//
// POSIX: one self-pipe, the only state of its kind, since a signal handler must
// reach it. A request makes it readable and keeps it so until it is cleared: a
// request that comes before a read has begun still ends that read. A reply
// already under way is read to its end. Windows: a manual-reset event does the
// same, except that it also ends a reply under way (what had arrived is kept).
#pragma once

// Makes the pipe (or event); later calls do nothing. False when it cannot be
// made: reads then run to their time-out, and waits to their end.
bool InstallStopRequest();

// Asks for the stop. Safe in a signal handler and from any thread.
// `signalNumber` (0 for a request of the program's own) is remembered when it
// is the first signal to come.
void RequestStop(int signalNumber = 0);

// The first signal that asked for a stop, 0 while none has.
int StopSignalNumber();

// Waits up to `milliseconds` for a request; true when one is pending.
bool WaitForStopRequest(long long milliseconds);

// Lets reads and waits go on again, once the stop has been carried out and
// no read runs. The signal number stays.
void ClearStopRequest();

// POSIX: the pipe's read end, readable while a request is pending; -1 before
// InstallStopRequest. Windows: -1 (the link waits on StopRequestEvent()).
int StopRequestDescriptor();

#ifdef _WIN32
// The manual-reset event, signalled while a request is pending; nullptr before install.
void* StopRequestEvent();
#endif
