// The ranges of the measurement settings and the checks of typed values, shared
// by the Setup dialog and the command-line runner so both refuse the same input
// with the same words.
#pragma once

#include <optional>
#include <string>

struct IntSettingRange {
  const char* label;  // "Time between samples"
  int minimum;
  int maximum;
};
struct DoubleSettingRange {
  const char* label;  // "Output voltage"
  double minimum;
  double maximum;
};

inline constexpr IntSettingRange kSampleIntervalRange{"Time between samples", 1, 1000};
inline constexpr IntSettingRange kMeasurementTimeRange{"Measurement time", 10, 10000000};
inline constexpr DoubleSettingRange kOutputVoltageRange{"Output voltage", -10.0, 10.0};
inline constexpr IntSettingRange kPortNumberRange{"Serial port", 1, 4};

// Parses `text` (blanks around it allowed) as a whole integer inside `range`.
// On failure returns the message: "Please enter an integer." when the text is no
// integer, "Please enter an integer between 10 and 10000000." when it is out of
// range. On success stores the value and returns nothing.
std::optional<std::string> CheckIntSetting(const std::string& text, const IntSettingRange& range,
                                           int& value);

// The same for a decimal number: "Please enter a number." and
// "Please enter a number between -10 and 10."
std::optional<std::string> CheckDoubleSetting(const std::string& text, const DoubleSettingRange& range,
                                              double& value);
