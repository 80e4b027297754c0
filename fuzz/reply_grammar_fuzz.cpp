// The reply grammar on any bytes, under a reply form the first byte chooses.
// A Reading comes from exactly the replies that hold the form's elements as
// unbroken numbers with values the instrument can send, and holds those
// numbers; an Overflow and a line error likewise only where promised; no
// other reply stores anything. And a reply as the instrument writes it, of
// values within its limits, is always a Reading.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/reply_oracle.h"
#include "instrument/instrument_protocol.h"
#include "instrument/instrument_setup.h"

namespace {

bool IsPadding(char c) { return c == ' ' || c == '\t' || c == '\0' || c == '\r' || c == '\n'; }

// Bits 0-2 leave out the resistance, the time stamp, the status word; bits 3-4
// choose the largest current (the reset default first); bit 5 marks line errors.
// "@" is the instrument after "*RST". With bit 7 the form is the one a run
// builds from its settings instead: bits 3-5 as above, bit 6 the shortened
// reply of a run below a second (voltage, current, status word), else all five.
ReplyForm FormOf(std::uint8_t selector) {
  if ((selector & 128) != 0) {
    static const double kLimits[] = {InstrumentSettings().currentLimit, 1e-6, 1e-3, 1.0};
    InstrumentSettings settings;
    settings.currentLimit = kLimits[(selector >> 3) & 3];
    settings.lineFormat.parity = (selector & 32) != 0 ? Parity::Even : Parity::None;
    return ReplyFormFor(settings, (selector & 64) != 0);
  }
  ReplyForm form;
  form.elements = {ReplyElement::Voltage, ReplyElement::Current};
  if ((selector & 1) == 0) form.elements.push_back(ReplyElement::Resistance);
  if ((selector & 2) == 0) form.elements.push_back(ReplyElement::Time);
  if ((selector & 4) == 0) form.elements.push_back(ReplyElement::Status);
  static const double kLargestCurrents[] = {ReplyForm().maxCurrent, 1.05e-6, 1.05e-3, 1.05};
  form.maxCurrent = kLargestCurrents[(selector >> 3) & 3];
  form.lineMarksErrors = (selector & 32) != 0;
  return form;
}

LatestReading Untouched() {
  LatestReading reading;
  reading.voltage = -1234.5;
  reading.current = -6789.5;
  reading.inCompliance = true;
  return reading;
}

void CheckAnyBytes(const ReplyForm& form, const std::uint8_t* data, std::size_t size) {
  // No reply is longer than the exchange buffer: ReadResponse reads 100 bytes at most.
  size = std::min<std::size_t>(size, kExchangeBufferSize - 1);
  // As ReadResponse leaves a reply: a zero byte right after what arrived.
  std::vector<char> reply(data, data + size);
  reply.push_back('\0');
  const int received = static_cast<int>(size);
  LatestReading reading = Untouched();
  int stale = -1;
  const ReplyVerdict verdict = JudgeReply(reply.data(), received, reading, &stale, form);
  const ReplyContent content = RereadReply(std::string_view(reply.data(), size), form);

  if (size == 0) FUZZ_CHECK(verdict == ReplyVerdict::NoReply);
  FUZZ_CHECK((verdict == ReplyVerdict::Reading) == (content.kind == ReplyContent::Reading));
  FUZZ_CHECK((verdict == ReplyVerdict::Overflow) == (content.kind == ReplyContent::Overflow));
  FUZZ_CHECK((verdict == ReplyVerdict::LineError) == (content.kind == ReplyContent::LineError && size > 0));
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
  FUZZ_CHECK(JudgeReply(reply.data(), received, again, nullptr, form) == verdict);
  FUZZ_CHECK(std::memcmp(&again.voltage, &reading.voltage, sizeof(double)) == 0);
  FUZZ_CHECK(std::memcmp(&again.current, &reading.current, sizeof(double)) == 0);
}

// A voltage, a current and a status word taken from the input, within the
// form's limits, written as the instrument writes its elements.
void CheckInstrumentReply(const ReplyForm& form, const std::uint8_t* data, std::size_t size) {
  double fractions[2] = {0.0, 0.0};
  if (size < sizeof fractions + 1) return;
  std::memcpy(fractions, data, sizeof fractions);
  const unsigned status = data[sizeof fractions];
  if (!std::isfinite(fractions[0]) || !std::isfinite(fractions[1])) return;
  const double volts = std::fmod(fractions[0], 1.0) * kMaxMeasuredVolts;
  double amperes = std::fmod(fractions[1], 1.0) * form.maxCurrent;
  if (std::fabs(amperes) < 1e-14) amperes = 0.0;
  std::string text;
  char element[32];
  for (const ReplyElement kind : form.elements) {
    const double value = kind == ReplyElement::Voltage      ? volts
                         : kind == ReplyElement::Current    ? amperes
                         : kind == ReplyElement::Resistance ? 9.91e37
                         : kind == ReplyElement::Time       ? 12.34567
                                                            : static_cast<double>(status);
    std::snprintf(element, sizeof element, "%+.6E", value);
    text += (text.empty() ? "" : ",") + std::string(element);
  }
  text += "\r";
  // Rounded to seven digits, the current may just pass the largest the form takes.
  const double written = std::strtod(std::strchr(text.c_str(), ',') + 1, nullptr);
  if (std::fabs(written) > form.maxCurrent) return;
  LatestReading reading;
  FUZZ_CHECK(JudgeReply(text.data(), static_cast<int>(text.size()), reading, nullptr, form) == ReplyVerdict::Reading);
  FUZZ_CHECK(reading.voltage == std::strtod(text.c_str(), nullptr) && reading.current == written);
  const bool hasStatus = form.elements.back() == ReplyElement::Status;
  FUZZ_CHECK(reading.inCompliance == (hasStatus && (status & 8u) != 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const ReplyForm form = FormOf(data[0]);
  CheckAnyBytes(form, data + 1, size - 1);
  CheckInstrumentReply(form, data + 1, size - 1);
  return 0;
}
