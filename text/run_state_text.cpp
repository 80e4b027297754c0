#include "text/run_state_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "text/printable_text.h"
#include "text/run_text.h"
#include "text/setting_checks.h"

namespace {

// Whole seconds tick; below a second the grid's slots up to the measurement time.
long long DueSamples(const MeasurementSettings& settings) {
  return settings.measurementTime * 1000LL / std::max(1, IntervalMs(settings));
}

std::string EndWord(const RunSnapshot& run) {
  if (run.endedWithPortLost) return "Stopped: port lost";
  return run.endReason == RunEndReason::Completed ? "Completed" : "Stopped";
}

std::string InCompliance(const RunSnapshot& run) {
  const int held = run.counters.samplesInCompliance;
  return held > 0 ? ", " + std::to_string(held) + " in compliance" : std::string();
}

// After the end the count keeps how many readings were held at the limit.
std::string Written(const RunSnapshot& run, bool ended = false) {
  const MeasurementSettings& settings = run.settings;
  const long long due = DueSamples(settings);
  return std::to_string(run.counters.samplesTaken - run.counters.lostLines) + " of " + std::to_string(due) +
         " samples written" + (ended ? InCompliance(run) : std::string()) + ", " + OutputFileName(settings.outputPath);
}

// A number of seconds or volts as the user typed it: no trailing zeros.
std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string SamplesWord(int count) { return std::to_string(count) + (count == 1 ? " sample" : " samples"); }

// The count and the time still to go, for a pane that leads with a trouble:
// the caption names the file.
std::string Progress(const RunSnapshot& run, double left) {
  const MeasurementSettings& settings = run.settings;
  const long long due = DueSamples(settings);
  return std::to_string(run.counters.samplesTaken - run.counters.lostLines) + " of " + std::to_string(due) +
         " samples written, " + FormatClock(left) + " left";
}

void AddCount(std::string& text, long long count, const std::string& words) {
  if (count == 0) return;
  if (!text.empty()) text += "  ";
  text += words + std::to_string(count);
}

std::string FileProblemWords(FileCreateProblem problem) {
  switch (problem) {
    case FileCreateProblem::EmptyName: return "no file name was given";
    case FileCreateProblem::IsDirectory: return "it is a folder";
    case FileCreateProblem::NoSuchFolder: return "its folder does not exist";
    case FileCreateProblem::PermissionDenied: return "no permission to write there";
    case FileCreateProblem::ReadOnlyFileSystem: return "the drive is read-only";
    case FileCreateProblem::InUse: return "a running measurement writes it";
    case FileCreateProblem::None:
    case FileCreateProblem::Other: break;
  }
  return "the system refused it";
}

std::string PortProblemWords(PortOpenProblem problem) {
  switch (problem) {
    case PortOpenProblem::NoSuchDevice: return "no such port";
    case PortOpenProblem::PermissionDenied: return "no permission to open it";
    case PortOpenProblem::Busy: return "another program holds it";
    case PortOpenProblem::NotATerminal: return "not a serial port";
    case PortOpenProblem::HostNotFound: return "the host is unknown";
    case PortOpenProblem::Refused: return "the host refused the connection";
    case PortOpenProblem::TimedOut: return "the host did not answer";
    case PortOpenProblem::NoController: return "no GPIB controller answered";
    case PortOpenProblem::None:
    case PortOpenProblem::Other: break;
  }
  return "the system refused it";
}

}  // namespace

std::string OutputFileName(const std::string& outputPath) {
  return PrintableText(std::filesystem::u8path(outputPath).filename().u8string());
}

std::string RunStateText(const RunSnapshot& run, bool simulated, const ComplianceLead& streak) {
  const double total = run.settings.measurementTime;
  // The stop comes on the tick after the measurement time: the clock stops at it.
  const double elapsed = run.elapsedSeconds < total ? run.elapsedSeconds : total;
  std::string text;
  switch (run.state) {
    case RunState::Idle: return {};
    case RunState::Running:
      text = "Measuring: " + FormatClock(elapsed) + " elapsed, " + FormatClock(total - elapsed) + " left, " +
             (run.stepInForce ? StepInForceText(run) + ", " : std::string()) + Written(run);
      // Led by what is wrong, so a glance at the pane's start tells it.
      if (run.latest.inCompliance && streak.samples > 0) {
        text = "In compliance since " + FormatClock(streak.sinceSeconds) + " (" + SamplesWord(streak.samples) +
               "): raise the current limit in Setup > Instrument... " + Progress(run, total - elapsed);
      }
      // After a Stop the clock no longer matters: how far down the output is does.
      if (run.rampingDown) text = RampDownText(run) + ", " + Written(run);
      break;
    case RunState::PortLost:
      text = "Measuring, port lost: trying " + PrintableText(run.settings.portPath) + " at every sample; " +
             Progress(run, total - elapsed);
      break;
    case RunState::Ended:
      text = EndWord(run) + " after " + FormatClock(run.elapsedSeconds) + ": " + Written(run, true);
      break;
  }
  return simulated ? text + ", simulated instrument" : text;
}

