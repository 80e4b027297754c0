// What the measurement run shows on a terminal: Start failures and warnings on
// stderr, and, when stderr is a terminal, one status line redrawn in place.
#pragma once

#include <string>

#include "measurement/measurement_run.h"

class TerminalFrontEnd final : public RunFrontEnd {
 public:
  explicit TerminalFrontEnd(bool liveStatus) : live_(liveStatus) {}

  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble) override;
  void WarnOutputMayBeOn(const std::string& text) override;

  // Whether the stop warned that the instrument's output may still be on.
  bool OutputMayBeOn() const { return outputMayBeOn_; }

  // Redraws the status line (once per tick, so the elapsed time moves on).
  void ShowStatus();
  // After the stop: leaves the final status line standing, ended by a newline.
  void Finish();

 private:
  void ClearStatus();
  void WriteLine(const std::string& text);

  bool live_;
  bool statusShown_ = false;
  bool outputMayBeOn_ = false;
};

// The status line: elapsed / total time, samples taken / expected, latest
// current, missed and lost counts and a progress bar, cut to `width` columns.
std::string FormatStatusLine(double elapsedSeconds, int width);
