#include "measurement/instrument_protocol.h"

#include <cstring>

#include "measurement/decimal_text.h"
#include "measurement/instrument_link.h"

bool SendByte(unsigned char byte) { return ActiveInstrumentLink().Write(&byte, 1); }

void SendCommand(const char* command) {
  const std::size_t length = std::strlen(command);
  for (std::size_t i = 0; i < length; ++i) {
    SendByte(static_cast<unsigned char>(command[i]));  // a failed byte does not stop the rest
  }
}

int ReadResponse(char* buffer) {
  InstrumentLink& link = ActiveInstrumentLink();
  link.DelayMs(kReplyWaitMs);
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

std::string FilterReply(const char* reply) {
  static constexpr const char* kKept = "0123456789.,;+-Ee";
  std::string filtered;
  for (int i = 0; i < kReplyFilterLimit && reply[i] != '\0'; ++i) {
    if (std::strchr(kKept, reply[i]) != nullptr) filtered.push_back(reply[i]);
  }
  return filtered;
}

bool ParseReading(const std::string& filtered, LatestReading& reading) {
  std::size_t pos = 0;
  double voltage = 0.0;
  double current = 0.0;
  if (!ParseDecimal(filtered, pos, voltage)) return false;
  if (pos >= filtered.size() || filtered[pos] != ',') return false;
  ++pos;
  if (!ParseDecimal(filtered, pos, current)) return false;
  reading.voltage = voltage;
  reading.current = current;
  return true;
}
