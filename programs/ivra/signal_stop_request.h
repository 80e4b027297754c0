// Lets a stop signal cut short the wait for a silent instrument's reply.
//
// The desktop program takes its stop signals through wx, which defers them to
// the event loop, and the close that follows stops the measurement. A sample
// waiting on the worker thread would still hold that stop for the rest of its
// read (up to 20 s from a silent instrument). This puts a handler in front of
// wx's that also raises the stop request (serial/stop_request.h), the same one
// the window's Stop and close use. POSIX only: wx takes no signals on Windows.
#pragma once

#include <initializer_list>

// Call after the signals' wx handlers are installed. Returns false when the
// stop request cannot be made (the signals then work as before, just slower).
bool ForwardStopSignalsToStopRequest(std::initializer_list<int> signalNumbers);
