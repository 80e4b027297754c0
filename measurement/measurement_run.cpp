#include "measurement/measurement_run.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "measurement/data_file.h"
#include "measurement/decimal_text.h"
#include "measurement/instrument_link.h"
#include "measurement/instrument_protocol.h"
#include "measurement/port_open_message.h"
#include "measurement/printable_text.h"
#include "measurement/run_record.h"
#include "measurement/run_text.h"
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

namespace {

DataFile g_dataFile;
bool g_portLost = false;
// The record goes beside a regular file only: not into /dev beside a device.
bool g_recordWanted = false;
// RecordNotWritten has been reported and the record not written since.
bool g_recordFailureShown = false;

double Elapsed() { return ProcessClockSeconds() - g_startTime; }

std::string WallClockNow() { return WallClockText(std::chrono::system_clock::now()); }

void WriteRunRecord(RunFrontEnd& frontEnd) {
  if (!g_recordWanted) return;
  std::string error;
  if (ReplaceFileAtomically(RunRecordPath(g_settings.outputPath),
                            RunRecordJson(g_runRecord, g_settings, g_runCounters), error)) {
    g_runRecord.writeError.clear();
    g_recordFailureShown = false;
    return;
  }
  // A warning only: the data file matters more than its record.
  g_runRecord.writeError = error;
  if (!g_recordFailureShown) {
    g_recordFailureShown = true;
    frontEnd.ReportTrouble(SampleTrouble::RecordNotWritten);
  }
}

void Report(RunFrontEnd& frontEnd, SampleTrouble trouble) {
  frontEnd.ReportTrouble(trouble);
  WriteRunRecord(frontEnd);
}

MissReason ReasonFor(ReplyVerdict verdict) {
  switch (verdict) {
    case ReplyVerdict::NoReply: return MissReason::NoReply;
    case ReplyVerdict::Incomplete: return MissReason::Incomplete;
    case ReplyVerdict::Overflow: return MissReason::Overflow;
    default: return MissReason::NoReading;
  }
}

// Logging the previous values again would pass them off as a fresh sample:
// nothing is stored, and the next due tick tries again.
void Miss(RunFrontEnd& frontEnd, MissReason reason) {
  RunCounters& c = g_runCounters;
  ++c.missedSamples;
  ++c.missedByReason[static_cast<int>(reason)];
  c.lastMissReason = reason;
  c.noReplyStreak = reason == MissReason::NoReply ? c.noReplyStreak + 1 : 0;
  frontEnd.ReportTrouble(SampleTrouble::Missed);
  if (c.noReplyStreak == kSilentSampleLimit) frontEnd.ReportTrouble(SampleTrouble::InstrumentSilent);
  WriteRunRecord(frontEnd);
  frontEnd.Redraw();  // the missed count is on the display
}

void MarkPortLost(RunFrontEnd& frontEnd) {
  if (g_portLost) return;
  g_portLost = true;
  // Closed at once: a USB adapter plugged in again gets its old name back only
  // once nobody holds the old one.
  ActiveInstrumentLink().Close();
  ++g_runCounters.portLosses;
  g_runCounters.noReplyStreak = 0;
  g_runRecord.portLosses.push_back(PortLossTimes{Elapsed(), WallClockNow(), -1.0, {}});
  Report(frontEnd, SampleTrouble::PortLost);
}

// The same port with the same settings, settle time and drain. The instrument
// kept its state; the sample that follows sends the voltage again.
bool ReopenPort(RunFrontEnd& frontEnd) {
  if (!ActiveInstrumentLink().Open(g_settings.portPath, nullptr)) return false;
  g_portLost = false;
  if (!g_runRecord.portLosses.empty()) {
    g_runRecord.portLosses.back().backAt = Elapsed();
    g_runRecord.portLosses.back().backAtClock = WallClockNow();
  }
  Report(frontEnd, SampleTrouble::PortBack);
  return true;
}

// ":OUTP OFF\r", then the close that waits for it to leave the port.
bool SendOutputOffAndClose(InstrumentLink& link) {
  bool delivered = SendCommand(kOutputOffCommand) && !link.Lost();
  link.Close();
  return delivered && !link.Lost();
}

}  // namespace

