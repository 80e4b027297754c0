#include "text/setting_checks.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <iterator>
#include <system_error>
#include <type_traits>

#include "decimal/decimal_text.h"

namespace {

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string IntRangeMessage(const IntSettingRange& range) {
  return "Please enter an integer between " + std::to_string(range.minimum) + " and " + std::to_string(range.maximum) +
         ".";
}

}  // namespace

std::optional<std::string> CheckIntSetting(const std::string& text, const IntSettingRange& range, int& value) {
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

std::optional<std::string> CheckDoubleSetting(const std::string& text, const DoubleSettingRange& range, double& value) {
  const std::string number = Trimmed(text);
  std::size_t pos = 0;
  double parsed = 0.0;
  if (!ParseDecimal(number, pos, parsed) || pos != number.size()) {
    return std::string("Please enter a number.");
  }
  if (parsed < range.minimum || parsed > range.maximum) {
    return "Please enter a number between " + FormatGeneral(range.minimum) + " and " + FormatGeneral(range.maximum) +
           ".";
  }
  value = parsed;
  return std::nullopt;
}

namespace {

std::string LowerTrimmed(const std::string& text) {
  std::string word;
  for (const char c : text) {
    if (c != ' ' && c != '\t') word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return word;
}

template <typename T, std::size_t N>
std::string OneOf(const T (&values)[N], const char* before) {
  std::string text = before;
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) text += ", ";
    if constexpr (std::is_integral_v<T>) {
      text += std::to_string(values[i]);
    } else {
      text += FormatGeneral(values[i]);
    }
  }
  return text + ".";
}

}  // namespace

std::optional<std::string> CheckCurrentRangeSetting(const std::string& text, double& value) {
  const std::string message = OneOf(kCurrentRanges, "Please enter auto or one of ");
  if (LowerTrimmed(text) == "auto") {
    value = 0.0;
    return std::nullopt;
  }
  double amps = 0.0;
  if (CheckDoubleSetting(text, DoubleSettingRange{"Current range", 0.0, kMaxCurrentLimit}, amps)) return message;
  for (const double range : kCurrentRanges) {
    // "1e-6" and "0.000001" name the same range despite rounding.
    if (std::fabs(amps - range) <= range * 1e-9) {
      value = range;
      return std::nullopt;
    }
  }
  return message;
}

std::optional<std::string> CheckBaudSetting(const std::string& text, int& value) {
  int baud = 0;
  if (!CheckIntSetting(text, IntSettingRange{"Baud rate", kBaudRates[0], kBaudRates[std::size(kBaudRates) - 1]},
                       baud)) {
    for (const int rate : kBaudRates) {
      if (rate == baud) {
        value = baud;
        return std::nullopt;
      }
    }
  }
  return OneOf(kBaudRates, "Please enter one of ");
}

std::optional<std::string> CheckAutoZeroSetting(const std::string& text, AutoZero& value) {
  const std::string word = LowerTrimmed(text);
  if (word == "on") value = AutoZero::On;
  else if (word == "once") value = AutoZero::Once;
  else if (word == "off") value = AutoZero::Off;
  else return std::string("Please enter on, once or off.");
  return std::nullopt;
}

std::optional<std::string> CheckParitySetting(const std::string& text, Parity& value) {
  const std::string word = LowerTrimmed(text);
  if (word == "none") value = Parity::None;
  else if (word == "even") value = Parity::Even;
  else if (word == "odd") value = Parity::Odd;
  else return std::string("Please enter none, even or odd.");
  return std::nullopt;
}

std::optional<std::string> CheckDataBitsSetting(const std::string& text, int& value) {
  const std::string word = LowerTrimmed(text);
  if (word != "7" && word != "8") return std::string("Please enter 7 or 8.");
  value = word == "7" ? 7 : 8;
  return std::nullopt;
}

std::optional<std::string> CheckLineFormat(const LineFormat& format) {
  if (IsInstrumentLineFormat(format)) return std::nullopt;
  return std::string(
      "7 data bits need even or odd parity: the instrument offers 8 data bits with none, even or odd parity, "
      "or 7 with even or odd.");
}
