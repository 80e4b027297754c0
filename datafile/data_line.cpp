#include "datafile/data_line.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "decimal/decimal_text.h"

namespace {

// Reads a number as printf wrote it: from_chars takes no "+" and no blanks,
// and never looks at the locale.
const char* ReadNumber(const char* begin, const char* end, double& value) {
  if (begin == end || !(*begin == '-' || *begin == '.' || (*begin >= '0' && *begin <= '9'))) {
    return nullptr;
  }
  const auto result = std::from_chars(begin, end, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) {
    return nullptr;
  }
  return result.ptr;
}

const char* Expect(const char* at, const char* end, const char* text) {
  const std::size_t length = std::strlen(text);
  if (at == nullptr || static_cast<std::size_t>(end - at) < length || std::memcmp(at, text, length) != 0) {
    return nullptr;
  }
  return at + length;
}

}  // namespace

std::string FormatDataLine(double timeSeconds, double currentAmperes, int timeDecimals) {
  return FormatFixed(timeSeconds, timeDecimals) + "\ts\t" + FormatGeneral(currentAmperes * 1e6) + "\tuA\n";
}

std::string FormatDataLineWithVolts(double timeSeconds, double currentAmperes, double setVolts, int timeDecimals) {
  return FormatFixed(timeSeconds, timeDecimals) + "\ts\t" + FormatGeneral(currentAmperes * 1e6) + "\tuA\t" +
         FormatGeneral(setVolts) + "\tV\n";
}

bool ParseDataLine(const char* begin, const char* end, double& seconds, double& microamperes) {
  double volts = 0.0;
  bool hasVolts = false;
  return ParseDataLine(begin, end, seconds, microamperes, volts, hasVolts);
}

bool ParseDataLine(const char* begin, const char* end, double& seconds, double& microamperes, double& volts,
                   bool& hasVolts) {
  if (begin != end && end[-1] == '\r') {
    --end;
  }
  double time = 0.0;
  double current = 0.0;
  double set = 0.0;
  const char* at = ReadNumber(begin, end, time);
  at = Expect(at, end, "\ts\t");
  if (at == nullptr) {
    return false;
  }
  at = ReadNumber(at, end, current);
  at = Expect(at, end, "\tuA");
  if (at == nullptr) {
    return false;
  }
  const bool withVolts = at != end;
  if (withVolts) {
    at = Expect(at, end, "\t");
    if (at == nullptr) {
      return false;
    }
    at = ReadNumber(at, end, set);
    at = Expect(at, end, "\tV");
    if (at != end) {
      return false;
    }
  }
  seconds = time;
  microamperes = current;
  volts = set;
  hasVolts = withVolts;
  return true;
}
