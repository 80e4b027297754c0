// The text protocol with the SourceMeter 2400: commands written byte by byte
// to the link they are given, the reply to ":READ?" read once after a 100 ms
// wait on the run's clock, and read by its grammar.
#pragma once

#include <string>
#include <vector>

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

// The whole of `command` in one write: for sampling below a second, where a
// write per byte would cost more than the line's time.
bool SendCommandAtOnce(InstrumentLink& link, const char* command);

// Reads one reply up to its line end, with no wait before it: at most 100
// bytes, ended by a zero byte in `buffer` (room for at least 101 bytes).
// Gives up when `timeoutMs` pass without a byte. Returns the bytes read.
int ReadReplyLine(InstrumentLink& link, char* buffer, int timeoutMs);

// ":SOUR:VOLT %0.5lf\r" for `volts`.
std::string FormatSetVoltageCommand(double volts);

// What a reply to ":READ?" gave.
enum class ReplyVerdict { Reading, NoReply, NoReading, Incomplete, Overflow, Garbled, LineError };

// The elements a reply to ":READ?" holds, as ":FORM:ELEM" names them.
enum class ReplyElement { Voltage, Current, Resistance, Time, Status };

// What a reply must be to hold a reading: exactly the elements the run asked
// the instrument for, in order, and values the instrument can produce under
// the run's settings. The defaults are the instrument's after "*RST".
struct ReplyForm {
  std::vector<ReplyElement> elements = {ReplyElement::Voltage, ReplyElement::Current, ReplyElement::Resistance,
                                        ReplyElement::Time, ReplyElement::Status};
  // Amperes: the largest current magnitude the instrument can report, above
  // which a value can only be damage (1.05 x the reset default limit).
  double maxCurrent = 1.05 * 105e-6;
  // The line checks parity and marks a byte it received damaged (termios
  // PARMRK: 0xFF 0x00 before it); the instrument itself never sends 0xFF.
  bool lineMarksErrors = false;
};

// The instrument's limits that do not depend on its settings.
constexpr double kMaxMeasuredVolts = 210.0;      // the 2400's largest voltage
constexpr double kMinNonzeroCurrent = 1e-15;     // far below the 1 uA range's resolution
constexpr double kMaxMeasuredOhms = 210e6;       // 105 % of its 200 MOhm range
constexpr double kMaxTimeStamp = 1e9;            // seconds since power-on: no instrument runs 31 years
constexpr double kStatusWordLimit = 16777216.0;  // 24 bits

// Reads the `received` bytes of a reply (zero-terminated in `reply`) by the
// reply's grammar and the instrument's limits. With `form.lineMarksErrors`, a
// byte the line marked damaged anywhere in what arrived is a LineError.
// Blanks, NUL, CR and LF may stand before the first number; the reply is the
// bytes up to its first line end (CR or LF). It must hold exactly the elements
// of `form`, each one unbroken number, separated by single commas, the last
// followed by the line end. A reply that runs up to the end of what arrived
// may have been cut off by a pause (Incomplete). Text where the voltage or
// the current belongs, or a voltage alone, is NoReading; any other byte, a
// missing or extra element, or a value the instrument cannot send (a current
// above form.maxCurrent or nonzero below kMinNonzeroCurrent, a voltage beyond
// 210 V, a negative or absurd time
// stamp, a resistance that is neither on a range nor the overflow mark, a
// status word that is no whole 24-bit number) is Garbled, never skipped or
// guessed at. A voltage or current too large for a double, or at the
// instrument's overflow mark, is Overflow. Only a reading is stored into
// `reading`, with inCompliance from bit 3 of the status word when the reply
// has one. `staleBytes`, when given, receives the count of bytes after the
// line end that are more than blanks and line ends: input of something else
// than this reply.
ReplyVerdict JudgeReply(const char* reply, int received, LatestReading& reading, int* staleBytes = nullptr,
                        const ReplyForm& form = ReplyForm());
