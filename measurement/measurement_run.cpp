#include "measurement/measurement_run.h"

#include "measurement/data_file.h"
#include "measurement/decimal_text.h"
#include "measurement/instrument_link.h"
#include "measurement/instrument_protocol.h"
#include "measurement/port_open_message.h"
#include "measurement/sample_history.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"
#include "serial/process_clock.h"
#include "serial/serial_link.h"

MeasurementSettings g_settings;
int g_measuring = 0;
int g_tickCount = 0;
double g_startTime = 0.0;
RunCounters g_runCounters;

std::string SettingsDevicePath(const MeasurementSettings& settings) {
  return settings.portPath.empty() ? PortDevicePath(settings.portNumber) : settings.portPath;
}

int BeginMeasurement(const MeasurementSettings& accepted, RunFrontEnd& frontEnd) {
  // The accepted values stay, also when a later step fails: the next Setup
  // dialog offers the port that was chosen last.
  g_settings = accepted;

  if (!CreateEmptyDataFile(g_settings.outputPath)) {
    frontEnd.ShowMessage("Can't create file : " + g_settings.outputPath);
    return 1;
  }
  const std::string devicePath = SettingsDevicePath(g_settings);
  // Kept also when the open fails, like the other accepted values: the next
  // Setup preselects it, and a reopen of a lost port goes to the same device.
  g_settings.portPath = devicePath;
  PortOpenError openError;
  if (!ActiveInstrumentLink().Open(devicePath, &openError)) {
    openError.path = devicePath;
    std::vector<SerialPortInfo> detected;
    if (openError.problem == PortOpenProblem::NoSuchDevice) detected = ListSerialPorts();
    frontEnd.ShowMessage(PortOpenFailureMessage(openError, detected));
    return 1;
  }

  g_history.Clear();
  g_runCounters = RunCounters{};
  g_tickCount = 0;
  g_startTime = ProcessClockSeconds();
  g_measuring = 1;

  SendCommand(kResetCommand);
  SendCommand(kOutputOnCommand);
  frontEnd.Redraw();
  return 0;
}

void MeasurementTick(RunFrontEnd& frontEnd) {
  if (g_measuring == 0) {
    g_tickCount = 0;
    return;
  }
  ++g_tickCount;
  if (g_tickCount > g_settings.measurementTime) {
    StopMeasurementRun();
    return;
  }
  // An interval below 1 never comes from the checked settings; it takes no sample
  // rather than dividing by zero.
  if (g_settings.sampleInterval < 1 || g_tickCount % g_settings.sampleInterval != 0) return;
  TakeSample(frontEnd);
}

void TakeSample(RunFrontEnd& frontEnd) {
  char exchange[kExchangeBufferSize];

  SendCommand(FormatSetVoltageCommand(g_settings.outputVoltage).c_str());
  SendCommand(kReadCommand);
  ReadResponse(exchange);

  LatestReading reading = g_latestReading;
  if (!ParseReading(FilterReply(exchange), reading)) {
    // No reading: logging the previous values again would pass them off as a
    // fresh sample. Nothing is stored; the next due tick tries again.
    ++g_runCounters.missedSamples;
    frontEnd.ReportTrouble(SampleTrouble::Missed);
    frontEnd.Redraw();  // the missed count is on the display
    return;
  }

  reading.aux3 = 0.0;
  reading.aux4 = 0.0;
  // Read after the reply: the time includes the commands' and the reply's latency.
  reading.time = ProcessClockSeconds() - g_startTime;
  g_latestReading = reading;

  const bool logged = AppendDataLine(g_settings.outputPath,
                                     FormatDataLine(reading.time, reading.current));
  g_history.Append(g_latestReading);
  ++g_runCounters.samplesTaken;
  if (!logged) {
    ++g_runCounters.lostLines;
    frontEnd.ReportTrouble(SampleTrouble::Lost);
  }
  frontEnd.Redraw();
}

void StopMeasurementRun() {
  if (g_measuring == 0) return;
  SendCommand(kOutputOffCommand);
  ActiveInstrumentLink().Close();  // waits until the command has left the port
  g_measuring = 0;
}

std::string FormatDataLine(double timeSeconds, double currentAmperes) {
  return FormatFixed(timeSeconds, 2) + "\ts\t" + FormatGeneral(currentAmperes * 1e6) + "\tuA\n";
}
