#include "app/run/terminal_front_end.h"

#include <cstdio>
#include <cstring>

#include "app/run/terminal_width.h"
#include "measurement/decimal_text.h"
#include "measurement/run_text.h"
#include "measurement/sample_history.h"
#include "serial/process_clock.h"

namespace {

std::string ClockText(long long seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

}  // namespace

std::string FormatStatusLine(double elapsedSeconds, int width) {
  const int interval = g_settings.sampleInterval < 1 ? 1 : g_settings.sampleInterval;
  const int expected = g_settings.measurementTime / interval;
  const int taken = g_runCounters.samplesTaken;
  const std::string current = taken > 0 ? FormatGeneral(g_latestReading.current) + " A" : "-";

  const double total = g_settings.measurementTime;
  double shown = elapsedSeconds < 0 ? 0 : elapsedSeconds;
  if (shown > total) shown = total;  // the stop tick comes a second after the time
  const double fraction = total > 0 ? shown / total : 1.0;

  std::string line = ClockText(static_cast<long long>(shown)) + "/" +
                     ClockText(g_settings.measurementTime) + "  " + std::to_string(taken) + "/" +
                     std::to_string(expected) + " samples  I " + current + "  missed " +
                     std::to_string(g_runCounters.missedSamples) + "  lost " +
                     std::to_string(g_runCounters.lostLines) + (MeasurementPortLost() ? "  PORT LOST" : "");
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

void TerminalFrontEnd::ReportTrouble(SampleTrouble trouble) {
  // The loss was told once; a line per second while the port is away would
  // bury everything else over a long run. The counts and the summary keep them.
  if (trouble == SampleTrouble::Missed && g_runCounters.lastMissReason == MissReason::PortLost) return;
  // The port coming back is news, not a warning.
  const char* prefix = trouble == SampleTrouble::PortBack ? "ivra-run: " : "ivra-run: warning: ";
  WriteLine(prefix + TroubleText(trouble));
}

void TerminalFrontEnd::WarnOutputMayBeOn(const std::string& text) {
  outputMayBeOn_ = true;
  WriteLine("ivra-run: " + text);
}

void TerminalFrontEnd::ShowStatus() {
  if (!live_ || g_measuring == 0) return;
  const double elapsed = ProcessClockSeconds() - g_startTime;
  std::fprintf(stderr, "\r%s\x1b[K", FormatStatusLine(elapsed, TerminalWidth()).c_str());
  std::fflush(stderr);
  statusShown_ = true;
}

void TerminalFrontEnd::Finish() {
  if (!live_) return;
  const double elapsed = ProcessClockSeconds() - g_startTime;
  std::fprintf(stderr, "\r%s\x1b[K\n", FormatStatusLine(elapsed, TerminalWidth()).c_str());
  std::fflush(stderr);
  statusShown_ = false;
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
  ShowStatus();
}
