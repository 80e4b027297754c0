#include "instrument/instrument_setup.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "decimal/decimal_text.h"

namespace {

// The shortest text that reads back as the same double, never in the locale's words.
std::string Number(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

const char* AutoZeroWord(AutoZero autoZero) {
  switch (autoZero) {
    case AutoZero::On: return "ON";
    case AutoZero::Once: return "ONCE";
    case AutoZero::Off: return "OFF";
  }
  return "ON";
}

}  // namespace

std::vector<std::string> InstrumentSettingCommands(const InstrumentSettings& settings) {
  const InstrumentSettings defaults;
  std::vector<std::string> commands;
  if (settings.currentLimit != defaults.currentLimit) {
    commands.push_back(":SENS:CURR:PROT " + Number(settings.currentLimit) + "\r");
  }
  if (settings.currentRange != defaults.currentRange) {
    commands.push_back(":SENS:CURR:RANG " + Number(settings.currentRange) + "\r");
  }
  if (settings.nplc != defaults.nplc) commands.push_back(":SENS:CURR:NPLC " + Number(settings.nplc) + "\r");
  if (settings.autoZero != defaults.autoZero) {
    commands.push_back(std::string(":SYST:AZER ") + AutoZeroWord(settings.autoZero) + "\r");
  }
  return commands;
}

ErrorQueryReply ReadErrorQueryReply(const char* reply, int received) {
  ErrorQueryReply answer;
  int at = 0;
  while (at < received && (reply[at] == ' ' || reply[at] == '\r' || reply[at] == '\n' || reply[at] == '\0')) ++at;
  const char* first = reply + at;
  const char* last = reply + received;
  if (first < last && *first == '+') ++first;  // from_chars takes "-" but not "+"
  const auto number = std::from_chars(first, last, answer.number);
  if (number.ec != std::errc() || number.ptr + 1 >= last || number.ptr[0] != ',' || number.ptr[1] != '"') {
    return answer;
  }
  const char* text = number.ptr + 2;
  const char* end = text;
  while (end < last && *end != '"') ++end;
  if (end == last) return answer;  // cut short
  answer.text.assign(text, end);
  answer.answered = true;
  return answer;
}

ReplyForm ReplyFormFor(const InstrumentSettings& settings, bool shortened) {
  ReplyForm form;
  if (shortened) form.elements = {ReplyElement::Voltage, ReplyElement::Current, ReplyElement::Status};
  double fullScale = settings.currentLimit;
  if (settings.currentRange > 0) fullScale = std::min(fullScale, settings.currentRange);
  // The instrument reads up to 105 % of a range; compliance holds the current at the limit.
  form.maxCurrent = 1.05 * fullScale;
  form.lineMarksErrors = settings.lineFormat.parity != Parity::None;
  return form;
}

int ReadLineFrequencyReply(const char* reply, int received) {
  // "60" or "+6.000000E+01", then the line end.
  std::string text(reply, static_cast<std::size_t>(received > 0 ? received : 0));
  const std::size_t end = text.find_first_of("\r\n");
  if (end == std::string::npos) return 0;
  text.resize(end);
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return 0;
  text.erase(0, first);
  if (text[0] == '+') text.erase(0, 1);
  std::size_t pos = 0;
  double hz = 0.0;
  if (!ParseDecimal(text, pos, hz) || pos != text.size()) return 0;
  return hz == 50.0 ? 50 : hz == 60.0 ? 60 : 0;
}

double ShortSampleMs(const InstrumentSettings& settings, int lineHz) {
  const LineFormat& format = settings.lineFormat;
  const int bitsPerChar = 1 + format.dataBits + (format.parity == Parity::None ? 0 : 1) + 2;
  const double lineMs = (kShortRequestChars + kShortReplyChars) * bitsPerChar * 1000.0 / settings.baud;
  const double conversions = settings.autoZero == AutoZero::On ? 3.0 : 1.0;
  const double hz = lineHz > 0 ? lineHz : 60;
  const double readingMs = conversions * (settings.nplc * 1000.0 / hz + kConversionExtraMs) + kFirmwareMs;
  return lineMs + readingMs;
}

int LeastIntervalMs(const InstrumentSettings& settings, int lineHz) {
  const double ms = ShortSampleMs(settings, lineHz);
  // A hair below the step for the rounding of the sums above.
  return static_cast<int>(std::ceil(ms / kLeastIntervalStepMs - 1e-9)) * kLeastIntervalStepMs;
}
