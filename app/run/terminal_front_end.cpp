#include "app/run/terminal_front_end.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "measurement/decimal_text.h"
#include "measurement/sample_history.h"
#include "serial/process_clock.h"

namespace {

std::string ClockText(long long seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::string FormatStatusLine(double elapsedSeconds, int width) {
  const int interval = g_settings.sampleInterval < 1 ? 1 : g_settings.sampleInterval;
  const int expected = g_settings.measurementTime / interval;
  const int taken = g_runCounters.samplesTaken;
  const std::string current =
      taken > 0 ? FormatGeneral(g_latestReading.current) + " A" : std::string("-");

  const double total = g_settings.measurementTime;
  double fraction = total > 0 ? elapsedSeconds / total : 1.0;
  if (fraction < 0) fraction = 0;
  if (fraction > 1) fraction = 1;
  constexpr int kBarWidth = 20;
  const int filled = static_cast<int>(fraction * kBarWidth);
  const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '.');

  std::string line = ClockText(static_cast<long long>(elapsedSeconds)) + "/" +
                     ClockText(g_settings.measurementTime) + "  samples " + std::to_string(taken) +
                     "/" + std::to_string(expected) + "  I " + current + "  missed " +
                     std::to_string(g_runCounters.missedSamples) + "  lost " +
                     std::to_string(g_runCounters.lostLines) + "  [" + bar + "] " +
                     std::to_string(static_cast<int>(fraction * 100)) + "%";
  // A line wider than the terminal would wrap, and "\r" could no longer redraw it.
  if (width > 1 && static_cast<int>(line.size()) >= width) line.resize(width - 1);
  return line;
}

void TerminalFrontEnd::ShowMessage(const std::string& text) { WriteLine("ivra-run: " + text); }

void TerminalFrontEnd::Redraw() { ShowStatus(); }

void TerminalFrontEnd::ReportTrouble(SampleTrouble trouble) {
  char text[512];
  if (trouble == SampleTrouble::Missed) {
    std::snprintf(text, sizeof text,
                  "ivra-run: warning: no reading at tick %d: the reply held no voltage and current "
                  "(%d missed so far)",
                  g_tickCount, g_runCounters.missedSamples);
  } else {
    std::snprintf(text, sizeof text,
                  "ivra-run: warning: sample at %s s could not be written to %s (%d lost so far)",
                  FormatFixed(g_latestReading.time, 2).c_str(), g_settings.outputPath.c_str(),
                  g_runCounters.lostLines);
  }
  WriteLine(text);
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
