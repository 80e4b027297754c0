#include "sim/instrument_settings.h"

#include <algorithm>
#include <cstdio>

using namespace sourcemeter;

std::string sourcemeter::RangeField(double range) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6E", range * kRangeTop);
  return text;
}

// ---- Source -----------------------------------------------------------------

void SourceSettings::OutputOffState(ScpiCall& call) {
  call.ChoiceSetting({"HIMPedance", "NORMal", "ZERO", "GUARd"}, {"HIMP", "NORM", "ZERO", "GUAR"}, outputOffState_);
}

void SourceSettings::Function(ScpiCall& call) {
  std::size_t function = sourcingAmps_ ? 1 : 0;
  call.ChoiceSetting({"VOLTage", "CURRent"}, {"VOLT", "CURR"}, function);
  sourcingAmps_ = function == 1;
}

double SourceSettings::RangeValue(bool amps) const {
  if (amps) return ampAuto_ ? RangeFor(amps_, true) : ampRange_;
  return voltAuto_ ? RangeFor(volts_, false) : voltRange_;
}

void SourceSettings::Level(ScpiCall& call, bool amps) {
  double& level = amps ? amps_ : volts_;
  const double limit = amps ? kMaxAmps : kMaxVolts;
  if (call.IsQuery()) {
    call.NumberQuery(level, -limit, limit, 0);
    return;
  }
  double value = 0.0;
  if (!call.Number(-limit, limit, 0, value)) return;
  const bool fixed = amps ? !ampAuto_ : !voltAuto_;
  if (fixed && std::fabs(value) > RangeValue(amps) * kRangeTop) {
    call.Error(-221);  // beyond the fixed source range
    return;
  }
  level = value;
}

void SourceSettings::Range(ScpiCall& call, bool amps) {
  if (call.IsQuery()) {
    if (call.NoParams()) call.Respond(RangeField(RangeValue(amps)));
    return;
  }
  const double limit = amps ? kMaxAmps : kMaxVolts;
  double value = 0.0;
  if (!call.Number(-limit, limit, limit, value)) return;
  const double range = RangeFor(value, amps);
  if (std::fabs(amps ? amps_ : volts_) > range * kRangeTop) {
    call.Error(-221);  // the present level would not fit
    return;
  }
  (amps ? ampRange_ : voltRange_) = range;
  (amps ? ampAuto_ : voltAuto_) = false;
}

void SourceSettings::RangeAuto(ScpiCall& call, bool amps) {
  bool& automatic = amps ? ampAuto_ : voltAuto_;
  const double before = RangeValue(amps);
  call.BooleanSetting(automatic);
  if (!automatic) (amps ? ampRange_ : voltRange_) = before;  // stays where auto left it
}

void SourceSettings::Delay(ScpiCall& call) {
  call.NumberSetting(delay_, 0, kMaxDelaySeconds, 0);
  if (!call.IsQuery()) delayAuto_ = false;
}

// ---- Sense ------------------------------------------------------------------

std::string SenseSettings::FunctionList() const {
  std::string list;
  for (const auto& f : {std::make_pair(volts_, "\"VOLT:DC\""), std::make_pair(amps_, "\"CURR:DC\""),
                        std::make_pair(ohms_, "\"RES\"")}) {
    if (!f.first) continue;
    if (!list.empty()) list += ',';
    list += f.second;
  }
  return list.empty() ? "\"\"" : list;
}

