#include "sim/instrument_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/instrument_numbers.h"

namespace {

using namespace instrument;

constexpr int kMinimumReadingMs = 5;  // firmware time of the fastest reading

// Event status register bits set by each class of error.
constexpr int kOperationComplete = 1 << 0;
constexpr int kQueryError = 1 << 2;
constexpr int kDeviceError = 1 << 3;
constexpr int kExecutionError = 1 << 4;
constexpr int kCommandError = 1 << 5;

const char* ErrorText(int code) {
  switch (code) {
    case -102: return "Syntax error";
    case -104: return "Data type error";
    case -108: return "Parameter not allowed";
    case -109: return "Missing parameter";
    case -112: return "Program mnemonic too long";
    case -113: return "Undefined header";
    case -114: return "Header suffix out of range";
    case -211: return "Trigger ignored";
    case -221: return "Settings conflict";
    case -222: return "Parameter data out of range";
    case -224: return "Illegal parameter value";
    case -230: return "Data corrupt or stale";
    case -350: return "Queue overflow";
    case 803: return "Not permitted with OUTPUT off";
    case 824: return "Cannot exceed compliance range";
    default: return "Error";
  }
}

}  // namespace

InstrumentModel::InstrumentModel(const SimOptions& options)
    : options_(options), device_(options), random_(options.seed) {
  Reset();
}

void InstrumentModel::Reset() {
  outputOn_ = false;
  sourceAmpsMode_ = false;
  sourceVolts_ = sourceAmps_ = 0.0;
  sourceVoltRange_ = kVoltRanges[0];
  sourceAmpRange_ = kAmpRanges[0];
  sourceVoltAuto_ = sourceAmpAuto_ = true;
  complianceA_ = 105e-6;
  complianceV_ = 21.0;
  senseAmpRange_ = 1e-4;
  senseVoltRange_ = 20.0;
  senseAmpAuto_ = senseVoltAuto_ = true;
  senseVolts_ = false;
  senseAmps_ = true;
  senseOhms_ = false;
  concurrent_ = true;
  ohmsMode_ = 1;
  nplc_ = 1.0;
  autoZero_ = true;
  std::fill(std::begin(elements_), std::end(elements_), true);
  trigger_.Reset();
  armed_ = false;
  sourceDelay_ = 0.001;
  sourceDelayAuto_ = true;
  autoOutputOff_ = false;
  display_ = true;
  remoteSense_ = false;
  terminals_ = 0;
  filter_ = false;
  filterMoving_ = 1;
  filterCount_ = 10;
  outputOffState_ = 1;
  lastReadings_.clear();
}

void InstrumentModel::ReceiveGarbled() { QueueError(-113); }

// ---- Errors -----------------------------------------------------------------

void InstrumentModel::QueueError(int code) {
  if (code <= -100 && code > -200) {
    eventStatus_ |= kCommandError;
  } else if (code <= -200 && code > -300) {
    eventStatus_ |= kExecutionError;
  } else if (code <= -400 && code > -500) {
    eventStatus_ |= kQueryError;
  } else {
    eventStatus_ |= kDeviceError;
  }
  char text[128];
  std::snprintf(text, sizeof text, "%+d,\"%s\"", code, ErrorText(code));
  if (errors_.size() >= kErrorQueueSize) {
    // A full queue keeps its oldest entries; the last one reports the overflow.
    errors_.back() = "-350,\"Queue overflow\"";
    errorCodes_.back() = -350;
    return;
  }
  errors_.push_back(text);
  errorCodes_.push_back(code);
}

std::string InstrumentModel::PopError() {
  if (errors_.empty()) return "0,\"No error\"";
  std::string first = errors_.front();
  errors_.pop_front();
  errorCodes_.pop_front();
  return first;
}

// ---- Parameters -------------------------------------------------------------

bool InstrumentModel::NoParams(const ScpiUnit& unit) {
  if (unit.params.empty()) return true;
  QueueError(-108);
  return false;
}

