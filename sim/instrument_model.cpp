#include "sim/instrument_model.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kDiodeSaturationA = 1e-12;
constexpr double kDiodeIdeality = 1.5;
constexpr double kThermalVolts = 0.025852;  // kT/q at 300 K

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// A SCPI header node is accepted in its short or its long form, in any case.
bool ShortNode(const std::string& node, std::string& shortForm) {
  static const char* const kForms[][2] = {
      {"OUTP", "OUTPUT"}, {"SOUR", "SOURCE"},     {"VOLT", "VOLTAGE"}, {"SENS", "SENSE"},
      {"CURR", "CURRENT"}, {"PROT", "PROTECTION"}, {"SYST", "SYSTEM"},  {"ERR", "ERROR"},
      {"READ", "READ"}};
  const std::string upper = Upper(node);
  for (const auto& form : kForms) {
    if (upper == form[0] || upper == form[1]) {
      shortForm = form[0];
      return true;
    }
  }
  return false;
}

// ":sour:voltage" -> ":SOUR:VOLT"; empty when a node is unknown.
std::string CanonicalHeader(const std::string& header) {
  std::string rest = header;
  if (!rest.empty() && rest[0] == ':') rest.erase(0, 1);
  if (rest.empty()) return std::string();
  std::string canonical;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = rest.find(':', start);
    const std::string node = rest.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    std::string shortForm;
    if (!ShortNode(node, shortForm)) return std::string();
    canonical += ':' + shortForm;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return canonical;
}

bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end != text.c_str() && *end == '\0' && std::isfinite(value);
}

std::string Field(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.6E", value);
  return text;
}

ModelAnswer Reply(const std::string& text, int delayMs = 0) {
  ModelAnswer answer;
  answer.text = text + '\r';
  answer.delayMs = delayMs;
  return answer;
}

}  // namespace

InstrumentModel::InstrumentModel(const SimOptions& options) : options_(options), random_(options.seed) {
  Reset();
}

void InstrumentModel::Reset() {
  outputOn_ = false;
  sourceVolts_ = 0.0;
  complianceA_ = kDefaultComplianceA;
  errors_.clear();
}

double InstrumentModel::DeviceCurrent(double volts) const {
  if (options_.diode) {
    return kDiodeSaturationA * std::expm1(volts / (kDiodeIdeality * kThermalVolts));
  }
  return volts / options_.ohms;
}

std::string InstrumentModel::FormatReading(double nowSeconds) {
  double current = DeviceCurrent(sourceVolts_);
  if (options_.noise > 0.0) current += options_.noise * gaussian_(random_);
  int status = kStatusVoltsSourceCurrentMeasure;
  if (!(std::fabs(current) < complianceA_)) {  // also catches an infinite diode current
    current = std::copysign(complianceA_, current);
    status += kStatusInCompliance;
  }
  return Field(sourceVolts_) + ',' + Field(current) + ',' + Field(9.91e37) + ',' + Field(nowSeconds) +
         ',' + Field(status) + '\r';
}

void InstrumentModel::QueueError(int code, const char* message) {
  char text[128];
  std::snprintf(text, sizeof text, "%+d,\"%s\"", code, message);
  if (errors_.size() >= kErrorQueueSize) {
    // A full queue keeps its oldest entries; the last one reports the overflow.
    errors_.back() = "-350,\"Queue overflow\"";
    return;
  }
  errors_.push_back(text);
}

std::string InstrumentModel::PopError() {
  if (errors_.empty()) return "0,\"No error\"";
  std::string first = errors_.front();
  errors_.pop_front();
  return first;
}

ModelAnswer InstrumentModel::Read(double nowSeconds) {
  ++readRequests_;
  const int delay = kMeasureDelayMs + std::max(0, options_.slowReplyMs);
  if (options_.hangUpAfterReads >= 0 && readRequests_ > options_.hangUpAfterReads) {
    // The line drops in the middle of the reply.
    const std::string full = FormatReading(nowSeconds);
    ModelAnswer answer;
    answer.text = full.substr(0, full.size() / 2);
    answer.delayMs = delay;
    answer.hangUp = true;
    return answer;
  }
  if (!outputOn_) {
    QueueError(803, "Not permitted with OUTPUT off");
    return ModelAnswer{};
  }
  if (options_.silent) return ModelAnswer{};
  if (options_.garbage) return Reply("@#LINE NOISE#@ !?", delay);
  if (options_.oneNumber) return Reply(Field(sourceVolts_), delay);
  std::string reading = FormatReading(nowSeconds);
  if (options_.longReply) {
    // Two readings in one reply, as from a trigger count of 2: 140 bytes.
    reading.back() = ',';
    reading += FormatReading(nowSeconds);
  }
  ModelAnswer answer;
  answer.text = reading;
  answer.delayMs = delay;
  if (options_.splitReplyAfter >= 0) answer.pauseAfter = static_cast<std::size_t>(options_.splitReplyAfter);
  return answer;
}

ModelAnswer InstrumentModel::Execute(const std::string& line, double nowSeconds) {
  const std::string command = Trim(line);
  if (command.empty()) return ModelAnswer{};

  const std::size_t blank = command.find_first_of(" \t");
  std::string header = command.substr(0, blank);
  const std::string argument = blank == std::string::npos ? std::string() : Trim(command.substr(blank));
  const bool query = !header.empty() && header.back() == '?';
  if (query) header.pop_back();

  const std::string upper = Upper(header);
  if (upper == "*RST" && !query) {
    Reset();
    return ModelAnswer{};
  }
  if (upper == "*IDN" && query) return Reply(kIdentification);
  if (upper == "*CLS" && !query) {
    errors_.clear();
    return ModelAnswer{};
  }

  const std::string canonical = CanonicalHeader(header);
  const bool known = canonical == ":OUTP" || canonical == ":SOUR:VOLT" ||
                     canonical == ":SENS:CURR:PROT" || (canonical == ":SYST:ERR" && query) ||
                     (canonical == ":READ" && query);
  if (!known) {
    QueueError(-113, "Undefined header");
    return ModelAnswer{};
  }
  if (query && !argument.empty()) {
    QueueError(-108, "Parameter not allowed");
    return ModelAnswer{};
  }

  if (canonical == ":READ") return Read(nowSeconds);
  if (canonical == ":SYST:ERR") return Reply(PopError());

  if (canonical == ":OUTP") {
    if (query) return Reply(outputOn_ ? "1" : "0");
    const std::string value = Upper(argument);
    if (value.empty()) {
      QueueError(-109, "Missing parameter");
    } else if (value == "ON" || value == "1") {
      outputOn_ = true;
    } else if (value == "OFF" || value == "0") {
      outputOn_ = false;
    } else {
      QueueError(-224, "Illegal parameter value");
    }
    return ModelAnswer{};
  }

  // :SOUR:VOLT and :SENS:CURR:PROT: a number, or a query of it.
  const bool volts = canonical == ":SOUR:VOLT";
  if (query) return Reply(Field(volts ? sourceVolts_ : complianceA_));
  double value = 0.0;
  if (argument.empty()) {
    QueueError(-109, "Missing parameter");
  } else if (!ParseNumber(argument, value)) {
    QueueError(-104, "Data type error");
  } else if (volts ? std::fabs(value) > kMaxSourceVolts : (value <= 0.0 || value > kMaxComplianceA)) {
    QueueError(-222, "Data out of range");
  } else if (volts) {
    sourceVolts_ = value;
  } else {
    complianceA_ = value;
  }
  return ModelAnswer{};
}
