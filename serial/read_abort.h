// A stop request that reaches a serial read still waiting for the instrument's
// first byte, so that a silent instrument cannot hold a stop for the read's
// whole time-out (about 20 s).
//
// One self-pipe, handed to SerialLink as its read-abort descriptor. A request
// makes it readable and keeps it so until it is cleared: a request that comes
// before the read has begun still ends it. A reply already under way is read
// to its end. On Windows a manual-reset event, the Win32 link's read-abort
// event, does the same, except that it also ends a reply under way (what had
// arrived is kept).
#pragma once

// Makes the pipe (or event) and hands it to the link; later calls do nothing.
// Returns false when it cannot be made (reads then run to their time-out).
bool InstallReadAbort();

// Ends the waiting read and every later one until ClearReadAbort. Safe in a
// signal handler and from any thread.
void RequestReadAbort();

// Lets reads wait again, once the stop has been carried out and no read runs.
void ClearReadAbort();