bool InstrumentModel::OneParam(const ScpiUnit& unit) {
  if (unit.params.empty()) {
    QueueError(-109);
    return false;
  }
  if (unit.params.size() > 1) {
    QueueError(-108);
    return false;
  }
  return true;
}

bool InstrumentModel::Number(const ScpiUnit& unit, double low, double high, double byDefault, double& value) {
  if (!OneParam(unit)) return false;
  const std::string& text = unit.params[0];
  if (IsMnemonic(text, "MINimum")) {
    value = low;
  } else if (IsMnemonic(text, "MAXimum")) {
    value = high;
  } else if (IsMnemonic(text, "DEFault")) {
    value = byDefault;
  } else if (!ParseDecimal(text, value)) {
    QueueError(-104);
    return false;
  } else if (value < low || value > high) {
    QueueError(-222);
    return false;
  }
  return true;
}

bool InstrumentModel::Boolean(const ScpiUnit& unit, bool& value) {
  if (!OneParam(unit)) return false;
  const std::string& text = unit.params[0];
  double number = 0.0;
  if (IsMnemonic(text, "ON")) {
    value = true;
  } else if (IsMnemonic(text, "OFF")) {
    value = false;
  } else if (ParseDecimal(text, number)) {
    value = std::lround(number) != 0;
  } else {
    QueueError(-224);
    return false;
  }
  return true;
}

bool InstrumentModel::Choice(const ScpiUnit& unit, const std::vector<const char*>& choices, std::size_t& index) {
  if (!OneParam(unit)) return false;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (IsMnemonic(unit.params[0], choices[i])) {
      index = i;
      return true;
    }
  }
  QueueError(-224);
  return false;
}

void InstrumentModel::BooleanSetting(const ScpiUnit& unit, Context& context, bool& setting) {
  if (unit.query) {
    if (NoParams(unit)) context.Respond(setting ? "1" : "0");
    return;
  }
  bool value = false;
  if (Boolean(unit, value)) setting = value;
}

void InstrumentModel::NumberQuery(const ScpiUnit& unit, Context& context, double value, double low, double high,
                                  double byDefault) {
  // ":SOUR:VOLT? MAX" asks for the limit instead of the setting.
  if (unit.params.size() == 1 && IsMnemonic(unit.params[0], "MINimum")) {
    context.Respond(Field(low));
  } else if (unit.params.size() == 1 && IsMnemonic(unit.params[0], "MAXimum")) {
    context.Respond(Field(high));
  } else if (unit.params.size() == 1 && IsMnemonic(unit.params[0], "DEFault")) {
    context.Respond(Field(byDefault));
  } else if (NoParams(unit)) {
    context.Respond(Field(value));
  }
}

void InstrumentModel::NumberSetting(const ScpiUnit& unit, Context& context, double& setting, double low,
                                    double high, double byDefault) {
  if (unit.query) {
    NumberQuery(unit, context, setting, low, high, byDefault);
    return;
  }
  double value = 0.0;
  if (Number(unit, low, high, byDefault, value)) setting = value;
}

void InstrumentModel::ChoiceSetting(const ScpiUnit& unit, Context& context, const std::vector<const char*>& choices,
                                    const std::vector<const char*>& answers, std::size_t& setting) {
  if (unit.query) {
    if (NoParams(unit)) context.Respond(answers[setting]);
    return;
  }
  std::size_t index = 0;
  if (Choice(unit, choices, index)) setting = index;
}

ModelAnswer InstrumentModel::Execute(const std::string& line, double nowSeconds) {
  Context context;
  context.now = nowSeconds;
  for (const ScpiUnit& unit : ReadProgramMessage(line)) {
    if (unit.error != 0) {
      QueueError(unit.error);
      break;
    }
    if (unit.common) {
      RunCommon(unit, context);
    } else {
      Run(unit, context);
    }
    if (context.hangUp || context.stop) break;
  }
  ModelAnswer answer;
  answer.delayMs = context.delayMs;
  answer.pauseAfter = context.pauseAfter;
  if (context.hangUp) {
    answer.text = context.partial;
    answer.hangUp = true;
    return answer;
  }
  if (context.replies.empty()) return ModelAnswer{};
  for (std::size_t i = 0; i < context.replies.size(); ++i) {
    if (i > 0) answer.text += ';';
    answer.text += context.replies[i];
  }
  answer.text += terminator_;
  return answer;
}

