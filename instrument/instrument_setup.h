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
ReplyForm ReplyFormFor(const InstrumentSettings& settings);
