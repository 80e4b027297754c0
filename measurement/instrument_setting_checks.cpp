#include "measurement/instrument_setting_checks.h"

#include <cctype>
#include <cmath>
#include <iterator>
#include <type_traits>

#include "measurement/decimal_text.h"

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