void InstrumentModel::Run(const ScpiUnit& unit, Context& context) {
  bool badSuffix = false;
  for (const Command& command : Commands()) {
    const HeaderMatch match = command.pattern.Match(unit.nodes);
    if (match == HeaderMatch::kYes) {
      command.handler(*this, unit, context);
      return;
    }
    badSuffix = badSuffix || match == HeaderMatch::kBadSuffix;
  }
  QueueError(badSuffix ? -114 : -113);
}

void InstrumentModel::RunCommon(const ScpiUnit& unit, Context& context) {
  const std::string& name = unit.commonName;
  const bool query = unit.query;
  if (name == "IDN" && query) {
    if (NoParams(unit)) context.Respond(kIdentification);
  } else if (name == "RST" && !query) {
    if (NoParams(unit)) Reset();
  } else if (name == "CLS" && !query) {
    if (NoParams(unit)) {
      errors_.clear();
      errorCodes_.clear();
      eventStatus_ = 0;
    }
  } else if (name == "OPC") {
    if (!NoParams(unit)) return;
    // Answers once the readings started by :INIT are done; an instrument
    // still waiting for its trigger does not answer at all.
    if (query && armed_) {
      context.stop = true;
      context.replies.clear();
    } else if (query) {
      context.delayMs += std::max(0, static_cast<int>(std::lround((busyUntil_ - context.now) * 1000.0)));
      context.Respond("1");
    } else {
      eventStatus_ |= kOperationComplete;
    }
  } else if (name == "WAI" && !query) {
    NoParams(unit);
  } else if (name == "ESR" && query) {
    if (!NoParams(unit)) return;
    context.Respond(Whole(eventStatus_));
    eventStatus_ = 0;
  } else if ((name == "ESE" || name == "SRE") && query) {
    if (NoParams(unit)) context.Respond(Whole(name == "ESE" ? eventEnable_ : serviceEnable_));
  } else if (name == "ESE" || name == "SRE") {
    double value = 0.0;
    if (Number(unit, 0, 255, 0, value)) (name == "ESE" ? eventEnable_ : serviceEnable_) = static_cast<int>(value);
  } else if (name == "STB" && query) {
    if (!NoParams(unit)) return;
    int status = errors_.empty() ? 0 : 4;
    if ((eventStatus_ & eventEnable_) != 0) status |= 32;
    if ((status & serviceEnable_) != 0) status |= 64;
    context.Respond(Whole(status));
  } else if (name == "TST" && query) {
    if (NoParams(unit)) context.Respond("0");
  } else if (name == "TRG" && !query) {
    BusTrigger(unit, context);
  } else {
    QueueError(-113);
  }
}

void InstrumentModel::Output(const ScpiUnit& unit, Context& context) { BooleanSetting(unit, context, outputOn_); }

void InstrumentModel::SourceFunction(const ScpiUnit& unit, Context& context) {
  std::size_t function = sourceAmpsMode_ ? 1 : 0;
  ChoiceSetting(unit, context, {"VOLTage", "CURRent"}, {"VOLT", "CURR"}, function);
  sourceAmpsMode_ = function == 1;
}

double InstrumentModel::SourceRangeValue(bool amps) const {
  if (amps) return sourceAmpAuto_ ? RangeFor(sourceAmps_, true) : sourceAmpRange_;
  return sourceVoltAuto_ ? RangeFor(sourceVolts_, false) : sourceVoltRange_;
}

void InstrumentModel::SourceLevel(const ScpiUnit& unit, Context& context, bool amps) {
  double& level = amps ? sourceAmps_ : sourceVolts_;
  const double limit = amps ? kMaxAmps : kMaxVolts;
  if (unit.query) {
    NumberQuery(unit, context, level, -limit, limit, 0);
    return;
  }
  double value = 0.0;
  if (!Number(unit, -limit, limit, 0, value)) return;
  const bool fixed = amps ? !sourceAmpAuto_ : !sourceVoltAuto_;
  if (fixed && std::fabs(value) > SourceRangeValue(amps) * kRangeTop) {
    QueueError(-221);  // beyond the fixed source range
    return;
  }
  level = value;
}

