// The ranges of the measurement and instrument settings and the checks of typed
// values, shared by the dialogs and the command-line runner so both refuse the
// same input with the same words: what is wrong and what is allowed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "instrument/instrument_settings.h"
#include "run/bias_schedule.h"

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
// Below a second the interval is a decimal number with at most three decimals.
constexpr int kMinSampleIntervalMs = 20;

// The time between samples: a decimal number of seconds with at most three
// decimals, 0.02..1000. A whole number sets `wholeSeconds` (and `ms` to 0);
// any other sets `ms` (and `wholeSeconds` to 0), as MeasurementSettings holds
// them. Otherwise: "Please enter a number of seconds between 0.02 and 1000,
// with at most three decimals."
std::optional<std::string> CheckIntervalSetting(const std::string& text, int& wholeSeconds, int& ms);
// An interval as that field takes it: 20 gives "0.02", 1000 gives "1".
std::string IntervalText(int intervalMs);

// Why `intervalMs` is too short for `settings`, or nothing when it is not (a
// whole number of seconds always carries). `lineHz` is the instrument's line
// frequency; `inDialog` names the Instrument dialog, otherwise the options, e.g.
// "At 9600 baud and NPLC 1 a sample takes at least 0.11 s. Choose a longer
// interval, or raise the baud rate to 19200 (also on the instrument) in Instrument..."
std::optional<std::string> LeastIntervalProblem(int intervalMs, const InstrumentSettings& settings, int lineHz,
                                                bool inDialog);
// What the Instrument dialog says of `settings` as they are edited: "Least
// time between samples with these values: 0.012 s on 50 Hz mains, 0.011 s on
// 60 Hz." (one figure when both mains give the same).
std::string LeastIntervalNote(const InstrumentSettings& settings);

inline constexpr IntSettingRange kMeasurementTimeRange{"Measurement time", 10, 10000000};
inline constexpr DoubleSettingRange kOutputVoltageRange{"Output voltage", -10.0, 10.0};
inline constexpr IntSettingRange kPortNumberRange{"Serial port", 1, 4};

// Parses `text` (blanks around it allowed) as a whole integer inside `range`.
// On failure returns the message: "Please enter an integer." when the text is no
// integer, "Please enter an integer between 10 and 10000000." when it is out of
// range. On success stores the value and returns nothing.
std::optional<std::string> CheckIntSetting(const std::string& text, const IntSettingRange& range, int& value);

// The same for a decimal number: "Please enter a number." and
// "Please enter a number between -10 and 10."
std::optional<std::string> CheckDoubleSetting(const std::string& text, const DoubleSettingRange& range, double& value);

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

// "none", "even" or "odd" (any case): "Please enter none, even or odd."
std::optional<std::string> CheckParitySetting(const std::string& text, Parity& value);

// "7" or "8": "Please enter 7 or 8."
std::optional<std::string> CheckDataBitsSetting(const std::string& text, int& value);

// A format the instrument's RS-232 menu offers: 7 data bits only with parity.
std::optional<std::string> CheckLineFormat(const LineFormat& format);

// A bias schedule: steps of a voltage and a duration, repeated, and a ramp rate.
inline constexpr IntSettingRange kRepeatRange{"Repeat", 1, 1000000};

// One step: a voltage within kOutputVoltageRange ("Please enter a voltage
// between -10 and 10.") held at least one interval ("Please enter a duration
// of at least 1 s, the time between samples."). Stores it in milliseconds.
std::optional<std::string> CheckBiasStep(double volts, double seconds, int intervalMs, BiasStep& step);
// A ramp rate in volts per second above 0: "Please enter a number above 0."
std::optional<std::string> CheckRampSetting(const std::string& text, double& value);
// Steps and repeats that last longer than the longest measurement time:
// "Please enter steps that last at most 10000000 s in all, repeats included."
std::optional<std::string> CheckScheduleTotal(const BiasSchedule& schedule);
// The measurement time of a schedule: its total in whole seconds, rounded up.
int ScheduleMeasurementTime(const BiasSchedule& schedule);
// What a steps file's bad line is told: "line 3 of steps.txt: please enter a
// voltage and a duration in seconds, e.g. 0.5 60." (after the option's name).
std::string StepsFileLineMessage(const std::string& path, int line, const std::string& problem);

// A step as --step gives it, "VOLTS:SECONDS": "Please enter a voltage and a
// duration as VOLTS:SECONDS, e.g. 0.5:60." when it is not two numbers.
std::optional<std::string> CheckStepPair(const std::string& text, int intervalMs, BiasStep& step);
// The text of a steps file, one step a line (see ParseStepLine). On a bad
// line returns what is wrong with it and its number (from 1) in `badLine`;
// a text without steps: "Please enter at least one step, ..." with `badLine` 0.
std::optional<std::string> CheckStepsText(const std::string& text, int intervalMs, std::vector<BiasStep>& steps,
                                          int& badLine);

// "3 steps, 0.5..1 V, 2 × 11 s": the steps, their voltage range and the
// passes times one pass's seconds ("1 step, 0.5 V, 11 s" for a single pass).
// `schedule` has steps.
std::string ScheduleSummary(const BiasSchedule& schedule);

// A steps file that ParseStepLine reads back: a comment line, then one
// "VOLTS SECONDS" line a step with every digit the values need.
std::string StepsFileText(const std::vector<BiasStep>& steps);