int BeginMeasurement(const MeasurementSettings& accepted, RunFrontEnd& frontEnd) {
  // The accepted values stay, also when a later step fails: the next Setup
  // dialog offers the port that was chosen last.
  g_settings = accepted;

  // Locked before it is emptied: the file of a measurement running elsewhere stays as it is.
  if (!g_dataFile.Create(g_settings.outputPath)) {
    frontEnd.ShowMessage("Can't create file : " + PrintableText(g_settings.outputPath));
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
    g_dataFile.Release();
    frontEnd.ShowMessage(PortOpenFailureMessage(openError, detected));
    return 1;
  }

  g_history.Clear();
  g_runCounters = RunCounters{};
  g_portLost = false;
  g_tickCount = 0;
  g_startTime = ProcessClockSeconds();
  g_runRecord = RunRecord{};
  g_runRecord.startClock = WallClockNow();
  g_runRecord.portPath = g_settings.portPath;
  g_measuring = 1;

  SendCommand(kResetCommand);
  SendCommand(kOutputOnCommand);

  std::error_code ignored;
  g_recordWanted = std::filesystem::is_regular_file(g_settings.outputPath, ignored);
  g_recordFailureShown = false;
  WriteRunRecord(frontEnd);
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
    StopMeasurementRun(frontEnd, RunEndReason::Completed);
    return;
  }
  // An interval below 1 never comes from the checked settings; it takes no sample
  // rather than dividing by zero.
  if (g_settings.sampleInterval < 1 || g_tickCount % g_settings.sampleInterval != 0) return;
  TakeSample(frontEnd);
}

void TakeSample(RunFrontEnd& frontEnd) {
  InstrumentLink& link = ActiveInstrumentLink();
  if (!g_portLost) {
    // Bytes waiting now belong to an earlier reply (too long, or cut by a
    // pause) and would be read as this one's. With nothing waiting this costs
    // one query of the driver and sends nothing.
    const int stale = link.DiscardInput();
    if (link.Lost()) {
      MarkPortLost(frontEnd);
    } else if (stale > 0) {
      ++g_runCounters.staleReplies;
      g_runCounters.staleBytes += stale;
      g_runCounters.lastStaleBytes = stale;
      Report(frontEnd, SampleTrouble::StaleReply);
    }
  }
  if (g_portLost && !ReopenPort(frontEnd)) {
    Miss(frontEnd, MissReason::PortLost);
    return;
  }

  char exchange[kExchangeBufferSize];
  SendCommand(FormatSetVoltageCommand(g_settings.outputVoltage).c_str());
  SendCommand(kReadCommand);
  const int received = ReadResponse(exchange);

  LatestReading reading = g_latestReading;
  const ReplyVerdict verdict = JudgeReply(exchange, received, reading);
  if (link.Lost()) MarkPortLost(frontEnd);
  if (verdict != ReplyVerdict::Reading) {
    // A reply cut short by the line going down is the lost port's doing.
    Miss(frontEnd, g_portLost && verdict != ReplyVerdict::Overflow ? MissReason::PortLost : ReasonFor(verdict));
    return;
  }
  g_runCounters.noReplyStreak = 0;

  reading.aux3 = 0.0;
  reading.aux4 = 0.0;
  // Read after the reply: the time includes the commands' and the reply's latency.
  reading.time = Elapsed();
  g_latestReading = reading;

  const bool logged = g_dataFile.Append(FormatDataLine(reading.time, reading.current));
  g_history.Append(g_latestReading);
  ++g_runCounters.samplesTaken;
  if (!logged) {
    ++g_runCounters.lostLines;
    Report(frontEnd, SampleTrouble::Lost);
  }
  frontEnd.Redraw();
}

bool StopMeasurementRun(RunFrontEnd& frontEnd, RunEndReason reason, int signalNumber) {
  if (g_measuring == 0) return true;
  InstrumentLink& link = ActiveInstrumentLink();
  bool delivered = !g_portLost && SendOutputOffAndClose(link);
  // Once more on the port opened anew: the adapter may be back, or the line
  // went down during the stop itself.
  if (!delivered && link.Open(g_settings.portPath, nullptr)) delivered = SendOutputOffAndClose(link);
  g_measuring = 0;
  g_portLost = false;
  g_dataFile.Release();

  g_runRecord.ended = true;
  g_runRecord.endReason = reason;
  g_runRecord.signalNumber = signalNumber;
  g_runRecord.endAt = Elapsed();
  g_runRecord.endClock = WallClockNow();
  g_runRecord.outputOffDelivered = delivered ? 1 : 0;
  WriteRunRecord(frontEnd);
  if (!delivered) frontEnd.WarnOutputMayBeOn(OutputMayBeOnText());
  return delivered;
}

bool MeasurementPortLost() { return g_measuring != 0 && g_portLost; }

const std::string& MeasurementPortPath() { return g_settings.portPath; }

std::string FormatDataLine(double timeSeconds, double currentAmperes) {
  return FormatFixed(timeSeconds, 2) + "\ts\t" + FormatGeneral(currentAmperes * 1e6) + "\tuA\n";
}
