#include "measurement/setting_checks.h"

#include <charconv>
#include <system_error>

#include "measurement/decimal_text.h"

namespace {

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string IntRangeMessage(const IntSettingRange& range) {
  return "Please enter an integer between " + std::to_string(range.minimum) + " and " +
         std::to_string(range.maximum) + ".";
}

}  // namespace

std::optional<std::string> CheckIntSetting(const std::string& text, const IntSettingRange& range,
                                           int& value) {
  const std::string number = Trimmed(text);
  const char* first = number.data();
  const char* last = first + number.size();
  if (first != last && *first == '+') {
    ++first;  // from_chars takes "-" but not "+"
    if (first != last && *first == '-') return std::string("Please enter an integer.");
  }
  long long parsed = 0;
  const auto result = std::from_chars(first, last, parsed);
  if (result.ptr != last || (result.ec != std::errc() && result.ec != std::errc::result_out_of_range)) {
    return std::string("Please enter an integer.");
  }
  // An integer too long even for 64 bits is still an integer, just out of range.
  if (result.ec == std::errc::result_out_of_range || parsed < range.minimum || parsed > range.maximum) {
    return IntRangeMessage(range);
  }
  value = static_cast<int>(parsed);
  return std::nullopt;
}

std::optional<std::string> CheckDoubleSetting(const std::string& text, const DoubleSettingRange& range,
                                              double& value) {
  const std::string number = Trimmed(text);
  std::size_t pos = 0;
  double parsed = 0.0;
  if (!ParseDecimal(number, pos, parsed) || pos != number.size()) {
    return std::string("Please enter a number.");
  }
  if (parsed < range.minimum || parsed > range.maximum) {
    return "Please enter a number between " + FormatGeneral(range.minimum) + " and " +
           FormatGeneral(range.maximum) + ".";
  }
  value = parsed;
  return std::nullopt;
}
