// One line of an Ivra data file: "%.2lf\ts\t%lg\tuA\n" of the elapsed time in
// seconds and the current in microamperes; a run with a bias schedule or a
// ramp adds "\t%lg\tV", the voltage set for the sample. Written by the run and read back by
// the viewers, in this one place so that the two can never disagree.
#pragma once

#include <string>

// The line for a sample at `timeSeconds` of `currentAmperes`, "\n" included.
// The numbers have a "." whatever the locale.
// Below a second the time has three decimals (`timeDecimals`), a millisecond.
std::string FormatDataLine(double timeSeconds, double currentAmperes, int timeDecimals = 2);
// The same with the set voltage after the current: "12.35\ts\t1.5\tuA\t0.5\tV\n".
std::string FormatDataLineWithVolts(double timeSeconds, double currentAmperes, double setVolts, int timeDecimals = 2);

// Parses one line, without its "\n" (a "\r" before it is allowed). True and
// both values set when it is a data line; a line not exactly of that form (a
// missing unit, text after a number, a NaN or an infinity) is never guessed at.
bool ParseDataLine(const char* begin, const char* end, double& seconds, double& microamperes);
// Either form: `hasVolts` says whether the line held a set voltage, and `volts` is it.
bool ParseDataLine(const char* begin, const char* end, double& seconds, double& microamperes, double& volts,
                   bool& hasVolts);
