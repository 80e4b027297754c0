// The checks of typed instrument settings, in the words of the other setting
// checks: what is wrong and what is allowed.
#pragma once

#include <optional>
#include <string>

#include "measurement/instrument_settings.h"
#include "measurement/setting_checks.h"

// The SourceMeter 2400 limits the current of its voltage source from 1 nA to 1.05 A.
constexpr double kMinCurrentLimit = 1e-9;
inline constexpr DoubleSettingRange kCurrentLimitRange{"Current limit", kMinCurrentLimit, kMaxCurrentLimit};
inline constexpr DoubleSettingRange kNplcRange{"NPLC", kMinNplc, kMaxNplc};

// "auto" (any case) gives 0; otherwise one of kCurrentRanges in amperes.
// "Please enter auto or one of 1e-06, 1e-05, 0.0001, 0.001, 0.01, 0.1, 1."
std::optional<std::string> CheckCurrentRangeSetting(const std::string& text, double& value);

// One of kBaudRates: "Please enter one of 300, 600, ..., 57600."
std::optional<std::string> CheckBaudSetting(const std::string& text, int& value);

// "on", "once" or "off" (any case): "Please enter on, once or off."
std::optional<std::string> CheckAutoZeroSetting(const std::string& text, AutoZero& value);
