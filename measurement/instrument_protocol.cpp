#include "measurement/instrument_protocol.h"

#include <cmath>
#include <cstring>

#include "measurement/decimal_text.h"
#include "measurement/instrument_link.h"
#include "serial/clock.h"

bool SendByte(InstrumentLink& link, unsigned char byte) { return link.Write(&byte, 1); }

bool SendCommand(InstrumentLink& link, const char* command) {
  const std::size_t length = std::strlen(command);
  bool all = true;
  for (std::size_t i = 0; i < length; ++i) {
    // A failed byte does not stop the rest.
    all = SendByte(link, static_cast<unsigned char>(command[i])) && all;
  }
  return all;
}

int ReadResponse(InstrumentLink& link, Clock& clock, char* buffer) {
  clock.DelayMs(kReplyWaitMs);
  int received = link.Read(buffer, kMaxReplyBytes);
  // The zero byte goes right after what arrived; never outside the 101 bytes.
  if (received < 0) received = 0;
  if (received > kMaxReplyBytes) received = kMaxReplyBytes;
  buffer[received] = '\0';
  return received;
}

std::string FormatSetVoltageCommand(double volts) {
  return ":SOUR:VOLT " + FormatFixed(volts, 5) + "\r";
}

namespace {

// What the filter keeps of a reply.
constexpr const char* kNumberCharacters = "0123456789.,;+-Ee";

bool KeptByFilter(char c) { return c != '\0' && std::strchr(kNumberCharacters, c) != nullptr; }

// Parses "%lf,%lf" from the filtered text; on success `pos` is just past the current.
bool ParseTwoNumbers(const std::string& filtered, std::size_t& pos, double& voltage, double& current) {
  pos = 0;
  if (!ParseDecimal(filtered, pos, voltage)) return false;
  if (pos >= filtered.size() || filtered[pos] != ',') return false;
  ++pos;
  return ParseDecimal(filtered, pos, current);
}

// Whether a line end (CR or LF) follows the last character that the filter keeps.
bool LineEndAfterLastNumber(const char* reply, int received) {
  bool lineEnd = false;
  for (int i = 0; i < received && reply[i] != '\0'; ++i) {
    if (reply[i] == '\r' || reply[i] == '\n') lineEnd = true;
    else if (KeptByFilter(reply[i])) lineEnd = false;
  }
  return lineEnd;
}

bool IsOverflow(double value) { return !std::isfinite(value) || std::fabs(value) >= kOverflowMark; }

}  // namespace

std::string FilterReply(const char* reply) {
  std::string filtered;
  for (int i = 0; i < kReplyFilterLimit && reply[i] != '\0'; ++i) {
    if (KeptByFilter(reply[i])) filtered.push_back(reply[i]);
  }
  return filtered;
}

ReplyVerdict JudgeReply(const char* reply, int received, LatestReading& reading) {
  if (received <= 0) return ReplyVerdict::NoReply;
  const std::string filtered = FilterReply(reply);
  const bool lineEnd = LineEndAfterLastNumber(reply, received);
  std::size_t pos = 0;
  double voltage = 0.0;
  double current = 0.0;
  if (!ParseTwoNumbers(filtered, pos, voltage, current)) {
    // A short reply without its line end was still under way when the read ended.
    return lineEnd || received >= kMaxReplyBytes ? ReplyVerdict::NoReading : ReplyVerdict::Incomplete;
  }
  const bool separated = pos < filtered.size() && (filtered[pos] == ',' || filtered[pos] == ';');
  if (!separated && !(pos == filtered.size() && lineEnd)) {
    return lineEnd ? ReplyVerdict::NoReading : ReplyVerdict::Incomplete;
  }
  if (IsOverflow(voltage) || IsOverflow(current)) return ReplyVerdict::Overflow;
  reading.voltage = voltage;
  reading.current = current;
  return ReplyVerdict::Reading;
}
