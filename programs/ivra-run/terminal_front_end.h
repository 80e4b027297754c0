// What the measurement run shows on a terminal: Start failures and warnings on
// stderr, and, when stderr is a terminal, one status line redrawn in place.
#pragma once

#include <cstdint>
#include <string>

#include "run/measurement_run.h"
#include "text/run_front_end.h"

class TerminalFrontEnd final : public RunFrontEnd {
 public:
  // Shows `run`, whose clock times the status line.
  TerminalFrontEnd(MeasurementRun& run, bool liveStatus) : run_(run), live_(liveStatus) {}

  void ShowMessage(const std::string& text) override;
  void Redraw() override;
  void ReportTrouble(SampleTrouble trouble, const SnapshotPtr& snapshot) override;
  void WarnOutputMayBeOn(const std::string& text) override;
  bool HasDialogs() const override { return false; }

  // Whether the stop warned that the instrument's output may still be on.
  bool OutputMayBeOn() const { return outputMayBeOn_; }

  // One timer tick of the run. The status line is drawn once: by the redraw
  // of a sample, or after a tick without one, so that the elapsed time moves on.
  void Tick();
  // After the stop: leaves the final status line standing, ended by a newline.
  void Finish();

 private:
  double ElapsedSeconds();
  void ShowStatus();
  void ClearStatus();
  void WriteLine(const std::string& text);

  MeasurementRun& run_;
  bool live_;
  bool statusShown_ = false;
  bool inTick_ = false;
  bool drawnInTick_ = false;
  bool outputMayBeOn_ = false;
  std::int64_t lastStatusMs_ = -1000000;  // on the run's clock
};

// The status line: elapsed / total time, samples taken / expected, latest
// current, missed and lost counts and a progress bar, cut to `width` columns.
std::string FormatStatusLine(const RunSnapshot& run, double elapsedSeconds, int width);
