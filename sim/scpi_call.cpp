#include "sim/scpi_call.h"

#include <cmath>
#include <cstdio>

namespace {

// Event status register bits.
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

std::string sourcemeter::Field(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.6E", value);
  return text;
}

// ---- Error queue ------------------------------------------------------------

void ErrorQueue::Push(int code) {
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
  if (entries_.size() >= kSize) {
    entries_.back() = "-350,\"Queue overflow\"";
    codes_.back() = -350;
    return;
  }
  entries_.push_back(text);
  codes_.push_back(code);
}

std::string ErrorQueue::Pop() {
  if (entries_.empty()) return "0,\"No error\"";
  std::string first = entries_.front();
  entries_.pop_front();
  codes_.pop_front();
  return first;
}

std::string ErrorQueue::Take(bool all, bool codesOnly) {
  std::string reply;
  do {
    const int code = codes_.empty() ? 0 : codes_.front();
    const std::string entry = Pop();
    if (!reply.empty()) reply += ',';
    reply += codesOnly ? sourcemeter::Whole(code) : entry;
  } while (all && !entries_.empty());
  return reply;
}

void ErrorQueue::Clear() {
  entries_.clear();
  codes_.clear();
}

void ErrorQueue::ClearStatus() {
  Clear();
  eventStatus_ = 0;
}

void ErrorQueue::OperationComplete() { eventStatus_ |= kOperationComplete; }

int ErrorQueue::TakeEventStatus() {
  const int status = eventStatus_;
  eventStatus_ = 0;
  return status;
}

int ErrorQueue::StatusByte() const {
  int status = entries_.empty() ? 0 : 4;
  if ((eventStatus_ & eventEnable_) != 0) status |= 32;
  if ((status & serviceEnable_) != 0) status |= 64;
  return status;
}

// ---- Parameters -------------------------------------------------------------

bool ScpiCall::NoParams() {
  if (unit_.params.empty()) return true;
  Error(-108);
  return false;
}

bool ScpiCall::OneParam() {
  if (unit_.params.empty()) {
    Error(-109);
    return false;
  }
  if (unit_.params.size() > 1) {
    Error(-108);
    return false;
  }
  return true;
}

bool ScpiCall::Number(double low, double high, double byDefault, double& value) {
  if (!OneParam()) return false;
  const std::string& text = unit_.params[0];
  if (IsMnemonic(text, "MINimum")) {
    value = low;
  } else if (IsMnemonic(text, "MAXimum")) {
    value = high;
  } else if (IsMnemonic(text, "DEFault")) {
    value = byDefault;
  } else if (!ParseDecimal(text, value)) {
    Error(-104);
    return false;
  } else if (value < low || value > high) {
    Error(-222);
    return false;
  }
  return true;
}

bool ScpiCall::Boolean(bool& value) {
  if (!OneParam()) return false;
  const std::string& text = unit_.params[0];
  double number = 0.0;
  if (IsMnemonic(text, "ON")) {
    value = true;
  } else if (IsMnemonic(text, "OFF")) {
    value = false;
  } else if (ParseDecimal(text, number)) {
    value = std::lround(number) != 0;
  } else {
    Error(-224);
    return false;
  }
  return true;
}

bool ScpiCall::Choice(const std::vector<const char*>& choices, std::size_t& index) {
  if (!OneParam()) return false;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (IsMnemonic(unit_.params[0], choices[i])) {
      index = i;
      return true;
    }
  }
  Error(-224);
  return false;
}

bool ScpiCall::Query() {
  if (unit_.query) return NoParams();
  Error(-113);
  return false;
}

bool ScpiCall::Command() {
  if (!unit_.query) return NoParams();
  Error(-113);
  return false;
}

void ScpiCall::BooleanSetting(bool& setting) {
  if (unit_.query) {
    if (NoParams()) Respond(setting ? "1" : "0");
    return;
  }
  bool value = false;
  if (Boolean(value)) setting = value;
}

void ScpiCall::NumberQuery(double value, double low, double high, double byDefault) {
  using sourcemeter::Field;
  // ":SOUR:VOLT? MAX" asks for the limit instead of the setting.
  if (unit_.params.size() == 1 && IsMnemonic(unit_.params[0], "MINimum")) {
    Respond(Field(low));
  } else if (unit_.params.size() == 1 && IsMnemonic(unit_.params[0], "MAXimum")) {
    Respond(Field(high));
  } else if (unit_.params.size() == 1 && IsMnemonic(unit_.params[0], "DEFault")) {
    Respond(Field(byDefault));
  } else if (NoParams()) {
    Respond(Field(value));
  }
}

void ScpiCall::NumberSetting(double& setting, double low, double high, double byDefault) {
  if (unit_.query) {
    NumberQuery(setting, low, high, byDefault);
    return;
  }
  double value = 0.0;
  if (Number(low, high, byDefault, value)) setting = value;
}

void ScpiCall::ChoiceSetting(const std::vector<const char*>& choices, const std::vector<const char*>& answers,
                             std::size_t& setting) {
  if (unit_.query) {
    if (NoParams()) Respond(answers[setting]);
    return;
  }
  std::size_t index = 0;
  if (Choice(choices, index)) setting = index;
}
