// The reply grammar on any bytes. A Reading comes from exactly the replies
// whose voltage and current are each one unbroken number, and holds those
// numbers; an Overflow from exactly those whose numbers are at the
// instrument's mark or beyond a double; no other reply stores anything. And a
// reply as the instrument writes it is never refused.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/oracles.h"
#include "instrument/instrument_protocol.h"

namespace {

bool IsPadding(char c) { return c == ' ' || c == '\t' || c == '\0' || c == '\r' || c == '\n'; }

LatestReading Untouched() {
  LatestReading reading;
  reading.voltage = -1234.5;
  reading.current = -6789.5;
  reading.inCompliance = true;
  return reading;
}

void CheckAnyBytes(const std::uint8_t* data, std::size_t size) {
  // No reply is longer than the exchange buffer: ReadResponse reads 100 bytes at most.
  size = std::min<std::size_t>(size, kExchangeBufferSize - 1);
  // As ReadResponse leaves a reply: a zero byte right after what arrived.
  std::vector<char> reply(data, data + size);
  reply.push_back('\0');
  const int received = static_cast<int>(size);
  LatestReading reading = Untouched();
  int stale = -1;
  const ReplyVerdict verdict = JudgeReply(reply.data(), received, reading, &stale);
  const ReplyContent content = RereadReply(std::string_view(reply.data(), size));

  if (size == 0) FUZZ_CHECK(verdict == ReplyVerdict::NoReply);
  FUZZ_CHECK((verdict == ReplyVerdict::Reading) == (content.kind == ReplyContent::Reading));
  FUZZ_CHECK((verdict == ReplyVerdict::Overflow) == (content.kind == ReplyContent::Overflow));
  const LatestReading untouched = Untouched();
  if (verdict == ReplyVerdict::Reading) {
    FUZZ_CHECK(reading.voltage == content.voltage && reading.current == content.current);
    FUZZ_CHECK(reading.inCompliance == content.inCompliance);
  } else {
    FUZZ_CHECK(reading.voltage == untouched.voltage && reading.current == untouched.current);
    FUZZ_CHECK(reading.inCompliance == untouched.inCompliance);
  }

  // Stale bytes start at a byte that is not padding, after the reply's line end and padding only.
  FUZZ_CHECK(stale >= 0 && stale <= received);
  if (stale > 0) {
    const std::size_t first = size - static_cast<std::size_t>(stale);
    FUZZ_CHECK(!IsPadding(reply[first]));
    const std::string_view before(reply.data(), first);
    const std::size_t start = before.find_first_not_of(std::string_view(" \t\r\n\0", 5));
    FUZZ_CHECK(start != std::string_view::npos);
    const std::size_t lineEnd = before.find_first_of("\r\n", start);
    FUZZ_CHECK(lineEnd != std::string_view::npos);
    for (std::size_t i = lineEnd; i < first; ++i) FUZZ_CHECK(IsPadding(reply[i]));
  }

  // The stale count is only told; it changes nothing.
  LatestReading again = Untouched();
  FUZZ_CHECK(JudgeReply(reply.data(), received, again) == verdict);
  FUZZ_CHECK(std::memcmp(&again.voltage, &reading.voltage, sizeof(double)) == 0);
  FUZZ_CHECK(std::memcmp(&again.current, &reading.current, sizeof(double)) == 0);
}

// Two values and a status word taken from the input, written as the
// instrument writes its five elements.
void CheckInstrumentReply(const std::uint8_t* data, std::size_t size) {
  double voltage = 0.0;
  double current = 0.0;
  if (size < 2 * sizeof(double) + 1) return;
  std::memcpy(&voltage, data, sizeof voltage);
  std::memcpy(&current, data + sizeof voltage, sizeof current);
  const unsigned status = data[2 * sizeof(double)];
  if (!std::isfinite(voltage) || !std::isfinite(current)) return;
  char text[160];
  const int length = std::snprintf(text, sizeof text, "%+.6E,%+.6E,+9.910000E+37,+1.234567E+01,%+.6E\r", voltage,
                                   current, static_cast<double>(status));
  LatestReading reading;
  const ReplyVerdict verdict = JudgeReply(text, length, reading);
  const bool overflow = std::fabs(std::strtod(text, nullptr)) >= kOverflowMark ||
                        std::fabs(std::strtod(std::strchr(text, ',') + 1, nullptr)) >= kOverflowMark;
  FUZZ_CHECK(verdict == (overflow ? ReplyVerdict::Overflow : ReplyVerdict::Reading));
  if (verdict == ReplyVerdict::Reading) {
    FUZZ_CHECK(reading.voltage == std::strtod(text, nullptr));
    FUZZ_CHECK(reading.inCompliance == ((status & 8u) != 0));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckAnyBytes(data, size);
  CheckInstrumentReply(data, size);
  return 0;
}
