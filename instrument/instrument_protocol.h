// The text protocol with the SourceMeter 2400: commands written byte by byte
// to the link they are given, the reply to ":READ?" read once after a 100 ms
// wait on the run's clock, and read by its grammar.
#pragma once

#include <string>

#include "instrument/reading.h"
#include "instrument/scpi_commands.h"

class Clock;
class InstrumentLink;


constexpr int kExchangeBufferSize = 256;
constexpr int kMaxReplyBytes = 100;
constexpr int kReplyWaitMs = 100;
// The instrument sends +9.91E+37 where it has no number (overflow, not a number).
constexpr double kOverflowMark = 9.9e37;

// One write of exactly this byte on `link`.
bool SendByte(InstrumentLink& link, unsigned char byte);

// Writes every byte of the zero-terminated `command` with SendByte, in order;
// a failed byte does not stop the rest. An empty command writes nothing.
// Returns whether every byte was written.
bool SendCommand(InstrumentLink& link, const char* command);

// Waits 100 ms on `clock`, makes one read of at most 100 bytes into `buffer` (room for at
// least 101 bytes) and stores a zero byte right after what was read.
// Returns the number of bytes read.
int ReadResponse(InstrumentLink& link, Clock& clock, char* buffer);

// ":SOUR:VOLT %0.5lf\r" for `volts`.
std::string FormatSetVoltageCommand(double volts);

// What a reply to ":READ?" gave.
enum class ReplyVerdict { Reading, NoReply, NoReading, Incomplete, Overflow, Garbled };

// Reads the `received` bytes of a reply (zero-terminated in `reply`) by the
// reply's grammar. Blanks, NUL, CR and LF may stand before the first number;
// the reply is the bytes up to its first line end (CR or LF). The voltage and
// the current must each be one unbroken number, separated by the one comma,
// and the current must be followed by a separator or the line end: a current
// that runs up to the end of what arrived may have been cut off by a pause in
// the reply (Incomplete). Text where a number belongs is NoReading; any other
// byte inside or between the elements is Garbled, never skipped. A number
// too large for a double, or at the instrument's overflow mark, is Overflow.
// Only a reading is stored into `reading`, with inCompliance from bit 3 of the
// fifth element (the status word) when the reply has one. `staleBytes`, when
// given, receives the count of bytes after the line end that are more than
// blanks and line ends: input of something else than this reply.
ReplyVerdict JudgeReply(const char* reply, int received, LatestReading& reading, int* staleBytes = nullptr);