void InstrumentModel::SourceRange(const ScpiUnit& unit, Context& context, bool amps) {
  if (unit.query) {
    if (NoParams(unit)) context.Respond(RangeField(SourceRangeValue(amps)));
    return;
  }
  const double limit = amps ? kMaxAmps : kMaxVolts;
  double value = 0.0;
  if (!Number(unit, -limit, limit, limit, value)) return;
  const double range = RangeFor(value, amps);
  if (std::fabs(amps ? sourceAmps_ : sourceVolts_) > range * kRangeTop) {
    QueueError(-221);  // the present level would not fit
    return;
  }
  (amps ? sourceAmpRange_ : sourceVoltRange_) = range;
  (amps ? sourceAmpAuto_ : sourceVoltAuto_) = false;
}

void InstrumentModel::SourceRangeAuto(const ScpiUnit& unit, Context& context, bool amps) {
  bool& automatic = amps ? sourceAmpAuto_ : sourceVoltAuto_;
  const double before = SourceRangeValue(amps);
  BooleanSetting(unit, context, automatic);
  if (!automatic) (amps ? sourceAmpRange_ : sourceVoltRange_) = before;  // stays where auto left it
}

std::string InstrumentModel::SenseFunctionList() const {
  std::string list;
  for (const auto& f : {std::make_pair(senseVolts_, "\"VOLT:DC\""), std::make_pair(senseAmps_, "\"CURR:DC\""),
                        std::make_pair(senseOhms_, "\"RES\"")}) {
    if (!f.first) continue;
    if (!list.empty()) list += ',';
    list += f.second;
  }
  return list.empty() ? "\"\"" : list;
}

