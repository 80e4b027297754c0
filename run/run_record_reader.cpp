// The run record read back: the writer's keys, in the same file's terms, so
// that a run whose program went away can be continued or closed.
#include <cmath>
#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

#include "run/run_record.h"

namespace {

using Json = nlohmann::json;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

double Number(const Json& j, const char* key, double otherwise) {
  const auto it = j.find(key);
  return it != j.end() && it->is_number() ? it->get<double>() : otherwise;
}

std::string Text(const Json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// {"at": clock, "elapsed_s": seconds} or null.
void ReadTime(const Json& j, double& seconds, std::string& clock) {
  if (!j.is_object()) return;
  seconds = Number(j, "elapsed_s", seconds);
  clock = Text(j, "at");
}

const char* const kMissReasonKeys[kMissReasonCount] = {
    "no_reply",   "no_voltage_and_current", "incomplete_reply", "overflow",
    "port_lost",  "garbled_reply",          "line_error",       "late",
    "interrupted"};

bool ReadSettings(const Json& s, MeasurementSettings& settings) {
  if (!s.is_object()) return false;
  settings.portNumber = static_cast<int>(Number(s, "port_number", 1));
  settings.portPath = Text(s, "port_device");
  const long long intervalMs = std::llround(Number(s, "sample_interval_s", 0) * 1000.0);
  // A whole number of seconds goes on the tick, anything else on a grid of its own.
  if (intervalMs % 1000 == 0) {
    settings.sampleInterval = static_cast<int>(intervalMs / 1000);
    settings.sampleIntervalMs = 0;
  } else {
    settings.sampleInterval = 0;
    settings.sampleIntervalMs = static_cast<int>(intervalMs);
  }
  settings.measurementTime = static_cast<int>(Number(s, "measurement_time_s", 0));
  settings.outputVoltage = Number(s, "output_voltage_V", 0.0);
  settings.outputPath = Text(s, "output_file");
  InstrumentSettings& instrument = settings.instrument;
  instrument.currentLimit = Number(s, "current_limit_A", instrument.currentLimit);
  instrument.currentRange = Number(s, "current_range_A", 0.0);  // "auto" is no number
  instrument.nplc = Number(s, "nplc", instrument.nplc);
  const std::string autoZero = Text(s, "autozero");
  instrument.autoZero = autoZero == "off" ? AutoZero::Off : autoZero == "once" ? AutoZero::Once : AutoZero::On;
  instrument.baud = static_cast<int>(Number(s, "baud", instrument.baud));
  const std::string parity = Text(s, "parity");
  if (!parity.empty()) {
    instrument.lineFormat.parity = parity == "even" ? Parity::Even : parity == "odd" ? Parity::Odd : Parity::None;
    instrument.lineFormat.dataBits = static_cast<int>(Number(s, "data_bits", 8));
  }
  const auto connection = s.find("connection");
  if (connection != s.end() && connection->is_object()) {
    settings.gpibAddress = static_cast<int>(Number(*connection, "gpib_address", -1));
  }
  const auto schedule = s.find("schedule");
  if (schedule != s.end() && schedule->is_object()) {
    BiasSchedule& bias = settings.bias;
    const auto steps = schedule->find("steps");
    if (steps != schedule->end() && steps->is_array()) {
      for (const Json& step : *steps) {
        bias.steps.push_back(BiasStep{Number(step, "voltage_V", 0.0),
                                      static_cast<std::int64_t>(std::llround(Number(step, "duration_s", 0) * 1000))});
      }
    }
    bias.repeat = static_cast<int>(Number(*schedule, "repeat", 1));
    bias.rampVoltsPerSecond = Number(*schedule, "ramp_V_per_s", 0.0);
  }
  return !settings.outputPath.empty() && settings.measurementTime > 0 && intervalMs > 0;
}

void ReadLists(const Json& j, RunRecord& record, RunCounters& counters) {
  const auto losses = j.find("port_losses");
  if (losses != j.end() && losses->is_array()) {
    for (const Json& loss : *losses) {
      PortLossTimes times;
      ReadTime(loss.value("lost", Json()), times.lostAt, times.lostAtClock);
      ReadTime(loss.value("back", Json()), times.backAt, times.backAtClock);
      record.portLosses.push_back(times);
    }
  }
  counters.portLosses = static_cast<int>(record.portLosses.size());
  const Json compliance = j.value("compliance", Json::object());
  counters.samplesInCompliance = static_cast<int>(Number(compliance, "samples", 0));
  const auto streaks = compliance.find("streaks");
  if (streaks != compliance.end() && streaks->is_array()) {
    for (const Json& s : *streaks) {
      const Json first = s.value("first", Json::object());
      const Json last = s.value("last", Json::object());
      record.complianceStreaks.push_back(ComplianceStreak{
          static_cast<int>(Number(first, "sample", 0)), Number(first, "elapsed_s", 0), Text(first, "at"),
          static_cast<int>(Number(last, "sample", 0)), Number(last, "elapsed_s", 0), Text(last, "at")});
    }
  }
  counters.complianceStreaks = static_cast<int>(record.complianceStreaks.size());
  const auto changes = j.find("step_changes");
  if (changes != j.end() && changes->is_array()) {
    for (const Json& c : *changes) {
      record.stepChanges.push_back(StepChange{static_cast<int>(Number(c, "sample", 0)), Number(c, "elapsed_s", 0),
                                              Text(c, "at"), static_cast<int>(Number(c, "step", 1)) - 1,
                                              static_cast<int>(Number(c, "pass", 1)) - 1, Number(c, "voltage_V", 0)});
    }
  }
  const auto resumes = j.find("resumes");
  if (resumes != j.end() && resumes->is_array()) {
    for (const Json& r : *resumes) {
      record.resumes.push_back(ResumeEntry{Text(r, "at"), Number(r, "elapsed_s", 0),
                                           static_cast<int>(Number(r, "missed", 0)),
                                           static_cast<long long>(Number(r, "torn_bytes_cut", 0))});
    }
  }
  record.tornLinesCut = static_cast<int>(Number(j, "torn_lines_cut", 0));
}

}  // namespace

bool ParseWallClock(const std::string& text, std::chrono::system_clock::time_point& when) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0, zoneHours = 0, zoneMinutes = 0;
  char sign = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d:%2d%n", &year, &month, &day, &hour, &minute, &second,
                  &millis, &sign, &zoneHours, &zoneMinutes, &used) != 10 ||
      used != static_cast<int>(text.size()) || (sign != '+' && sign != '-') || month < 1 || month > 12 || day < 1 ||
      day > 31) {
    return false;
  }
  const long long offset = (sign == '-' ? -1 : 1) * (zoneHours * 3600LL + zoneMinutes * 60LL);
  const long long seconds = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400LL +
                            hour * 3600LL + minute * 60LL + second - offset;
  when = std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
      std::chrono::milliseconds(seconds * 1000 + millis)));
  return true;
}

