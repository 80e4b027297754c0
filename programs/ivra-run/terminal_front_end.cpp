#include "programs/ivra-run/terminal_front_end.h"

#include <cstdio>
#include <cstring>

#include "decimal/decimal_text.h"
#include "programs/ivra-run/terminal_width.h"
#include "text/run_text.h"

namespace {

constexpr std::int64_t kStatusPeriodMs = 250;

// With steps or a ramp: the voltage set, the step in force, and the way down.
std::string BiasStatus(const RunSnapshot& run) {
  const BiasSchedule& bias = run.settings.bias;
  if (!bias.Any()) return {};
  std::string text = "  set " + FormatGeneral(run.setVoltage) + " V";
  if (run.stepInForce && !run.rampingDown) {
    text += "  step " + std::to_string(run.step.step + 1) + "/" + std::to_string(bias.steps.size());
    if (bias.repeat > 1) text += " pass " + std::to_string(run.step.pass + 1) + "/" + std::to_string(bias.repeat);
  }
  if (run.rampingDown) text += "  RAMPING DOWN to 0 V";
  return text;
}

}  // namespace

std::string FormatStatusLine(const RunSnapshot& run, double elapsedSeconds, int width) {
  const MeasurementSettings& settings = run.settings;
  const long long interval = IntervalMs(settings) < 1 ? 1000 : IntervalMs(settings);
  const long long expected = settings.measurementTime * 1000LL / interval;
  const int taken = run.counters.samplesTaken;
  const std::string current = taken > 0 ? FormatGeneral(run.latest.current) + " A" : "-";

  const double total = settings.measurementTime;
  double shown = elapsedSeconds < 0 ? 0 : elapsedSeconds;
  if (shown > total) shown = total;  // the stop tick comes a second after the time
  const double fraction = total > 0 ? shown / total : 1.0;

  std::string line = FormatClock(shown) + "/" + FormatClock(total) + "  " + std::to_string(taken) + "/" +
                     std::to_string(expected) + " samples  I " + current + "  missed " +
                     std::to_string(run.counters.missedSamples) + "  lost " + std::to_string(run.counters.lostLines) +
                     (run.state == RunState::PortLost ? "  PORT LOST" : "") + BiasStatus(run);
  char percent[8];
  std::snprintf(percent, sizeof percent, " %3d%%", static_cast<int>(fraction * 100));
  // A line wider than the terminal would wrap, and "\r" could no longer redraw
  // it: the bar takes what room is left, and the line is cut if need be.
  constexpr int kMaxBarWidth = 20;
  const int room = width - 1 - static_cast<int>(line.size() + 4 + std::strlen(percent));
  const int barWidth = room < kMaxBarWidth ? room : kMaxBarWidth;
  if (barWidth >= 5) {
    const int filled = static_cast<int>(fraction * barWidth);
    line += "  [" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]" + percent;
  }
  if (width > 1 && static_cast<int>(line.size()) >= width) line.resize(width - 1);
  return line;
}

void TerminalFrontEnd::ShowMessage(const std::string& text) { WriteLine("ivra-run: " + text); }

void TerminalFrontEnd::Redraw() { ShowStatus(); }

void TerminalFrontEnd::ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) {
  // The loss was told once; a line per second while the port is away would
  // bury everything else over a long run. The counts and the summary keep them.
  if (trouble == SampleTrouble::Missed && snapshot->counters.lastMissReason == MissReason::PortLost) return;
  // The port coming back is news, not a warning.
  const char* prefix = trouble == SampleTrouble::PortBack ? "ivra-run: " : "ivra-run: warning: ";
  WriteLine(prefix + TroubleText(trouble, *snapshot));
}

void TerminalFrontEnd::WarnOutputMayBeOn(const std::string& text) {
  outputMayBeOn_ = true;
  WriteLine("ivra-run: " + text);
}

void TerminalFrontEnd::Tick() {
  inTick_ = true;
  drawnInTick_ = false;
  run_.Tick(*this);
  inTick_ = false;
  if (!drawnInTick_ || !statusShown_) ShowStatus();
}

void TerminalFrontEnd::Finish() {
  if (!live_) return;
  std::fprintf(stderr, "\r%s\x1b[K\n", FormatStatusLine(*run_.Snapshot(), ElapsedSeconds(), TerminalWidth()).c_str());
  std::fflush(stderr);
  statusShown_ = false;
}

double TerminalFrontEnd::ElapsedSeconds() { return run_.RunClock().NowSeconds() - run_.StartTime(); }

void TerminalFrontEnd::ShowStatus() {
  if (!live_) return;
  const SnapshotPtr snapshot = run_.Snapshot();
  if (!snapshot || !snapshot->Measuring()) return;
  // At tens of samples a second the line changes about four times a second: readable, and cheap.
  const std::int64_t now = run_.RunClock().NowMs();
  if (run_.OnGrid() && now - lastStatusMs_ < kStatusPeriodMs) return;
  lastStatusMs_ = now;
  std::fprintf(stderr, "\r%s\x1b[K", FormatStatusLine(*snapshot, ElapsedSeconds(), TerminalWidth()).c_str());
  std::fflush(stderr);
  statusShown_ = true;
  drawnInTick_ = true;
}

void TerminalFrontEnd::ClearStatus() {
  if (!statusShown_) return;
  std::fputs("\r\x1b[K", stderr);
  statusShown_ = false;
}

void TerminalFrontEnd::WriteLine(const std::string& text) {
  ClearStatus();
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  // Within a tick the sample's redraw, or the tick's end, puts the line back.
  if (!inTick_) ShowStatus();
}
