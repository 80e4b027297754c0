#include "run/run_record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

#include "connection/connection_address.h"
#include "run/run_record_platform.h"

#ifndef IVRA_VERSION
#define IVRA_VERSION "unknown"
#endif

namespace {

const char* EndReasonKey(RunEndReason reason) {
  switch (reason) {
    case RunEndReason::Completed: return "completed";
    case RunEndReason::StoppedByUser: return "stopped_by_user";
    case RunEndReason::WindowClosed: return "window_closed";
    case RunEndReason::Signal: return "signal";
  }
  return "unknown";
}

const char* MissReasonKey(MissReason reason) {
  switch (reason) {
    case MissReason::NoReply: return "no_reply";
    case MissReason::NoReading: return "no_voltage_and_current";
    case MissReason::Incomplete: return "incomplete_reply";
    case MissReason::Overflow: return "overflow";
    case MissReason::PortLost: return "port_lost";
    case MissReason::Garbled: return "garbled_reply";
    case MissReason::LineError: return "line_error";
    case MissReason::Late: return "late";
    case MissReason::Interrupted: return "interrupted";
  }
  return "unknown";
}

nlohmann::json TimeOrNull(double seconds, const std::string& clock) {
  return seconds < 0 ? nlohmann::json(nullptr) : nlohmann::json{{"at", clock}, {"elapsed_s", seconds}};
}

}  // namespace

std::string SignalName(int signalNumber) {
  switch (signalNumber) {
    case 1: return "SIGHUP";
    case 2: return "SIGINT";
    case 15: return "SIGTERM";
    default: return "signal " + std::to_string(signalNumber);
  }
}

std::string RunRecordPath(const std::string& outputPath) { return outputPath + ".run.json"; }

std::string WallClockText(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(sinceEpoch / 1000);
  long long millis = sinceEpoch % 1000;
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  long offset = 0;
  const std::tm local = LocalTimeWithOffset(seconds, offset);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  std::snprintf(text + length, sizeof text - length, ".%03lld%c%02ld:%02ld", millis, offset < 0 ? '-' : '+',
                minutes / 60, minutes % 60);
  return text;
}

