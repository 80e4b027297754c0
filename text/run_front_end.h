// A front end that shows a run to people: it takes what the run reports as
// facts (RunObserver) and hands on the sentences that say them, so that the
// desktop view, the command-line runner and their tests deal in words only.
#pragma once

#include <string>

#include "run/run_observer.h"

class RunFrontEnd : public RunObserver {
 public:
  // A Start failure the user must read: "Can't create file : <path>" or
  // "Can't open serial port", each followed by lines that say why and what to
  // do. Shown modally by the desktop program.
  virtual void ShowMessage(const std::string& text) = 0;
  // `text` says that the instrument's output may still be on and what to do.
  // The user must see it even when the program is about to end.
  virtual void WarnOutputMayBeOn(const std::string& text) = 0;

  void ShowStartFailure(const StartFailure& failure) final;
  // Whether the user changes settings in dialogs (the window) or in options (ivra-run).
  virtual bool HasDialogs() const { return true; }
  // The last Start failed on an interval shorter than the settings can carry.
  bool IntervalRefused() const { return intervalRefused_; }

 private:
  bool intervalRefused_ = false;
  void ReportOutputMayBeOn(const std::string& portPath) final;
};

// The whole message of a failed Start.
std::string StartFailureText(const StartFailure& failure);
