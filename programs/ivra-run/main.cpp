// ivra-run: one measurement from the command line, with the settings, ranges
// and messages of the Setup dialog, driven by a one-second tick on the
// monotonic clock. A signal stops the run with the instrument's output off.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "connection/connection_address.h"
#include "datafile/existing_output.h"
#include "process/stop_request.h"
#include "programs/common/publish_options.h"
#include "programs/common/reading_outputs.h"
#include "programs/common/simulator_start.h"
#include "programs/common/stop_signals.h"
#include "programs/ivra-run/run_options.h"
#include "programs/ivra-run/run_ticks.h"
#include "programs/ivra-run/terminal_front_end.h"
#include "run/measurement_run.h"
#include "run/run_record.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"
#include "text/file_messages.h"
#include "text/port_open_message.h"
#include "text/run_text.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitStartFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSamplesMissing = 3;
constexpr int kExitOutputMayBeOn = 4;
constexpr int kExitInCompliance = 5;

int ExitCodeForSignal(int signalNumber) { return 128 + signalNumber; }

}  // namespace

int main(int argc, char** argv) {
  PortTable ports;
  // The publishing options first; the run's own parser reads what is left.
  std::vector<std::string> args(argv, argv + argc);
  PublishOptions publishing;
  const std::string publishError = ExtractPublishOptions(args, true, publishing);
  std::vector<const char*> runArgv;
  for (const std::string& arg : args) runArgv.push_back(arg.c_str());
  const ParsedRunOptions parsed = ParseRunOptions(static_cast<int>(runArgv.size()), runArgv.data(), ports);
  if (parsed.options.help) {
    std::fputs((RunUsage() + "\nReadings beyond the data file:\n" + PublishUsage(true)).c_str(), stdout);
    return kExitDone;
  }
  if (parsed.options.version) {
    std::puts("ivra-run " IVRA_VERSION "\nLicence: MIT");
    return kExitDone;
  }
  if (parsed.options.listPorts) {
    for (const SerialPortInfo& port : ListSerialPorts()) std::puts(PrintablePortListLine(port).c_str());
    return kExitDone;
  }
  if (!parsed.error.empty() || !publishError.empty()) {
    const std::string& error = parsed.error.empty() ? publishError : parsed.error;
    std::fprintf(stderr, "ivra-run: %s\nTry 'ivra-run --help'.\n", error.c_str());
    return kExitUsage;
  }
  MeasurementSettings settings = parsed.options.settings;
  // Yesterday's run must not go because its name was typed again.
  if (!parsed.options.overwrite) {
    const long long lines = ExistingLineCount(settings.outputPath);
    if (lines > 0) {
      std::fprintf(stderr, "ivra-run: %s. Give --overwrite to replace it, or choose another output file.\n",
                   HoldsLinesText(settings.outputPath, lines).c_str());
      return kExitStartFailed;
    }
  }

  // The stop request also ends a silent instrument's read, which would otherwise
  // hold a stop for its 20 s.
  if (!InstallStopSignals()) {
    std::perror("ivra-run: cannot set up signal handling");
    return kExitStartFailed;
  }

  std::unique_ptr<SimulatedInstrument> simulator;
  std::unique_ptr<SimAdapter> adapter;  // stops before the simulator behind it
  if (parsed.options.simulate) {
    std::string error;
    const SimOptions simOptions = SimLineMatching(settings.instrument);
    simulator = StartSimulator(simOptions, ports, settings.portNumber, error);
    if (!simulator) {
      std::fprintf(stderr, "ivra-run: cannot start the simulated instrument: %s\n", error.c_str());
      return kExitStartFailed;
    }
    // A --port that names no device is the simulator's own; a tcp:// one is
    // where its bridge or controller listens.
    if (!IsNetworkAddress(settings.portPath)) settings.portPath = ports.DevicePath(settings.portNumber);
    adapter = StartSimulatedAdapter(*simulator, simOptions, settings.portPath, settings.gpibAddress, error);
    if (!error.empty()) {
      std::fprintf(stderr, "ivra-run: cannot start the simulated adapter: %s\n", error.c_str());
      return kExitStartFailed;
    }
    if (adapter) settings.portPath = adapter->ClientAddress();
  }
  if (StopSignalNumber() != 0) return ExitCodeForSignal(StopSignalNumber());

  MeasurementRun run;
  TerminalFrontEnd frontEnd(run, isatty(STDERR_FILENO) == 1);
  ReadingOutputs outputs(publishing, [&frontEnd](const std::string& text) { frontEnd.ShowMessage(text); });
  outputs.Listen(run);
  if (run.Begin(settings, frontEnd) != 0) {
    outputs.RunFailed(run.Snapshot());
    outputs.Finish();
    // An interval the instrument's settings cannot carry is the command line's fault.
    return frontEnd.IntervalRefused() ? kExitUsage : kExitStartFailed;
  }

  // A signal stops the run inside: the output goes off and the port closes (drained) first.
  RunTicks(run, frontEnd);
  frontEnd.Finish();
  const SnapshotPtr ended = run.Snapshot();
  const bool interrupted = ended->endReason == RunEndReason::Signal;
  const int signalNumber = interrupted ? ended->endSignal : 0;
  // After a signal the user asked for the stop: say that it was heard and how the output was left.
  std::string stopped;
  if (interrupted) {
    stopped = "stopped by " + SignalName(signalNumber) +
              (frontEnd.OutputMayBeOn() ? "; output may still be on; " : "; output off; ");
  }
  std::fprintf(stderr, "ivra-run: %s%s\n", stopped.c_str(), RunSummaryLine(*ended).c_str());
  // The broker's share never changes the exit status.
  outputs.Finish();
  const std::string published = outputs.SummaryLine();
  if (!published.empty()) std::fprintf(stderr, "ivra-run: %s\n", published.c_str());

  // An output that may still be on outweighs everything else.
  if (frontEnd.OutputMayBeOn()) return kExitOutputMayBeOn;
  if (interrupted) return ExitCodeForSignal(signalNumber);
  const RunCounters& c = ended->counters;
  if (c.missedSamples > 0 || c.lostLines > 0 || c.portLosses > 0) return kExitSamplesMissing;
  // Every line is there, but some hold the limit rather than what the device drew.
  return c.samplesInCompliance > 0 ? kExitInCompliance : kExitDone;
}