// :SENS:FUNC "VOLT","CURR:DC" or :SENS:FUNC 'VOLT,CURR': quoted function names.
void InstrumentModel::SenseFunctions(const ScpiUnit& unit, Context& context, bool on) {
  if (unit.query) {
    if (!NoParams(unit)) return;
    if (on) {
      context.Respond(SenseFunctionList());
    } else {
      std::string off;
      for (const auto& f : {std::make_pair(senseVolts_, "\"VOLT:DC\""), std::make_pair(senseAmps_, "\"CURR:DC\""),
                            std::make_pair(senseOhms_, "\"RES\"")}) {
        if (f.first) continue;
        if (!off.empty()) off += ',';
        off += f.second;
      }
      context.Respond(off.empty() ? "\"\"" : off);
    }
    return;
  }
  if (unit.params.empty()) {
    QueueError(-109);
    return;
  }
  std::vector<int> functions;
  for (const std::string& param : unit.params) {
    std::string contents;
    if (!Unquote(param, contents)) {
      QueueError(-104);
      return;
    }
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = contents.find(',', start);
      std::string name = contents.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      name.erase(0, name.find_first_not_of(" \t"));
      name.erase(name.find_last_not_of(" \t") + 1);
      std::vector<std::string> parts;
      for (std::size_t from = 0;;) {
        const std::size_t colon = name.find(':', from);
        parts.push_back(name.substr(from, colon == std::string::npos ? std::string::npos : colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
      }
      const bool dc = parts.size() == 1 || (parts.size() == 2 && IsMnemonic(parts[1], "DC"));
      if (dc && IsMnemonic(parts[0], "VOLTage")) {
        functions.push_back(0);
      } else if (dc && IsMnemonic(parts[0], "CURRent")) {
        functions.push_back(1);
      } else if (parts.size() == 1 && IsMnemonic(parts[0], "RESistance")) {
        functions.push_back(2);
      } else {
        QueueError(-224);
        return;
      }
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  bool* flags[] = {&senseVolts_, &senseAmps_, &senseOhms_};
  if (on && !concurrent_) {
    // One function at a time: the last one named wins.
    for (bool* flag : flags) *flag = false;
    *flags[functions.back()] = true;
    return;
  }
  for (const int f : functions) *flags[f] = on;
}

void InstrumentModel::SenseAll(const ScpiUnit& unit, bool on) {
  if (unit.query) {
    QueueError(-113);
    return;
  }
  if (!NoParams(unit)) return;
  senseVolts_ = on;
  senseAmps_ = on && (concurrent_ || !senseVolts_);
  senseOhms_ = on && concurrent_;
}

void InstrumentModel::Compliance(const ScpiUnit& unit, Context& context, bool amps) {
  double& setting = amps ? complianceA_ : complianceV_;
  const double limit = amps ? kMaxAmps : kMaxVolts;
  if (unit.query) {
    NumberQuery(unit, context, setting, -limit, limit, amps ? 105e-6 : 21.0);
    return;
  }
  double value = 0.0;
  if (!Number(unit, -limit, limit, amps ? 105e-6 : 21.0, value)) return;
  if (value == 0.0) {
    QueueError(-222);
    return;
  }
  setting = std::fabs(value);
}

double InstrumentModel::SenseRangeValue(bool amps) const {
  // Auto range follows the compliance, the largest value a reading can take.
  if (amps) return senseAmpAuto_ ? RangeFor(complianceA_, true) : senseAmpRange_;
  return senseVoltAuto_ ? RangeFor(complianceV_, false) : senseVoltRange_;
}

void InstrumentModel::SenseRange(const ScpiUnit& unit, Context& context, bool amps) {
  if (unit.query) {
    if (NoParams(unit)) context.Respond(RangeField(SenseRangeValue(amps)));
    return;
  }
  const double limit = amps ? kMaxAmps : kMaxVolts;
  double value = 0.0;
  if (!Number(unit, -limit, limit, limit, value)) return;
  const double range = RangeFor(value, amps);
  if (range > RangeFor(amps ? complianceA_ : complianceV_, amps)) {
    QueueError(824);  // no measurement range above the compliance's own
    return;
  }
  (amps ? senseAmpRange_ : senseVoltRange_) = range;
  (amps ? senseAmpAuto_ : senseVoltAuto_) = false;
}

void InstrumentModel::Elements(const ScpiUnit& unit, Context& context) {
  static const char* const kNames[] = {"VOLTage", "CURRent", "RESistance", "TIME", "STATus"};
  static const char* const kShort[] = {"VOLT", "CURR", "RES", "TIME", "STAT"};
  if (unit.query) {
    if (!NoParams(unit)) return;
    std::string list;
    for (int i = 0; i < 5; ++i) {
      if (!elements_[i]) continue;
      if (!list.empty()) list += ',';
      list += kShort[i];
    }
    context.Respond(list);
    return;
  }
  if (unit.params.empty()) {
    QueueError(-109);
    return;
  }
  bool chosen[5] = {false, false, false, false, false};
  for (const std::string& param : unit.params) {
    int found = -1;
    for (int i = 0; i < 5; ++i) {
      if (IsMnemonic(param, kNames[i])) found = i;
    }
    if (found < 0) {
      QueueError(-224);
      return;
    }
    chosen[found] = true;
  }
  std::copy(std::begin(chosen), std::end(chosen), std::begin(elements_));
}

void InstrumentModel::Count(const ScpiUnit& unit, Context& context, bool arm) {
  double& setting = arm ? trigger_.armCount : trigger_.triggerCount;
  if (unit.query) {
    if (NoParams(unit)) context.Respond(Whole(std::lround(setting)));
    return;
  }
  double value = 0.0;
  if (!Number(unit, 1, kMaxReadings, 1, value)) return;
  value = std::round(value);
  if (value * (arm ? trigger_.triggerCount : trigger_.armCount) > kMaxReadings) {
    QueueError(-221);  // arm count x trigger count is at most 2500
    return;
  }
  setting = value;
}

void InstrumentModel::ErrorQueries(const ScpiUnit& unit, Context& context, bool all, bool count, bool codesOnly) {
  if (!unit.query) {
    QueueError(-113);
    return;
  }
  if (!NoParams(unit)) return;
  if (count) {
    context.Respond(Whole(static_cast<long>(errors_.size())));
    return;
  }
  std::string reply;
  do {
    const int code = errorCodes_.empty() ? 0 : errorCodes_.front();
    const std::string entry = PopError();
    if (!reply.empty()) reply += ',';
    reply += codesOnly ? Whole(code) : entry;
  } while (all && !errors_.empty());
  context.Respond(reply);
}

void InstrumentModel::AutoZeroSetting(const ScpiUnit& unit, Context& context) {
  // ONCE zeroes now and leaves auto-zero off.
  if (!unit.query && unit.params.size() == 1 && IsMnemonic(unit.params[0], "ONCE")) {
    autoZero_ = false;
    return;
  }
  BooleanSetting(unit, context, autoZero_);
}

// A Trigger Link line, 1 to 4.
void InstrumentModel::TriggerLine(const ScpiUnit& unit, Context& context, double& line) {
  if (unit.query) {
    if (NoParams(unit)) context.Respond(Whole(std::lround(line)));
    return;
  }
  double value = 0.0;
  if (Number(unit, 1, 4, 1, value)) line = std::round(value);
}

// A list of the layer's output (or input) events, or NONE.
void InstrumentModel::TriggerEvents(const ScpiUnit& unit, Context& context, const std::vector<const char*>& events,
                                    const std::vector<const char*>& answers, unsigned& setting) {
  if (unit.query) {
    if (!NoParams(unit)) return;
    std::string list;
    for (std::size_t i = 0; i < answers.size(); ++i) {
      if ((setting & (1u << i)) == 0) continue;
      if (!list.empty()) list += ',';
      list += answers[i];
    }
    context.Respond(list.empty() ? "NONE" : list);
    return;
  }
  if (unit.params.empty()) {
    QueueError(-109);
    return;
  }
  unsigned chosen = 0;
  for (const std::string& param : unit.params) {
    if (unit.params.size() == 1 && IsMnemonic(param, "NONE")) break;
    std::size_t i = 0;
    while (i < events.size() && !IsMnemonic(param, events[i])) ++i;
    if (i == events.size()) {
      QueueError(-224);
      return;
    }
    chosen |= 1u << i;
  }
  setting = chosen;
}

void InstrumentModel::Terminator(const ScpiUnit& unit, Context& context) {
  static const std::vector<const char*> kNames = {"CR", "LF", "CRLF", "LFCR"};
  static const char* const kBytes[] = {"\r", "\n", "\r\n", "\n\r"};
  std::size_t index = 0;
  while (index < kNames.size() && terminator_ != kBytes[index]) ++index;
  ChoiceSetting(unit, context, kNames, kNames, index);
  terminator_ = kBytes[index];
}

// ---- Readings ---------------------------------------------------------------

int InstrumentModel::ReadingTimeMs() const {
  // Each conversion integrates over NPLC line cycles; auto-zero adds a
  // reference and a zero conversion to every reading.
  const double conversions = autoZero_ ? 3.0 : 1.0;
  const double cycleMs = 1000.0 / lineHz_;
  double ms = kMeasureDelayMs + conversions * (nplc_ - 1.0) * cycleMs;
  ms = std::max<double>(ms, kMinimumReadingMs);
  if (filter_ && filterMoving_ == 0) ms *= filterCount_;  // a repeating filter measures anew each time
  ms += trigger_.triggerDelaySeconds * 1000.0 + (sourceDelayAuto_ ? 0.0 : sourceDelay_ * 1000.0);
  return static_cast<int>(std::lround(ms));
}

int InstrumentModel::ReadingsTimeMs() const {
  const double reading = ReadingTimeMs() / 1000.0;
  return static_cast<int>(std::lround((trigger_.ReadingStarts(reading).back() + reading) * 1000.0));
}

bool InstrumentModel::MayMeasure() {
  if (outputOn_ || autoOutputOff_) return true;
  QueueError(803);
  return false;
}

bool InstrumentModel::Triggered() {
  armed_ = trigger_.WaitsForEvent(false);
  if (armed_) lastReadings_.clear();
  return !armed_;
}

InstrumentModel::Reading InstrumentModel::TakeReading(double seconds) {
  Reading r;
  r.seconds = seconds - timeZero_;
  // The filter averages `count` conversions, which narrows the noise.
  const double averaged = filter_ ? std::sqrt(filterCount_) : 1.0;
  const double noise = options_.noise > 0.0 ? options_.noise * gaussian_(random_) / averaged : 0.0;
  const bool amps = sourceAmpsMode_;
  const double limit = amps ? complianceV_ : complianceA_;
  bool inCompliance = false;
  double volts = 0.0, current = 0.0;
  if (!amps) {
    volts = sourceVolts_;
    current = device_.Current(volts) + noise;
    if (!(std::fabs(current) < limit)) {  // also catches an infinite diode current
      inCompliance = true;
      current = std::copysign(limit, current);
      volts = device_.Voltage(current);
    }
  } else {
    current = sourceAmps_;
    volts = device_.Voltage(current + noise);
    if (!(std::fabs(volts) < limit)) {
      inCompliance = true;
      volts = std::copysign(limit, volts);
      current = device_.Current(volts);
    }
  }
  // The measured side reads on its range: beyond full scale it overflows.
  const bool fixedRange = amps ? !senseVoltAuto_ : !senseAmpAuto_;
  const double fullScale = SenseRangeValue(!amps) * kRangeFullScale;
  const bool overRange =
      fixedRange && (amps ? senseVolts_ : senseAmps_) && std::fabs(amps ? volts : current) > fullScale;
  // The sourced quantity reads as programmed unless it is measured too, or
  // the source holds at its compliance and the device sees less.
  const bool programmed = !inCompliance;
  r.volts = (amps && !senseVolts_) ? kOverflow : (!amps && !senseVolts_ && programmed) ? sourceVolts_ : volts;
  r.amps = (!amps && !senseAmps_) ? kOverflow : (amps && !senseAmps_ && programmed) ? sourceAmps_ : current;
  r.ohms = (senseOhms_ && current != 0.0) ? volts / current : kOverflow;
  if (overRange) {
    (amps ? r.volts : r.amps) = kOverflow;
    r.ohms = kOverflow;
  }
  r.status = (overRange ? kStatusOverRange : 0) + (terminals_ == 0 ? kStatusFront : 0) +
             (ohmsMode_ == 1 ? kStatusAutoOhms : 0) + (senseVolts_ ? kStatusVoltsMeasured : 0) +
             (senseAmps_ ? kStatusAmpsMeasured : 0) + (senseOhms_ ? kStatusOhmsMeasured : 0) +
             (amps ? kStatusAmpsSourced : kStatusVoltsSourced) + (inCompliance ? kStatusCompliance : 0) +
             (remoteSense_ ? kStatusRemoteSense : 0);
  return r;
}

std::vector<InstrumentModel::Reading> InstrumentModel::TakeReadings(double nowSeconds) {
  std::vector<Reading> readings;
  for (const double start : trigger_.ReadingStarts(ReadingTimeMs() / 1000.0)) {
    readings.push_back(TakeReading(nowSeconds + start));
  }
  return readings;
}

std::string InstrumentModel::FormatReadings(const std::vector<Reading>& readings) const {
  std::string text;
  for (const Reading& r : readings) {
    const double values[] = {r.volts, r.amps, r.ohms, r.seconds, static_cast<double>(r.status)};
    for (int i = 0; i < 5; ++i) {
      if (!elements_[i]) continue;
      if (!text.empty()) text += ',';
      text += Field(values[i]);
    }
  }
  return text;
}

void InstrumentModel::Read(const ScpiUnit& unit, Context& context) {
  if (!unit.query) {
    QueueError(-113);
    return;
  }
  if (!NoParams(unit)) return;
  ++readRequests_;
  const int delay = ReadingsTimeMs() + std::max(0, options_.slowReplyMs);
  if (options_.hangUpAfterReads >= 0 && readRequests_ > options_.hangUpAfterReads) {
    // The line drops in the middle of the reply.
    std::string full;
    for (const std::string& reply : context.replies) full += reply + ';';
    full += FormatReadings(TakeReadings(context.now)) + terminator_;
    context.partial = full.substr(0, full.size() / 2);
    context.delayMs += delay;
    context.hangUp = true;
    return;
  }
  if (!MayMeasure()) return;
  if (options_.silent || !Triggered()) {
    context.stop = true;
    context.replies.clear();
    return;
  }
  context.delayMs += delay;
  if (options_.garbage) {
    context.Respond("@#LINE NOISE#@ !?");
    return;
  }
  lastReadings_ = TakeReadings(context.now);
  if (options_.oneNumber) {
    context.Respond(Field(lastReadings_.front().volts));
    return;
  }
  std::string text = FormatReadings(lastReadings_);
  if (options_.longReply) text += ',' + FormatReadings(TakeReadings(context.now));  // as from a trigger count of 2
  if (options_.splitReplyAfter >= 0 && context.pauseAfter == std::string::npos) {
    std::size_t before = 0;  // the replies ahead of this one in the same answer, and their ";"
    for (const std::string& reply : context.replies) before += reply.size() + 1;
    context.pauseAfter = before + static_cast<std::size_t>(options_.splitReplyAfter);
  }
  context.Respond(text);
}

void InstrumentModel::Initiate(const ScpiUnit& unit, Context& context) {
  if (unit.query) {
    QueueError(-113);
    return;
  }
  if (!NoParams(unit) || !MayMeasure() || !Triggered()) return;
  lastReadings_ = TakeReadings(context.now);
  busyUntil_ = context.now + ReadingsTimeMs() / 1000.0;
}

// *TRG: the bus trigger an armed instrument waits for when its arm event is BUS.
void InstrumentModel::BusTrigger(const ScpiUnit& unit, Context& context) {
  if (!NoParams(unit)) return;
  if (!armed_ || !trigger_.WaitsForBus() || trigger_.WaitsForEvent(true)) {
    QueueError(-211);
    return;
  }
  armed_ = false;
  lastReadings_ = TakeReadings(context.now);
  busyUntil_ = context.now + ReadingsTimeMs() / 1000.0;
}

void InstrumentModel::Fetch(const ScpiUnit& unit, Context& context) {
  if (!unit.query) {
    QueueError(-113);
    return;
  }
  if (!NoParams(unit)) return;
  if (lastReadings_.empty()) {
    QueueError(-230);
    return;
  }
  context.delayMs += std::max(0, static_cast<int>(std::lround((busyUntil_ - context.now) * 1000.0)));
  context.Respond(FormatReadings(lastReadings_));
}

// :CONF:<function> sets up a one-shot measurement of that function alone and
// switches the output on; :MEAS:<function>? does that and reads.
void InstrumentModel::Configure(const ScpiUnit& unit, Context& context, int function, bool measure) {
  if (!measure && unit.query) {
    if (function < 0 && NoParams(unit)) context.Respond(SenseFunctionList());
    if (function >= 0) QueueError(-113);
    return;
  }
  if (measure != unit.query) {
    QueueError(-113);
    return;
  }
  if (!NoParams(unit)) return;
  if (function >= 0) {
    senseVolts_ = function == 0;
    senseAmps_ = function == 1;
    senseOhms_ = function == 2;
  }
  // The trigger model goes back to one immediate reading.
  trigger_.armSource = TriggerModel::kArmImmediate;
  trigger_.triggerSource = TriggerModel::kTriggerImmediate;
  trigger_.armCount = trigger_.triggerCount = 1;
  trigger_.triggerDelaySeconds = 0.0;
  outputOn_ = true;
  if (!measure) return;
  context.delayMs += ReadingsTimeMs();
  lastReadings_ = TakeReadings(context.now);
  context.Respond(FormatReadings(lastReadings_));
}