std::string RunRecordJson(const RunRecord& record, const MeasurementSettings& settings, const RunCounters& counters) {
  nlohmann::ordered_json missedByReason = nlohmann::ordered_json::object();
  const bool onGrid = SamplesOnGrid(settings);
  for (int i = 0; i < kMissReasonCount; ++i) {
    // Only a grid can be late: a record on the tick stays as it was.
    if (!onGrid && static_cast<MissReason>(i) == MissReason::Late) continue;
    // Only a resumed run has been interrupted: a run that never was keeps its record.
    if (record.resumes.empty() && static_cast<MissReason>(i) == MissReason::Interrupted) continue;
    missedByReason[MissReasonKey(static_cast<MissReason>(i))] = counters.missedByReason[i];
  }
  nlohmann::ordered_json losses = nlohmann::ordered_json::array();
  for (const PortLossTimes& loss : record.portLosses) {
    losses.push_back(
        {{"lost", TimeOrNull(loss.lostAt, loss.lostAtClock)}, {"back", TimeOrNull(loss.backAt, loss.backAtClock)}});
  }
  nlohmann::ordered_json j;
  j["program"] = "ivra";
  j["version"] = IVRA_VERSION;
  j["start"] = record.startClock;
  // Enough to find the run again after its program went away, and to tell whether it is still going.
  j["process"] = {{"pid", record.pid}, {"host", record.host}, {"boot_id", record.bootId}};
  j["planned_end"] = {{"at", record.plannedEndClock}, {"elapsed_s", settings.measurementTime}};
  j["settings"] = {{"port_number", settings.portNumber},
                   {"port_device", record.portPath},
                   {"sample_interval_s", settings.sampleInterval},
                   {"measurement_time_s", settings.measurementTime},
                   {"output_voltage_V", settings.outputVoltage},
                   {"output_file", settings.outputPath},
                   {"current_limit_A", settings.instrument.currentLimit},
                   {"current_range_A", settings.instrument.currentRange == 0.0
                                           ? nlohmann::ordered_json("auto")
                                           : nlohmann::ordered_json(settings.instrument.currentRange)},
                   {"nplc", settings.instrument.nplc},
                   {"autozero", settings.instrument.autoZero == AutoZero::On     ? "on"
                                : settings.instrument.autoZero == AutoZero::Once ? "once"
                                                                                 : "off"},
                   {"baud", settings.instrument.baud}};
  // A connection other than a serial port on RS-232 is named; a record of the
  // plain kind stays as it was.
  const char* kind = ConnectionKindWord(record.portPath, settings.gpibAddress);
  if (std::string(kind) != "serial") {
    j["settings"]["connection"] = {{"kind", kind}, {"address", record.portPath}};
    if (IsGpibAddress(settings.gpibAddress)) j["settings"]["connection"]["gpib_address"] = settings.gpibAddress;
  }
  // Only a bench that chose parity has the line format in its record: a record at the factory format stays as it was.
  const LineFormat& format = settings.instrument.lineFormat;
  if (format != LineFormat()) {
    j["settings"]["parity"] = format.parity == Parity::Even ? "even" : format.parity == Parity::Odd ? "odd" : "none";
    j["settings"]["data_bits"] = format.dataBits;
  }
  if (onGrid) j["settings"]["sample_interval_s"] = settings.sampleIntervalMs / 1000.0;
  // A run without steps and without a ramp has the record it always had.
  const BiasSchedule& bias = settings.bias;
  if (bias.Any()) {
    nlohmann::ordered_json steps = nlohmann::ordered_json::array();
    for (const BiasStep& step : bias.steps) {
      steps.push_back({{"voltage_V", step.volts}, {"duration_s", step.durationMs / 1000.0}});
    }
    j["settings"]["schedule"] = {
        {"steps", steps},
        {"repeat", bias.repeat},
        {"ramp_V_per_s", bias.HasRamp() ? nlohmann::ordered_json(bias.rampVoltsPerSecond) : nlohmann::ordered_json()}};
  }
  j["running"] = !record.ended;
  j["end"] = record.ended ? TimeOrNull(record.endAt, record.endClock) : nlohmann::json(nullptr);
  j["end_reason"] = !record.ended           ? nlohmann::json(nullptr)
                    : record.endInterrupted ? nlohmann::json("interrupted")
                                            : nlohmann::json(EndReasonKey(record.endReason));
  if (!record.recoveredClock.empty()) j["recovered"] = record.recoveredClock;
  if (!record.resumes.empty()) {
    nlohmann::ordered_json resumes = nlohmann::ordered_json::array();
    for (const ResumeEntry& resume : record.resumes) {
      resumes.push_back({{"at", resume.atClock},
                         {"elapsed_s", resume.at},
                         {"missed", resume.missed},
                         {"torn_bytes_cut", resume.tornBytesCut}});
    }
    j["resumes"] = resumes;
    j["torn_lines_cut"] = record.tornLinesCut;
  }
  if (record.ended && record.endReason == RunEndReason::Signal) j["signal"] = SignalName(record.signalNumber);
  j["samples"] = {{"due", counters.samplesTaken + counters.missedSamples},
                  {"written", counters.samplesTaken - counters.lostLines},
                  {"missed", counters.missedSamples},
                  {"missed_by_reason", missedByReason},
                  {"lost", counters.lostLines}};
  j["port_losses"] = losses;
  j["stale_replies"] = {{"count", counters.staleReplies}, {"bytes", counters.staleBytes}};
  nlohmann::ordered_json streaks = nlohmann::ordered_json::array();
  for (const ComplianceStreak& streak : record.complianceStreaks) {
    streaks.push_back(
        {{"first", {{"sample", streak.firstSample}, {"at", streak.firstAtClock}, {"elapsed_s", streak.firstAt}}},
         {"last", {{"sample", streak.lastSample}, {"at", streak.lastAtClock}, {"elapsed_s", streak.lastAt}}}});
  }
  j["compliance"] = {{"samples", counters.samplesInCompliance}, {"streaks", streaks}};
  if (bias.Any()) {
    nlohmann::ordered_json changes = nlohmann::ordered_json::array();
    for (const StepChange& change : record.stepChanges) {
      changes.push_back({{"sample", change.sample},
                         {"at", change.atClock},
                         {"elapsed_s", change.at},
                         {"step", change.step + 1},
                         {"pass", change.pass + 1},
                         {"voltage_V", change.volts}});
    }
    j["step_changes"] = changes;
    j["ramp_down"] = record.rampDownAt < 0 ? nlohmann::ordered_json()
                                           : nlohmann::ordered_json{{"at", record.rampDownAtClock},
                                                                    {"elapsed_s", record.rampDownAt},
                                                                    {"from_V", record.rampDownFrom}};
  }
  j["output_off_delivered"] =
      record.outputOffDelivered < 0 ? nlohmann::json(nullptr) : nlohmann::json(record.outputOffDelivered == 1);
  // Paths need not be valid UTF-8: replace what is not rather than refuse to write.
  return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool ReplaceFileAtomically(const std::string& path, const std::string& text, std::string& error) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  if (!written) error = std::strerror(errno);
  // On disk before the rename: after a power cut the old record or the new one is there.
  written = written && SyncFileToDisk(file);
  if (std::fclose(file) != 0 && written) {
    error = std::strerror(errno);
    written = false;
  }
  std::error_code failure;
  if (written) {
    if (MoveIntoPlace(temporary, path, error)) return true;
  } else if (error.empty()) {
    error = std::strerror(errno);
  }
  std::filesystem::remove(temporary, failure);
  return false;
}
