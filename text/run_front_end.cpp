#include "text/run_front_end.h"

#include "text/file_messages.h"
#include "text/port_open_message.h"
#include "text/run_text.h"

std::string StartFailureText(const StartFailure& failure) {
  switch (failure.kind) {
    case StartFailure::Kind::FileNotCreated: return FileCreateFailureMessage(failure.outputPath, failure.fileError);
    case StartFailure::Kind::PortNotOpened: return PortOpenFailureMessage(failure.portError, failure.detectedPorts);
    case StartFailure::Kind::SettingsNotTaken:
      return SettingsNotTakenText(failure.settingsReply, failure.portPath, failure.baud, failure.lineFormat);
  }
  return std::string();
}

void RunFrontEnd::ShowStartFailure(const StartFailure& failure) { ShowMessage(StartFailureText(failure)); }

void RunFrontEnd::ReportOutputMayBeOn(const std::string& portPath) { WarnOutputMayBeOn(OutputMayBeOnText(portPath)); }
