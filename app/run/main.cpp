// ivra-run: one measurement from the command line, with the settings, ranges
// and messages of the Setup dialog, driven by a one-second tick on the
// monotonic clock. A signal stops the run with the instrument's output off.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "app/run/run_options.h"
#include "app/run/stop_signals.h"
#include "app/run/terminal_front_end.h"
#include "app/run/tick_schedule.h"
#include "measurement/measurement_run.h"
#include "measurement/port_open_message.h"
#include "serial/port_discovery.h"
#include "measurement/run_text.h"
#include "serial/port_table.h"
#include "serial/process_clock.h"
#include "serial/serial_link.h"
#include "sim/simulated_instrument.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitStartFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSamplesMissing = 3;
constexpr int kExitOutputMayBeOn = 4;

int ExitCodeForSignal(int signalNumber) { return 128 + signalNumber; }

// Ticks until the run stops by itself or a stop signal comes.
void RunTicks(TerminalFrontEnd& frontEnd) {
  TickSchedule schedule(std::llround(g_startTime * 1000.0));
  while (g_measuring != 0 && StopSignalNumber() == 0) {
    const std::int64_t wait = schedule.WaitMs(ProcessClockMs());
    if (wait > 0) {
      WaitForStopSignal(wait);
      continue;
    }
    schedule.Take(ProcessClockMs());
    MeasurementTick(frontEnd);
    frontEnd.ShowStatus();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const ParsedRunOptions parsed = ParseRunOptions(argc, argv);
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
  RunOptions options = parsed.options;

  if (!InstallStopSignals()) {
    std::perror("ivra-run: cannot set up signal handling");
    return kExitStartFailed;
  }
  // A silent instrument must not hold a stop for the 20 s of a reply read.
  SerialLink::SetReadAbortDescriptor(StopSignalDescriptor());

  std::unique_ptr<SimulatedInstrument> simulator;
  if (options.simulate) {
    // The simulator's thread must not take the stop signals: they are the main loop's.
    BlockStopSignals(true);
    simulator = std::make_unique<SimulatedInstrument>();
    const bool started = simulator->Start();
    BlockStopSignals(false);
    if (!started) {
      std::fprintf(stderr, "ivra-run: cannot start the simulated instrument: %s\n",
                   simulator->Error().c_str());
      return kExitStartFailed;
    }
    SetPortDevicePath(options.settings.portNumber, simulator->DevicePath());
    options.settings.portPath = simulator->DevicePath();
  }
  if (StopSignalNumber() != 0) return ExitCodeForSignal(StopSignalNumber());

  TerminalFrontEnd frontEnd(isatty(STDERR_FILENO) == 1);
  if (BeginMeasurement(options.settings, frontEnd) != 0) return kExitStartFailed;

  RunTicks(frontEnd);

  // Stopped by a signal: the output goes off and the port closes (drained) first.
  const bool interrupted = g_measuring != 0;
  const int signalNumber = interrupted ? StopSignalNumber() : 0;
  StopMeasurementRun(frontEnd, interrupted ? RunEndReason::Signal : RunEndReason::Completed, signalNumber);
  frontEnd.Finish();
  std::fprintf(stderr, "ivra-run: %s\n", RunSummaryLine().c_str());

  // An output that may still be on outweighs everything else.
  if (frontEnd.OutputMayBeOn()) return kExitOutputMayBeOn;
  if (interrupted) return ExitCodeForSignal(signalNumber);
  const RunCounters& c = g_runCounters;
  return c.missedSamples > 0 || c.lostLines > 0 || c.portLosses > 0 ? kExitSamplesMissing : kExitDone;
}
