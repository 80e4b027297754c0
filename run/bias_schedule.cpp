#include "run/bias_schedule.h"

#include <charconv>
#include <cmath>

namespace {

// Ramp steps add up in binary: a remainder this small is the target reached.
constexpr double kVoltsEpsilon = 1e-9;

bool ReadNumber(const char* begin, const char* end, double& value) {
  if (begin == end) return false;
  if (*begin == '+') ++begin;
  const auto result = std::from_chars(begin, end, value, std::chars_format::general);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

std::int64_t ScheduleTotalMs(const BiasSchedule& schedule) {
  std::int64_t cycle = 0;
  for (const BiasStep& step : schedule.steps) cycle += step.durationMs;
  return cycle * (schedule.repeat < 1 ? 1 : schedule.repeat);
}

StepInForce StepAt(const BiasSchedule& schedule, std::int64_t dueMs) {
  StepInForce found;
  const int count = static_cast<int>(schedule.steps.size());
  const int passes = schedule.repeat < 1 ? 1 : schedule.repeat;
  std::int64_t cycle = 0;
  for (const BiasStep& step : schedule.steps) cycle += step.durationMs;
  if (count == 0 || cycle <= 0) return found;
  if (dueMs <= 0) {
    found.volts = schedule.steps.front().volts;
    return found;
  }
  // (start, end]: the instant a step ends is still that step's.
  std::int64_t pass = (dueMs - 1) / cycle;
  std::int64_t within = dueMs - pass * cycle;
  if (pass >= passes) {
    pass = passes - 1;
    within = cycle;
  }
  int index = 0;
  std::int64_t end = schedule.steps[0].durationMs;
  while (within > end && index + 1 < count) end += schedule.steps[++index].durationMs;
  found.step = index;
  found.pass = static_cast<int>(pass);
  found.volts = schedule.steps[index].volts;
  return found;
}

double RampedVoltage(double previous, double target, double rampVoltsPerSecond, int intervalMs) {
  if (rampVoltsPerSecond <= 0.0) return target;
  const double most = rampVoltsPerSecond * intervalMs / 1000.0;
  const double change = target - previous;
  if (std::fabs(change) <= most + kVoltsEpsilon) return target;
  return previous + (change > 0 ? most : -most);
}

void BiasSource::Reset(const BiasSchedule& schedule, double outputVoltage, int intervalMs) {
  schedule_ = schedule;
  outputVoltage_ = outputVoltage;
  intervalMs_ = intervalMs;
  volts_ = 0.0;
  step_ = StepInForce{};
  hasStep_ = false;
  stepChanged_ = false;
}

double BiasSource::ForSample(std::int64_t dueMs) {
  double target = outputVoltage_;
  stepChanged_ = false;
  if (schedule_.HasSteps()) {
    const StepInForce now = StepAt(schedule_, dueMs);
    stepChanged_ = !hasStep_ || now.step != step_.step || now.pass != step_.pass;
    step_ = now;
    hasStep_ = true;
    target = now.volts;
  }
  volts_ = RampedVoltage(volts_, target, schedule_.rampVoltsPerSecond, intervalMs_);
  return volts_;
}

double BiasSource::ForRampDown() {
  stepChanged_ = false;
  volts_ = RampedVoltage(volts_, 0.0, schedule_.rampVoltsPerSecond, intervalMs_);
  return volts_;
}

StepLine ParseStepLine(const std::string& line, double& volts, double& seconds) {
  const std::size_t hash = line.find('#');
  const std::string text = line.substr(0, hash);
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    std::size_t end = at;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end;
  }
  if (words.empty()) return StepLine::Empty;
  if (words.size() != 2) return StepLine::Bad;
  const bool good = ReadNumber(words[0].data(), words[0].data() + words[0].size(), volts) &&
                    ReadNumber(words[1].data(), words[1].data() + words[1].size(), seconds);
  return good ? StepLine::Step : StepLine::Bad;
}

bool ParseStepPair(const std::string& text, double& volts, double& seconds) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  return ReadNumber(text.data(), text.data() + colon, volts) &&
         ReadNumber(text.data() + colon + 1, text.data() + text.size(), seconds);
}