std::string StartFailedStateText(const StartFailure& failure) {
  switch (failure.kind) {
    case StartFailure::Kind::FileNotCreated: {
      std::string name = OutputFileName(failure.outputPath);
      if (name.empty()) name = PrintableText(failure.outputPath);
      return "Start failed: can't create " + name + ", " + FileProblemWords(failure.fileError.problem);
    }
    case StartFailure::Kind::PortNotOpened:
      return "Start failed: can't open serial port " + PrintableText(failure.portError.path) + ", " +
             PortProblemWords(failure.portError.problem);
    case StartFailure::Kind::SettingsNotTaken:
      if (!failure.settingsReply.answered) {
        return "Start failed: no answer from the instrument on " + PrintableText(failure.portPath) +
               " after its settings";
      }
      return "Start failed: the instrument on " + PrintableText(failure.portPath) + " refused a setting (error " +
             std::to_string(failure.settingsReply.number) + ")";
    case StartFailure::Kind::IntervalTooShort:
      return "Start failed: the time between samples is shorter than a reading takes";
  }
  return "Start failed";
}

std::string RunActivityText(const RunSnapshot& run) {
  const MeasurementSettings& settings = run.settings;
  // With steps the voltages are the schedule's; the state pane follows the step in force.
  const std::string where = settings.bias.HasSteps() ? ", " + ScheduleSummary(settings.bias) + ","
                                                     : " at " + Number(settings.outputVoltage) + " V";
  return "Sampling every " + IntervalText(IntervalMs(settings)) + " s" + where + " on " +
         PrintableText(settings.portPath);
}

std::string TroubleCountsText(const RunSnapshot& run) {
  const RunCounters& c = run.counters;
  // A silent instrument's advice is long, but it is what to do next.
  if (run.state != RunState::PortLost && c.noReplyStreak >= kSilentSampleLimit) return StatusPaneText(run);
  std::string text;
  AddCount(text, c.missedSamples, "Missed samples: ");
  AddCount(text, c.lostLines, "Lost lines: ");
  AddCount(text, c.staleReplies, "Stale replies: ");
  // While the port is away the state pane says so.
  if (run.state != RunState::PortLost) AddCount(text, c.portLosses, "Port losses: ");
  if (!text.empty() || (run.Measuring() && run.latest.inCompliance)) return text;
  return RunActivityText(run);
}

std::string RunEndText(const RunSnapshot& run) {
  const RunCounters& c = run.counters;
  std::string text = EndWord(run) + ": " + std::to_string(c.samplesTaken - c.lostLines) +
                     (c.samplesTaken - c.lostLines == 1 ? " sample" : " samples") + " written";
  std::string troubles;
  if (c.missedSamples > 0) {
    std::string reasons;
    for (int i = 0; i < kMissReasonCount; ++i) {
      if (c.missedByReason[i] == 0) continue;
      reasons += (reasons.empty() ? " (" : ", ") + std::to_string(c.missedByReason[i]) + " " +
                 MissReasonText(static_cast<MissReason>(i));
    }
    troubles = ", " + std::to_string(c.missedSamples) + " missed" + (reasons.empty() ? reasons : reasons + ")");
  }
  if (c.lostLines > 0) troubles += ", " + std::to_string(c.lostLines) + " lost";
  if (c.portLosses > 0)
    troubles += ", " + std::to_string(c.portLosses) + (c.portLosses == 1 ? " port loss" : " port losses");
  if (c.staleReplies > 0) {
    troubles += ", " + std::to_string(c.staleReplies) + (c.staleReplies == 1 ? " stale reply" : " stale replies") +
                " discarded";
  }
  return text + (troubles.empty() ? std::string(", nothing missed") : troubles);
}

std::string CloseQuestionText(const RunSnapshot& run) {
  const int written = run.counters.samplesTaken - run.counters.lostLines;
  return "A measurement is running (" + SamplesWord(written) + " written to " + PrintableText(run.settings.outputPath) +
         "). Stop it and close the window?";
}

std::string StepInForceText(const RunSnapshot& run) {
  const BiasSchedule& schedule = run.settings.bias;
  if (!run.stepInForce || !schedule.HasSteps()) return {};
  const int step = std::clamp(run.step.step, 0, static_cast<int>(schedule.steps.size()) - 1);
  std::int64_t passMs = 0;
  for (const BiasStep& each : schedule.steps) passMs += each.durationMs;
  std::int64_t endMs = static_cast<std::int64_t>(run.step.pass) * passMs;
  for (int i = 0; i <= step; ++i) endMs += schedule.steps[static_cast<std::size_t>(i)].durationMs;
  const double left = std::max(0.0, static_cast<double>(endMs) / 1000.0 - run.elapsedSeconds);
  std::string text = "step " + std::to_string(step + 1) + " of " + std::to_string(schedule.steps.size()) + " (" +
                     Number(run.step.volts) + " V), " + FormatClock(std::ceil(left)) + " left in it";
  if (schedule.repeat > 1) {
    text += ", pass " + std::to_string(run.step.pass + 1) + " of " + std::to_string(schedule.repeat);
  }
  return text;
}

std::string RampDownText(const RunSnapshot& run) { return "Ramping down to 0 V: " + Number(run.setVoltage) + " V now"; }