bool ReadRunRecord(const std::string& text, ResumePlan& plan, std::string& problem) {
  const Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    problem = "it is not JSON";
    return false;
  }
  if (Text(j, "program") != "ivra" || !j.contains("running")) {
    problem = "it is not the record of an Ivra run";
    return false;
  }
  RunRecord& record = plan.record;
  record = RunRecord{};
  record.startClock = Text(j, "start");
  if (!ParseWallClock(record.startClock, plan.start)) {
    problem = "its start time is missing or unreadable";
    return false;
  }
  if (!ReadSettings(j.value("settings", Json()), plan.settings)) {
    problem = "its settings are incomplete";
    return false;
  }
  record.portPath = plan.settings.portPath;
  const Json process = j.value("process", Json::object());
  record.pid = static_cast<int>(Number(process, "pid", 0));
  record.host = Text(process, "host");
  record.bootId = Text(process, "boot_id");
  record.plannedEndClock = Text(j.value("planned_end", Json::object()), "at");
  record.ended = !(j["running"].is_boolean() && j["running"].get<bool>());
  const std::string reason = Text(j, "end_reason");
  record.endInterrupted = reason == "interrupted";
  record.endReason = reason == "stopped_by_user" ? RunEndReason::StoppedByUser
                     : reason == "window_closed" ? RunEndReason::WindowClosed
                     : reason == "signal"        ? RunEndReason::Signal
                                                 : RunEndReason::Completed;
  ReadTime(j.value("end", Json()), record.endAt, record.endClock);
  const auto off = j.find("output_off_delivered");
  record.outputOffDelivered = off != j.end() && off->is_boolean() ? (off->get<bool>() ? 1 : 0) : -1;
  record.recoveredClock = Text(j, "recovered");
  const Json ramp = j.value("ramp_down", Json());
  if (ramp.is_object()) {
    record.rampDownAt = Number(ramp, "elapsed_s", -1);
    record.rampDownAtClock = Text(ramp, "at");
    record.rampDownFrom = Number(ramp, "from_V", 0);
  }

  RunCounters& c = plan.counters;
  c = RunCounters{};
  const Json samples = j.value("samples", Json::object());
  c.lostLines = static_cast<int>(Number(samples, "lost", 0));
  c.samplesTaken = static_cast<int>(Number(samples, "written", 0)) + c.lostLines;
  c.missedSamples = static_cast<int>(Number(samples, "missed", 0));
  const Json byReason = samples.value("missed_by_reason", Json::object());
  for (int i = 0; i < kMissReasonCount; ++i)
    c.missedByReason[i] = static_cast<int>(Number(byReason, kMissReasonKeys[i], 0));
  const Json stale = j.value("stale_replies", Json::object());
  c.staleReplies = static_cast<int>(Number(stale, "count", 0));
  c.staleBytes = static_cast<long long>(Number(stale, "bytes", 0));
  ReadLists(j, record, c);
  return true;
}

std::string InterruptedRecordJson(const std::string& text, double endAt, const std::string& endClock,
                                  const std::string& recoveredClock, bool outputOff, long long writtenLines,
                                  std::string& problem) {
  nlohmann::ordered_json j = nlohmann::ordered_json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains("program") || j["program"] != "ivra") {
    problem = "it is not the record of an Ivra run";
    return {};
  }
  // A run that ended by itself keeps its end; only the output's state and the recovery are new.
  if (!(j.contains("running") && j["running"] == false)) {
    j["running"] = false;
    j["end"] = endAt < 0 ? nlohmann::ordered_json() : nlohmann::ordered_json{{"at", endClock}, {"elapsed_s", endAt}};
    j["end_reason"] = "interrupted";
    // The file holds what was written; the record may not have counted the last lines yet.
    if (writtenLines >= 0 && j.contains("samples") && j["samples"].is_object()) {
      nlohmann::ordered_json& samples = j["samples"];
      const long long lost = samples.value("lost", 0LL);
      const long long missed = samples.value("missed", 0LL);
      samples["written"] = writtenLines;
      samples["due"] = writtenLines + lost + missed;
    }
  }
  j["recovered"] = recoveredClock;
  j["output_off_delivered"] = outputOff;
  return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
