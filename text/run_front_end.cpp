#include "text/run_front_end.h"

#include "text/file_messages.h"
#include "text/port_open_message.h"
#include "text/run_text.h"
#include "text/setting_checks.h"

std::string StartFailureText(const StartFailure& failure) {
  switch (failure.kind) {
    case StartFailure::Kind::FileNotCreated: return FileCreateFailureMessage(failure.outputPath, failure.fileError);
    case StartFailure::Kind::PortNotOpened: return PortOpenFailureMessage(failure.portError, failure.detectedPorts);
    case StartFailure::Kind::SettingsNotTaken:
      return SettingsNotTakenText(failure.settingsReply, failure.portPath, failure.baud, failure.lineFormat);
    case StartFailure::Kind::IntervalTooShort:
      // The run knows its own settings; the failure carries what the instrument said.
      return "The instrument on " + failure.portPath + " runs on " + std::to_string(failure.lineHz) +
             " Hz mains, and the time between samples is too short for its settings. " +
             LeastIntervalProblem(failure.intervalMs, failure.instrument, failure.lineHz, failure.inDialog)
                 .value_or(std::string());
  }
  return std::string();
}

void RunFrontEnd::ShowStartFailure(const StartFailure& failure) {
  StartFailure told = failure;
  told.inDialog = HasDialogs();
  intervalRefused_ = failure.kind == StartFailure::Kind::IntervalTooShort;
  ShowMessage(StartFailureText(told));
}

void RunFrontEnd::ReportOutputMayBeOn(const std::string& portPath) { WarnOutputMayBeOn(OutputMayBeOnText(portPath)); }
