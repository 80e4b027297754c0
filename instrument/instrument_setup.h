// What puts the instrument settings in force at Start: the SCPI command of
// each value that differs from the SourceMeter's reset default, sent after
// "*RST" and before ":OUTP ON", and the reading of the one error query that
// follows them. At defaults there are no commands and no query, so a run
// sends the same bytes as before these settings existed.
#pragma once

#include <string>
#include <vector>

#include "instrument/instrument_protocol.h"
#include "instrument/instrument_settings.h"
#include "instrument/scpi_commands.h"

// The commands, each ending in "\r", in the order they must go: the limit
// before the range (the instrument refuses a range above the limit's own).
// Numbers have a "." whatever the locale.
std::vector<std::string> InstrumentSettingCommands(const InstrumentSettings& settings);

// The instrument's answer to ":SYST:ERR?".
struct ErrorQueryReply {
  bool answered = false;  // a reply of the form <number>,"<text>" arrived
  int number = 0;         // 0 is "No error"
  std::string text;       // the instrument's own words, without the quotes
};

// Reads the `received` bytes of a reply to ":SYST:ERR?", e.g. -222,"Parameter
// data out of range" followed by a line end.
ErrorQueryReply ReadErrorQueryReply(const char* reply, int received);

// What a reply to ":READ?" must be under `settings`: the five elements of the
// reset default, a current no larger than 1.05 x the limit in force or the
// fixed range's full scale (whichever is smaller), and bytes the line marked
// damaged when it checks parity.
// With `shortened`, the reply holds the voltage, the current and the status
// word only, as kShortReplyCommand asks.
ReplyForm ReplyFormFor(const InstrumentSettings& settings, bool shortened = false);

// The line frequency's answer to ":SYST:LFR?" (50 or 60), 0 when the reply is
// no such number.
int ReadLineFrequencyReply(const char* reply, int received);

// What one sample below a second costs on the line and in the instrument.
constexpr int kShortRequestChars = 7;         // ":READ?\r"
constexpr int kShortReplyChars = 42;          // three 13-character numbers, two commas, "\r"
constexpr double kConversionExtraMs = 0.185;  // the A/D's own time beyond its NPLC
constexpr double kFirmwareMs = 1.5;           // trigger, source and formatting per reading
constexpr int kLeastIntervalStepMs = 1;       // the least interval, rounded up to this

// Milliseconds one shortened sample takes: the request's and the reply's
// characters at the line's baud rate and character form (start bit, data
// bits, parity, two stop bits), plus the reading (one conversion, three with
// auto-zero on, each NPLC line cycles at `lineHz` plus the A/D's own time) and
// the firmware's time.
double ShortSampleMs(const InstrumentSettings& settings, int lineHz);

// The least interval, in milliseconds, that `settings` can carry at `lineHz`:
// ShortSampleMs rounded up to the next millisecond, the finest interval a
// user can give. A coarser step would keep the fastest settings well below
// what the line carries (at 57600 baud 11.2 ms would become 20 ms); the grid
// takes a late reply by missing one slot, never by drifting.
int LeastIntervalMs(const InstrumentSettings& settings, int lineHz);
