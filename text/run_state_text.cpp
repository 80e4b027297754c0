#include "text/run_state_text.h"

#include <filesystem>

#include "text/printable_text.h"
#include "text/run_text.h"

namespace {

std::string EndWord(const RunSnapshot& run) {
  if (run.endedWithPortLost) return "Stopped: port lost";
  return run.endReason == RunEndReason::Completed ? "Completed" : "Stopped";
}

std::string Written(const RunSnapshot& run) {
  const MeasurementSettings& settings = run.settings;
  const int due = settings.measurementTime / (settings.sampleInterval < 1 ? 1 : settings.sampleInterval);
  return std::to_string(run.counters.samplesTaken - run.counters.lostLines) + " of " + std::to_string(due) +
         " samples written, " + OutputFileName(settings.outputPath);
}

}  // namespace

std::string OutputFileName(const std::string& outputPath) {
  return PrintableText(std::filesystem::u8path(outputPath).filename().u8string());
}

std::string RunStateText(const RunSnapshot& run, bool simulated) {
  const double total = run.settings.measurementTime;
  // The stop comes on the tick after the measurement time: the clock stops at it.
  const double elapsed = run.elapsedSeconds < total ? run.elapsedSeconds : total;
  std::string text;
  switch (run.state) {
    case RunState::Idle: return {};
    case RunState::Running:
    case RunState::PortLost:
      text = std::string(run.state == RunState::PortLost ? "Measuring, port lost: " : "Measuring: ") +
             FormatClock(elapsed) + " elapsed, " + FormatClock(total - elapsed) + " left, " + Written(run);
      break;
    case RunState::Ended:
      text = EndWord(run) + " after " + FormatClock(run.elapsedSeconds) + ": " + Written(run);
      break;
  }
  return simulated ? text + ", simulated instrument" : text;
}

std::string RunEndText(const RunSnapshot& run) { return EndWord(run) + ": " + RunSummaryLine(run); }
