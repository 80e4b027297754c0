// The process clock and the busy wait built on it.
//
// The clock is the elapsed real time since the process started, in whole
// milliseconds, on a 64-bit monotonic count: it never wraps and never jumps
// with the wall clock. A time in seconds is a reading divided by 1000.0.
#pragma once

#include <cstdint>

using ProcessClockFn = std::int64_t (*)();

// Milliseconds since the process started (steady clock).
std::int64_t ProcessClockMs();

// Seconds since the process started: ProcessClockMs() / 1000.0.
double ProcessClockSeconds();

// Replaces the clock that ProcessClockMs() and DelayMs() read; nullptr puts the
// real clock back. For tests only.
void SetProcessClockForTesting(ProcessClockFn clock);

// Spins, without sleeping and without dispatching anything, until the process
// clock has advanced by `milliseconds`. Zero or less returns after the second
// clock reading.
void DelayMs(int milliseconds);
