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
#include "recovery/unfinished_runs.h"
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

// --unfinished: one line per unfinished run, tab-separated.
int ListUnfinished() {
  for (const UnfinishedRun& run : FindUnfinishedRuns()) {
    std::printf("%s\t%s\t%s\t%lld\t%s\n", run.outputPath.c_str(), run.connection.c_str(), run.startClock.c_str(),
                run.samplesWritten, run.lastLineClock.empty() ? "-" : run.lastLineClock.c_str());
  }
  return kExitDone;
}

// A path that names no unfinished run, in words; exit 1. Nothing was sent.
int RefuseLookup(const char* option, const std::string& path, const RunLookupResult& found) {
  switch (found.lookup) {
    case RunLookup::NoRecord:
      std::fprintf(stderr, "ivra-run: %s: %s has no run record (%s is not there). Give a run's output file.\n", option,
                   path.c_str(), found.recordPath.c_str());
      break;
    case RunLookup::NotARun:
      std::fprintf(stderr, "ivra-run: %s: %s is not a run record: %s.\n", option, found.recordPath.c_str(),
                   found.problem.c_str());
      break;
    case RunLookup::Alive:
      std::fprintf(stderr, "ivra-run: %s: the run of %s is still running (process %d); nothing was sent.\n", option,
                   found.run.outputPath.c_str(), found.pid);
      break;
    case RunLookup::Ended:
      std::fprintf(stderr, "ivra-run: %s: the run of %s has ended; there is nothing to resume.%s\n", option,
                   found.run.outputPath.c_str(),
                   found.outputMayBeOn ? (" Its output may still be on: ivra-run --recover " + found.run.outputPath +
                                          " switches it off.")
                                             .c_str()
                                       : "");
      break;
    case RunLookup::Unfinished: break;
  }
  return kExitStartFailed;
}

// --recover: the output off on the recorded connection, the record closed.
int Recover(const std::string& path) {
  const RunLookupResult found = LookUpRun(path);
  if (found.lookup == RunLookup::Ended && !found.outputMayBeOn) {
    std::fprintf(stderr, "ivra-run: --recover: the run of %s has ended with its output off; nothing to do.\n",
                 found.run.outputPath.c_str());
    return kExitDone;
  }
  if (found.lookup != RunLookup::Unfinished && found.lookup != RunLookup::Ended) {
    return RefuseLookup("--recover", path, found);
  }
  const RecoverResult result = RecoverUnfinishedRun(found.run);
  if (result.alive) {
    std::fprintf(stderr, "ivra-run: --recover: the run of %s is still running; nothing was sent.\n",
                 found.run.outputPath.c_str());
    return kExitStartFailed;
  }
  if (!result.recordError.empty()) {
    std::fprintf(stderr, "ivra-run: warning: the record %s could not be closed: %s.\n", found.run.recordPath.c_str(),
                 result.recordError.c_str());
  }
  if (!result.portOpened) {
    std::fprintf(stderr, "ivra-run: %s\n", PortOpenFailureMessage(result.portError, ListSerialPorts()).c_str());
  }
  if (!result.outputOff) {
    std::fprintf(stderr,
                 "ivra-run: the output of the instrument on %s may still be on: switch it off with the OUTPUT key on "
                 "its front panel.\n",
                 found.run.connection.c_str());
    return kExitOutputMayBeOn;
  }
  std::fprintf(stderr, "ivra-run: %s: output off on %s; the run's record is closed (interrupted).\n",
               found.run.outputPath.c_str(), found.run.connection.c_str());
  return kExitDone;
}

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
  if (parsed.options.unfinished) return ListUnfinished();
  if (!parsed.options.recoverPath.empty()) return Recover(parsed.options.recoverPath);
  MeasurementSettings settings = parsed.options.settings;
  // A run found again goes on with its record's settings, whatever else the command line says.
  std::unique_ptr<ResumePlan> resume;
  const bool resuming = !parsed.options.resumePath.empty();
  if (resuming || parsed.options.resumeIfUnfinished) {
    const std::string path = resuming ? parsed.options.resumePath : settings.outputPath;
    const char* option = resuming ? "--resume" : "--resume-if-unfinished";
    const RunLookupResult found = LookUpRun(path);
    if (found.lookup == RunLookup::Unfinished) {
      resume = std::make_unique<ResumePlan>();
      std::string problem;
      if (!ReadResumePlan(found.run, *resume, problem)) {
        std::fprintf(stderr,
                     "ivra-run: %s: the run of %s can't be resumed: %s. Its output may still be on: ivra-run "
                     "--recover %s switches it off.\n",
                     option, found.run.outputPath.c_str(), problem.c_str(), found.run.outputPath.c_str());
        return kExitStartFailed;
      }
      settings = resume->settings;
    } else if (resuming || found.lookup == RunLookup::Alive) {
      return RefuseLookup(option, path, found);
    }
  }
  // Yesterday's run must not go because its name was typed again.
  if (!parsed.options.overwrite && !resume) {
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
  // Listed in the state folder while it runs: a crash leaves it there to be found.
  run.SetListingListener(ListRunningRun);
  if (resume) resume->settings = settings;  // the simulator's port, when simulated
  if ((resume ? run.Resume(*resume, frontEnd) : run.Begin(settings, frontEnd)) != 0) {
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
