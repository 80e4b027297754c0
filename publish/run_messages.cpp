#include "publish/run_messages.h"

#include <nlohmann/json.hpp>

#include "connection/connection_address.h"
#include "decimal/decimal_text.h"
#include "run/run_record.h"

namespace {

// JSON's shortest text that reads back as the same double, whatever the locale.
std::string NumberText(double value) { return nlohmann::json(value).dump(); }

// Seconds as the data file writes them: two decimals, three on a grid below a second.
double LoggedSeconds(double seconds, const MeasurementSettings& settings) {
  double logged = 0.0;
  std::size_t pos = 0;
  ParseDecimal(FormatFixed(seconds, SamplesOnGrid(settings) ? 3 : 2), pos, logged);
  return logged;
}

// Whole seconds stay the integer they always were; below a second, seconds with their decimals.
nlohmann::ordered_json IntervalValue(const MeasurementSettings& settings) {
  if (!SamplesOnGrid(settings)) return settings.sampleInterval;
  return IntervalMs(settings) / 1000.0;
}

// Line protocol: a tag value escapes commas, equals signs and spaces.
std::string TagValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == ',' || c == '=' || c == ' ' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped.empty() ? "unnamed" : escaped;
}

const char* AutoZeroWord(AutoZero autoZero) {
  switch (autoZero) {
    case AutoZero::Once: return "once";
    case AutoZero::Off: return "off";
    case AutoZero::On: break;
  }
  return "on";
}

}  // namespace

ReadingMessage ReadingOf(const RunSnapshot& snapshot, std::chrono::system_clock::time_point when) {
  ReadingMessage reading;
  reading.sample = snapshot.counters.samplesTaken;
  reading.elapsedSeconds = LoggedSeconds(snapshot.latest.time, snapshot.settings);  // the same number as the file line
  reading.wallClock = WallClockText(when);
  reading.epochNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
  reading.current = snapshot.latest.current;
  reading.voltage = snapshot.latest.voltage;
  reading.compliance = snapshot.latest.inCompliance;
  reading.hasSetVoltage = snapshot.settings.bias.Any();
  reading.setVoltage = snapshot.setVoltage;
  return reading;
}

std::string ReadingJson(const ReadingMessage& reading) {
  nlohmann::ordered_json json;
  json["sample"] = reading.sample;
  json["elapsed"] = reading.elapsedSeconds;
  json["time"] = reading.wallClock;
  json["current"] = reading.current;
  json["voltage"] = reading.voltage;
  json["compliance"] = reading.compliance;
  if (reading.hasSetVoltage) json["set_voltage"] = reading.setVoltage;
  return json.dump();
}

std::string ReadingLineProtocol(const ReadingMessage& reading, const std::string& bench) {
  return "ivra,bench=" + TagValue(bench) + " current=" + NumberText(reading.current) +
         ",voltage=" + NumberText(reading.voltage) +
         (reading.hasSetVoltage ? ",set_voltage=" + NumberText(reading.setVoltage) : std::string()) +
         ",elapsed=" + NumberText(reading.elapsedSeconds) + ",sample=" + std::to_string(reading.sample) +
         "i,compliance=" + (reading.compliance ? "true" : "false") + " " + std::to_string(reading.epochNanoseconds);
}

std::string RunStateWord(const RunSnapshot& snapshot) {
  switch (snapshot.state) {
    case RunState::Idle: return "idle";
    case RunState::Running: return "running";
    case RunState::PortLost: return "port lost";
    case RunState::Ended: break;
  }
  return snapshot.endReason == RunEndReason::Completed ? "completed" : "stopped";
}

std::string StatusJson(const RunSnapshot& snapshot, const std::string& state, const std::string& bench,
                       const PublishCounts& counts) {
  const RunCounters& c = snapshot.counters;
  const MeasurementSettings& s = snapshot.settings;
  nlohmann::ordered_json json;
  json["state"] = state;
  json["bench"] = bench;
  json["elapsed"] = LoggedSeconds(snapshot.elapsedSeconds, s);
  json["counters"] = {{"samplesTaken", c.samplesTaken},
                      {"missedSamples", c.missedSamples},
                      {"lostLines", c.lostLines},
                      {"staleReplies", c.staleReplies},
                      {"portLosses", c.portLosses},
                      {"samplesInCompliance", c.samplesInCompliance},
                      {"readingsPublished", counts.readingsPublished},
                      {"readingsDropped", counts.readingsDropped}};
  json["settings"] = {{"port", s.portPath},
                      {"sampleInterval", IntervalValue(s)},
                      {"measurementTime", s.measurementTime},
                      {"outputVoltage", s.outputVoltage},
                      {"output", s.outputPath},
                      {"currentLimit", s.instrument.currentLimit},
                      {"currentRange", s.instrument.currentRange},
                      {"nplc", s.instrument.nplc},
                      {"autoZero", AutoZeroWord(s.instrument.autoZero)},
                      {"baud", s.instrument.baud},
                      {"connection", ConnectionKindWord(s.portPath, s.gpibAddress)}};
  if (IsGpibAddress(s.gpibAddress)) json["settings"]["gpibAddress"] = s.gpibAddress;
  if (!snapshot.recordWriteError.empty()) json["recordWriteError"] = snapshot.recordWriteError;
  // Steps and a ramp: where the schedule stands. A run without either keeps its status as it was.
  if (s.bias.Any()) {
    json["setVoltage"] = snapshot.setVoltage;
    json["rampingDown"] = snapshot.rampingDown;
    if (s.bias.HasSteps()) {
      json["step"] = snapshot.stepInForce ? nlohmann::ordered_json{{"number", snapshot.step.step + 1},
                                                                   {"of", s.bias.steps.size()},
                                                                   {"pass", snapshot.step.pass + 1},
                                                                   {"passes", s.bias.repeat},
                                                                   {"voltage", snapshot.step.volts}}
                                          : nlohmann::ordered_json();
    }
  }
  return json.dump();
}
