#include "text/setting_checks.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <system_error>
#include <type_traits>

#include "decimal/decimal_text.h"
#include "instrument/instrument_setup.h"

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

namespace {

const char kIntervalMessage[] = "Please enter a number of seconds between 0.02 and 1000, with at most three decimals.";

// Seconds of a millisecond count, with no trailing zeros: 110 gives "0.11".
std::string SecondsText(int ms) {
  std::string text = FormatFixed(ms / 1000.0, 3);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string IntervalText(int intervalMs) { return SecondsText(intervalMs); }

std::string LeastIntervalNote(const InstrumentSettings& settings) {
  const int at50 = LeastIntervalMs(settings, 50);
  const int at60 = LeastIntervalMs(settings, 60);
  std::string text = "Least time between samples with these values: " + SecondsText(at50) + " s";
  if (at50 != at60) text += " on 50 Hz mains, " + SecondsText(at60) + " s on 60 Hz";
  return text + ".";
}

std::optional<std::string> CheckIntervalSetting(const std::string& text, int& wholeSeconds, int& ms) {
  const std::string number = Trimmed(text);
  // Digits, and at most one "." with up to three after it: no sign, no exponent, no ",".
  std::size_t i = 0;
  long long whole = 0;
  int digits = 0;
  while (i < number.size() && number[i] >= '0' && number[i] <= '9') {
    whole = std::min(whole * 10 + (number[i++] - '0'), 1000000LL);
    ++digits;
  }
  long long millis = 0;
  int decimals = 0;
  if (i < number.size() && number[i] == '.') {
    ++i;
    while (i < number.size() && number[i] >= '0' && number[i] <= '9') {
      if (++decimals > 3) return std::string(kIntervalMessage);
      millis = millis * 10 + (number[i++] - '0');
    }
  }
  if (i != number.size() || digits + decimals == 0) return std::string(kIntervalMessage);
  for (int d = decimals; d < 3; ++d) millis *= 10;
  const long long total = whole * 1000 + millis;
  if (total < kMinSampleIntervalMs || total > 1000LL * kSampleIntervalRange.maximum) {
    return std::string(kIntervalMessage);
  }
  if (total % 1000 == 0) {
    wholeSeconds = static_cast<int>(total / 1000);
    ms = 0;
  } else {
    wholeSeconds = 0;
    ms = static_cast<int>(total);
  }
  return std::nullopt;
}

std::optional<std::string> LeastIntervalProblem(int intervalMs, const InstrumentSettings& settings, int lineHz,
                                                bool inDialog) {
  if (intervalMs % 1000 == 0 || LeastIntervalMs(settings, lineHz) <= intervalMs) return std::nullopt;
  const bool azOff = settings.autoZero != AutoZero::On;
  std::string text = "At " + std::to_string(settings.baud) + " baud" + (azOff ? ", " : " and ") + "NPLC " +
                     FormatGeneral(settings.nplc) + (azOff ? " and auto-zero off" : "") + " a sample takes at least " +
                     SecondsText(LeastIntervalMs(settings, lineHz)) + " s. Choose a longer interval";
  // The least change that carries the interval: the baud rate first (no cost to
  // the reading), then NPLC at the fastest line, then auto-zero off as well.
  InstrumentSettings trial = settings;
  std::string baudTo, nplcTo;
  bool autoZeroOff = false;
  auto fits = [&] { return LeastIntervalMs(trial, lineHz) <= intervalMs; };
  for (const int baud : kBaudRates) {
    if (baud <= settings.baud) continue;
    trial.baud = baud;
    if (fits()) break;
  }
  if (trial.baud != settings.baud) baudTo = std::to_string(trial.baud);
  const double nplcSteps[] = {5, 2, 1, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01};
  for (int pass = 0; pass < 2 && !fits(); ++pass) {
    if (pass == 1 && trial.autoZero == AutoZero::On) {
      trial.autoZero = AutoZero::Off;
      autoZeroOff = true;
    }
    for (const double nplc : nplcSteps) {
      if (nplc >= settings.nplc) continue;
      trial.nplc = nplc;
      if (fits()) break;
    }
  }
  if (trial.nplc != settings.nplc) nplcTo = FormatGeneral(trial.nplc);
  if (!fits() || (baudTo.empty() && nplcTo.empty() && !autoZeroOff)) return text + ".";
  std::string changes;
  auto add = [&](const std::string& change) { changes += (changes.empty() ? "" : " and ") + change; };
  if (inDialog) {
    if (!baudTo.empty()) add("raise the baud rate to " + baudTo + " (also on the instrument)");
    if (!nplcTo.empty()) add("lower NPLC to " + nplcTo);
    if (autoZeroOff) add("switch auto-zero off");
    return text + ", or " + changes + " in Instrument...";
  }
  if (!baudTo.empty()) add("--baud " + baudTo + " (also on the instrument)");
  if (!nplcTo.empty()) add("--nplc " + nplcTo);
  if (autoZeroOff) add("--autozero off");
  return text + ", or give " + changes + ".";
}

std::optional<std::string> CheckBiasStep(double volts, double seconds, int intervalMs, BiasStep& step) {
  if (!(volts >= kOutputVoltageRange.minimum && volts <= kOutputVoltageRange.maximum)) {
    return "Please enter a voltage between " + FormatGeneral(kOutputVoltageRange.minimum) + " and " +
           FormatGeneral(kOutputVoltageRange.maximum) + ".";
  }
  // Past the longest measurement time a step cannot be part of a run; refused
  // here, before the milliseconds could overflow.
  const double ms = std::round(seconds * 1000.0);
  if (!(ms >= intervalMs)) {
    return "Please enter a duration of at least " + IntervalText(intervalMs) + " s, the time between samples.";
  }
  if (ms > kMeasurementTimeRange.maximum * 1000.0) {
    return "Please enter a duration of at most " + std::to_string(kMeasurementTimeRange.maximum) + " s.";
  }
  step.volts = volts;
  step.durationMs = static_cast<std::int64_t>(ms);
  return std::nullopt;
}

std::optional<std::string> CheckRampSetting(const std::string& text, double& value) {
  const std::string number = Trimmed(text);
  std::size_t pos = 0;
  double parsed = 0.0;
  if (!ParseDecimal(number, pos, parsed) || pos != number.size() || !std::isfinite(parsed)) {
    return std::string("Please enter a number.");
  }
  if (parsed <= 0.0) return std::string("Please enter a number above 0.");
  value = parsed;
  return std::nullopt;
}

std::optional<std::string> CheckScheduleTotal(const BiasSchedule& schedule) {
  std::int64_t cycle = 0;
  for (const BiasStep& step : schedule.steps) cycle += step.durationMs;
  const std::int64_t most = static_cast<std::int64_t>(kMeasurementTimeRange.maximum) * 1000;
  if (cycle <= most && cycle * std::max(schedule.repeat, 1) <= most) return std::nullopt;
  return "Please enter steps that last at most " + std::to_string(kMeasurementTimeRange.maximum) +
         " s in all, repeats included.";
}

int ScheduleMeasurementTime(const BiasSchedule& schedule) {
  return static_cast<int>((ScheduleTotalMs(schedule) + 999) / 1000);
}

std::string StepsFileLineMessage(const std::string& path, int line, const std::string& problem) {
  std::string text = problem;
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return "line " + std::to_string(line) + " of " + path + ": " + text;
}

std::optional<std::string> CheckStepPair(const std::string& text, int intervalMs, BiasStep& step) {
  double volts = 0.0;
  double seconds = 0.0;
  if (!ParseStepPair(Trimmed(text), volts, seconds)) {
    return std::string("Please enter a voltage and a duration as VOLTS:SECONDS, e.g. 0.5:60.");
  }
  return CheckBiasStep(volts, seconds, intervalMs, step);
}

std::optional<std::string> CheckStepsText(const std::string& text, int intervalMs, std::vector<BiasStep>& steps,
                                          int& badLine) {
  std::vector<BiasStep> found;
  std::size_t at = 0;
  int number = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    ++number;
    double volts = 0.0;
    double seconds = 0.0;
    const StepLine kind = ParseStepLine(text.substr(at, end - at), volts, seconds);
    at = end + 1;
    if (kind == StepLine::Empty) continue;
    std::optional<std::string> problem;
    BiasStep step;
    if (kind == StepLine::Bad) {
      problem = "Please enter a voltage and a duration in seconds, separated by blanks, e.g. 0.5 60.";
    } else {
      problem = CheckBiasStep(volts, seconds, intervalMs, step);
    }
    if (problem) {
      badLine = number;
      return problem;
    }
    found.push_back(step);
  }
  if (found.empty()) {
    badLine = 0;
    return std::string("Please enter at least one step, a voltage and a duration in seconds a line, e.g. 0.5 60.");
  }
  steps = std::move(found);
  return std::nullopt;
}

namespace {

// Every digit, so a file written and read back holds the same values.
std::string ExactNumber(double value) {
  char text[40];
  // From 15 digits on, so that a round number keeps its plain form ("20", not "2e+01").
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::string SecondsText(std::int64_t ms) { return ExactNumber(static_cast<double>(ms) / 1000.0); }

}  // namespace

std::string ScheduleSummary(const BiasSchedule& schedule) {
  const std::size_t count = schedule.steps.size();
  double lowest = schedule.steps.front().volts;
  double highest = lowest;
  std::int64_t passMs = 0;
  for (const BiasStep& step : schedule.steps) {
    lowest = std::min(lowest, step.volts);
    highest = std::max(highest, step.volts);
    passMs += step.durationMs;
  }
  std::string text = std::to_string(count) + (count == 1 ? " step, " : " steps, ") + FormatGeneral(lowest);
  if (highest != lowest) text += ".." + FormatGeneral(highest);
  text += " V, ";
  if (schedule.repeat > 1) text += std::to_string(schedule.repeat) + " \u00d7 ";
  return text + SecondsText(passMs) + " s";
}

std::string StepsFileText(const std::vector<BiasStep>& steps) {
  std::string text = "# volts seconds\n";
  for (const BiasStep& step : steps) text += ExactNumber(step.volts) + " " + SecondsText(step.durationMs) + "\n";
  return text;
}