void SenseSettings::Functions(ScpiCall& call, bool on) {
  if (call.IsQuery()) {
    if (!call.NoParams()) return;
    if (on) {
      call.Respond(FunctionList());
    } else {
      std::string off;
      for (const auto& f : {std::make_pair(volts_, "\"VOLT:DC\""), std::make_pair(amps_, "\"CURR:DC\""),
                            std::make_pair(ohms_, "\"RES\"")}) {
        if (f.first) continue;
        if (!off.empty()) off += ',';
        off += f.second;
      }
      call.Respond(off.empty() ? "\"\"" : off);
    }
    return;
  }
  if (call.Params().empty()) {
    call.Error(-109);
    return;
  }
  std::vector<Function> functions;
  for (const std::string& param : call.Params()) {
    std::string contents;
    if (!Unquote(param, contents)) {
      call.Error(-104);
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
        functions.push_back(kVolts);
      } else if (dc && IsMnemonic(parts[0], "CURRent")) {
        functions.push_back(kAmps);
      } else if (parts.size() == 1 && IsMnemonic(parts[0], "RESistance")) {
        functions.push_back(kOhms);
      } else {
        call.Error(-224);
        return;
      }
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  bool* flags[] = {&volts_, &amps_, &ohms_};
  if (on && !concurrent_) {
    // One function at a time: the last one named wins.
    for (bool* flag : flags) *flag = false;
    *flags[functions.back()] = true;
    return;
  }
  for (const Function f : functions) *flags[f] = on;
}

void SenseSettings::AllFunctions(ScpiCall& call, bool on) {
  if (!call.Command()) return;
  volts_ = on;
  amps_ = on && (concurrent_ || !volts_);
  ohms_ = on && concurrent_;
}

void SenseSettings::Concurrent(ScpiCall& call) {
  call.BooleanSetting(concurrent_);
  if (!concurrent_ && (int{volts_} + amps_ + ohms_) > 1) {
    ohms_ = ohms_ && !amps_ && !volts_;
    volts_ = volts_ && !amps_;  // one function stays on
  }
}

void SenseSettings::Compliance(ScpiCall& call, bool amps) {
  double& setting = amps ? complianceA_ : complianceV_;
  const double limit = amps ? kMaxAmps : kMaxVolts;
  if (call.IsQuery()) {
    call.NumberQuery(setting, -limit, limit, amps ? 105e-6 : 21.0);
    return;
  }
  double value = 0.0;
  if (!call.Number(-limit, limit, amps ? 105e-6 : 21.0, value)) return;
  if (value == 0.0) {
    call.Error(-222);
    return;
  }
  setting = std::fabs(value);
}

double SenseSettings::RangeValue(bool amps) const {
  if (amps) return ampAuto_ ? RangeFor(complianceA_, true) : ampRange_;
  return voltAuto_ ? RangeFor(complianceV_, false) : voltRange_;
}

void SenseSettings::Range(ScpiCall& call, bool amps) {
  if (call.IsQuery()) {
    if (call.NoParams()) call.Respond(RangeField(RangeValue(amps)));
    return;
  }
  const double limit = amps ? kMaxAmps : kMaxVolts;
  double value = 0.0;
  if (!call.Number(-limit, limit, limit, value)) return;
  const double range = RangeFor(value, amps);
  if (range > RangeFor(amps ? complianceA_ : complianceV_, amps)) {
    call.Error(824);  // no measurement range above the compliance's own
    return;
  }
  (amps ? ampRange_ : voltRange_) = range;
  (amps ? ampAuto_ : voltAuto_) = false;
}

void SenseSettings::FilterCount(ScpiCall& call) {
  if (call.IsQuery()) {
    call.NumberQuery(filterCount_, 1, 100, 10);
    return;
  }
  double count = 0.0;
  if (call.Number(1, 100, 10, count)) filterCount_ = std::round(count);
}

void SenseSettings::MeasureOnly(Function function) {
  volts_ = function == kVolts;
  amps_ = function == kAmps;
  ohms_ = function == kOhms;
}

// ---- System -----------------------------------------------------------------

void SystemSettings::Reset() {
  autoZero_ = true;
  display_ = true;
  remoteSense_ = false;
  terminals_ = 0;
}

void SystemSettings::AutoZero(ScpiCall& call) {
  // ONCE zeroes now and leaves auto-zero off.
  if (!call.IsQuery() && call.Params().size() == 1 && IsMnemonic(call.Params()[0], "ONCE")) {
    autoZero_ = false;
    return;
  }
  call.BooleanSetting(autoZero_);
}

void SystemSettings::LineFrequency(ScpiCall& call) {
  if (call.IsQuery()) {
    if (call.NoParams()) call.Respond(Whole(std::lround(lineHz_)));
    return;
  }
  double hz = 0.0;
  if (!call.Number(50, 60, 60, hz)) return;
  if (hz != 50 && hz != 60) {
    call.Error(-224);
  } else {
    lineHz_ = hz;
    lineHzAuto_ = false;  // a frequency set by hand ends the detection
  }
}

// :SYST:BEEP <frequency>, <seconds>: nothing to hear, but the parameters are checked.
void SystemSettings::Beep(ScpiCall& call) {
  const std::vector<std::string>& params = call.Params();
  double number = 0.0;
  if (call.IsQuery()) {
    call.Error(-113);
  } else if (params.size() < 2) {
    call.Error(-109);
  } else if (params.size() > 2) {
    call.Error(-108);
  } else if (!ParseDecimal(params[0], number) || !ParseDecimal(params[1], number)) {
    call.Error(-104);
  }
}

void SystemSettings::Terminator(ScpiCall& call) {
  static const std::vector<const char*> kNames = {"CR", "LF", "CRLF", "LFCR"};
  static const char* const kBytes[] = {"\r", "\n", "\r\n", "\n\r"};
  std::size_t index = 0;
  while (index < kNames.size() && terminator_ != kBytes[index]) ++index;
  call.ChoiceSetting(kNames, kNames, index);
  terminator_ = kBytes[index];
}

// ---- Trigger model ----------------------------------------------------------

void TriggerModel::Count(ScpiCall& call, Layer layer) {
  double& setting = layer == kArm ? armCount_ : triggerCount_;
  if (call.IsQuery()) {
    if (call.NoParams()) call.Respond(Whole(std::lround(setting)));
    return;
  }
  double value = 0.0;
  if (!call.Number(1, kMaxReadings, 1, value)) return;
  value = std::round(value);
  if (value * (layer == kArm ? triggerCount_ : armCount_) > kMaxReadings) {
    call.Error(-221);  // arm count x trigger count is at most 2500
    return;
  }
  setting = value;
}

void TriggerModel::ArmSource(ScpiCall& call) {
  call.ChoiceSetting({"IMMediate", "TIMer", "MANual", "BUS", "TLINk", "NSTest", "PSTest", "BSTest"},
                     {"IMM", "TIM", "MAN", "BUS", "TLIN", "NST", "PST", "BST"}, armSource_);
}

void TriggerModel::ArmTimer(ScpiCall& call) {
  call.NumberSetting(armTimerSeconds_, kMinArmTimerSeconds, kMaxArmTimerSeconds, 0.1);
}

void TriggerModel::Direction(ScpiCall& call, Layer layer) {
  call.ChoiceSetting({"SOURce", "ACCeptor"}, {"SOUR", "ACC"}, layer == kArm ? armDirection_ : triggerDirection_);
}

void TriggerModel::Line(ScpiCall& call, LineName line) {
  double& setting = lines_[line];
  if (call.IsQuery()) {
    if (call.NoParams()) call.Respond(Whole(std::lround(setting)));
    return;
  }
  double value = 0.0;
  if (call.Number(1, 4, 1, value)) setting = std::round(value);
}

void TriggerModel::Events(ScpiCall& call, EventList list) {
  const bool arm = list == kArmOutputEvents;
  const std::vector<const char*> events =
      arm ? std::vector<const char*>{"TENTer", "TEXit"} : std::vector<const char*>{"SOURce", "DELay", "SENSe"};
  const std::vector<const char*> answers =
      arm ? std::vector<const char*>{"TENT", "TEX"} : std::vector<const char*>{"SOUR", "DEL", "SENS"};
  unsigned& setting = events_[list];
  if (call.IsQuery()) {
    if (!call.NoParams()) return;
    std::string names;
    for (std::size_t i = 0; i < answers.size(); ++i) {
      if ((setting & (1u << i)) == 0) continue;
      if (!names.empty()) names += ',';
      names += answers[i];
    }
    call.Respond(names.empty() ? "NONE" : names);
    return;
  }
  const std::vector<std::string>& params = call.Params();
  if (params.empty()) {
    call.Error(-109);
    return;
  }
  unsigned chosen = 0;
  for (const std::string& param : params) {
    if (params.size() == 1 && IsMnemonic(param, "NONE")) break;
    std::size_t i = 0;
    while (i < events.size() && !IsMnemonic(param, events[i])) ++i;
    if (i == events.size()) {
      call.Error(-224);
      return;
    }
    chosen |= 1u << i;
  }
  setting = chosen;
}

void TriggerModel::OneImmediateReading() {
  armSource_ = kArmImmediate;
  triggerSource_ = kTriggerImmediate;
  armCount_ = triggerCount_ = 1;
  triggerDelaySeconds_ = 0.0;
}

bool TriggerModel::WaitsForEvent(bool busTriggered) const {
  const bool armBypassed = armDirection_ == kSource && std::lround(armCount_) == 1;
  const bool armFires =
      armSource_ == kArmImmediate || armSource_ == kArmTimer || (armSource_ == kArmBus && busTriggered);
  const bool triggerBypassed = triggerDirection_ == kSource && std::lround(triggerCount_) == 1;
  const bool triggerFires = triggerSource_ == kTriggerImmediate;
  return !(armFires || armBypassed) || !(triggerFires || triggerBypassed);
}

std::vector<double> TriggerModel::ReadingStarts(double readingSeconds) const {
  const long passes = std::lround(armCount_);
  const long perPass = std::lround(triggerCount_);
  const double passSeconds = static_cast<double>(perPass) * readingSeconds;
  const double passInterval = armSource_ == kArmTimer ? std::max(armTimerSeconds_, passSeconds) : passSeconds;
  std::vector<double> starts;
  starts.reserve(static_cast<std::size_t>(passes * perPass));
  for (long pass = 0; pass < passes; ++pass) {
    for (long i = 0; i < perPass; ++i) {
      starts.push_back(static_cast<double>(pass) * passInterval + static_cast<double>(i) * readingSeconds);
    }
  }
  return starts;
}
