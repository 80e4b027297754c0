// ivra-run: one measurement from the command line, with the settings, ranges
// and messages of the Setup dialog, driven by a one-second tick on the
// monotonic clock. A signal stops the run with the instrument's output off.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "measurement/measurement_run.h"
#include "measurement/port_open_message.h"
#include "measurement/run_text.h"
#include "programs/common/simulator_start.h"
#include "programs/common/stop_signals.h"
#include "programs/ivra-run/run_options.h"
#include "programs/ivra-run/run_ticks.h"
#include "programs/ivra-run/terminal_front_end.h"
#include "serial/port_discovery.h"
#include "serial/port_table.h"
#include "serial/stop_request.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitStartFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSamplesMissing = 3;
constexpr int kExitOutputMayBeOn = 4;

int ExitCodeForSignal(int signalNumber) { return 128 + signalNumber; }

}  // namespace

int main(int argc, char** argv) {
  PortTable ports;
  const ParsedRunOptions parsed = ParseRunOptions(argc, argv, ports);
  if (parsed.options.help) {
    std::fputs(RunUsage().c_str(), stdout);
    return kExitDone;
  }
  if (parsed.options.version) {
    std::puts("ivra-run " IVRA_VERSION);
    return kExitDone;
  }
  if (parsed.options.listPorts) {
    for (const SerialPortInfo& port : ListSerialPorts()) std::puts(PrintablePortListLine(port).c_str());
    return kExitDone;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "ivra-run: %s\nTry 'ivra-run --help'.\n", parsed.error.c_str());
    return kExitUsage;
  }
  MeasurementSettings settings = parsed.options.settings;

  // The stop request also ends a silent instrument's read, which would otherwise
  // hold a stop for its 20 s.
  if (!InstallStopSignals()) {
    std::perror("ivra-run: cannot set up signal handling");
    return kExitStartFailed;
  }

  std::unique_ptr<SimulatedInstrument> simulator;
  if (parsed.options.simulate) {
    std::string error;
    simulator = StartSimulator(SimOptions{}, ports, settings.portNumber, error);
    if (!simulator) {
      std::fprintf(stderr, "ivra-run: cannot start the simulated instrument: %s\n", error.c_str());
      return kExitStartFailed;
    }
    settings.portPath = ports.DevicePath(settings.portNumber);
  }
  if (StopSignalNumber() != 0) return ExitCodeForSignal(StopSignalNumber());

  MeasurementRun run;
  TerminalFrontEnd frontEnd(run, isatty(STDERR_FILENO) == 1);
  if (run.Begin(settings, frontEnd) != 0) return kExitStartFailed;

  RunTicks(run, frontEnd);

  // Stopped by a signal: the output goes off and the port closes (drained) first.
  const bool interrupted = run.Measuring();
  const int signalNumber = interrupted ? StopSignalNumber() : 0;
  run.Stop(frontEnd, interrupted ? RunEndReason::Signal : RunEndReason::Completed, signalNumber);
  frontEnd.Finish();
  const SnapshotPtr ended = run.Snapshot();
  std::fprintf(stderr, "ivra-run: %s\n", RunSummaryLine(*ended).c_str());

  // An output that may still be on outweighs everything else.
  if (frontEnd.OutputMayBeOn()) return kExitOutputMayBeOn;
  if (interrupted) return ExitCodeForSignal(signalNumber);
  const RunCounters& c = ended->counters;
  return c.missedSamples > 0 || c.lostLines > 0 || c.portLosses > 0 ? kExitSamplesMissing : kExitDone;
}
