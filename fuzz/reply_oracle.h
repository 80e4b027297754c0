// A second reading of a reply to ":READ?", written from what the reply
// grammar promises: after padding (blank, tab, NUL, CR, LF), up to the first
// CR or LF, exactly the form's elements, each one number, separated by single
// commas; values the instrument can send; the voltage or the current at the
// overflow mark or beyond a double is an overflow.
#pragma once

#include <string_view>

#include "instrument/instrument_protocol.h"

struct ReplyContent {
  enum Kind { NotAReading, Reading, Overflow, LineError } kind = NotAReading;
  double voltage = 0.0;
  double current = 0.0;
  bool inCompliance = false;
};

ReplyContent RereadReply(std::string_view reply, const ReplyForm& form);
