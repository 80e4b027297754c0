// ivra-sim: a simulated SourceMeter 2400 on a pseudo-terminal, for tests and
// for trying Ivra without an instrument.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>

#include "programs/ivra-sim/sim_command_line.h"
#include "sim/simulated_instrument.h"
#include "simadapter/sim_adapter.h"

int main(int argc, char** argv) {
  const SimCommandLine commandLine = ParseSimCommandLine(argc, argv);
  const char* program = argc > 0 ? argv[0] : "ivra-sim";
  if (!commandLine.error.empty()) {
    std::fprintf(stderr, "%s: %s\n%s", program, commandLine.error.c_str(), SimUsage(program).c_str());
    return 2;
  }
  if (commandLine.help) {
    std::fputs(SimUsage(program).c_str(), stdout);
    return 0;
  }
  if (commandLine.version) {
    std::printf("%s\nLicence: MIT\n", SimVersion().c_str());
    return 0;
  }

  // SIGINT and SIGTERM are taken with sigtimedwait below, so they are blocked
  // before the server thread starts and inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  SimulatedInstrument instrument(commandLine.options);
  if (!instrument.Start()) {
    std::fprintf(stderr, "%s: %s\n", program, instrument.Error().c_str());
    return 1;
  }
  std::unique_ptr<SimAdapter> adapter;
  if (commandLine.adapter.prologix || commandLine.adapter.listen) {
    adapter = std::make_unique<SimAdapter>(commandLine.adapter, instrument.DevicePath(), commandLine.options);
    if (!adapter->Start()) {
      std::fprintf(stderr, "%s: %s\n", program, adapter->Error().c_str());
      instrument.Stop();
      return 1;
    }
  }
  std::printf("%s\n", adapter ? adapter->ClientAddress().c_str() : instrument.DevicePath().c_str());
  std::fflush(stdout);

  const timespec poll{0, 100 * 1000 * 1000};
  for (;;) {
    const int signal = sigtimedwait(&stopSignals, nullptr, &poll);
    if (signal == SIGINT || signal == SIGTERM) break;
    if (!instrument.Serving()) {
      std::fprintf(stderr, "%s: line dropped%s\n", program, instrument.HungUp() ? " (hang-up fault)" : "");
      break;
    }
  }
  if (adapter) adapter->Stop();
  instrument.Stop();
  if (commandLine.options.lineNoise > 0.0) {
    const LineNoiseCounts counts = instrument.LineNoise();
    std::fprintf(stderr,
                 "%s: line noise: %llu replies, %llu disturbed, %llu marked, %llu wrong without a mark; "
                 "%llu of %llu bits flipped\n",
                 program, static_cast<unsigned long long>(counts.replies),
                 static_cast<unsigned long long>(counts.disturbedReplies),
                 static_cast<unsigned long long>(counts.markedReplies),
                 static_cast<unsigned long long>(counts.undetectedReplies),
                 static_cast<unsigned long long>(counts.flippedBits), static_cast<unsigned long long>(counts.bits));
  }
  return 0;
}
