// Lets a stop signal cut short the wait for a silent instrument's reply.
//
// The desktop program takes its stop signals through wx, which defers them to
// the event loop; but while a sample waits for a reply (up to 20 s from a
// silent instrument) the loop does not run. This puts a handler in front of
// wx's that also makes a pipe readable, and hands the pipe to the serial link
// as its read-abort descriptor. wx's own handling then closes the window as
// before, without waiting out the read.
#pragma once

#include <initializer_list>

// Call after the signals' wx handlers are installed. Returns false when the
// pipe cannot be made (the signals then work as before, just slower).
bool AbortSerialReadsOnSignals(std::initializer_list<int> signalNumbers);
