#include "programs/common/simulator_start.h"

#include "programs/common/stop_signals.h"

std::unique_ptr<SimulatedInstrument> StartSimulator(const SimOptions& options, PortTable& table, int portNumber,
                                                    std::string& error) {
  auto simulator = std::make_unique<SimulatedInstrument>(options);
  // The simulator's thread must not take the stop signals: they are the main loop's.
  BlockStopSignals(true);
  const bool started = simulator->Start();
  BlockStopSignals(false);
  if (!started) {
    error = simulator->Error();
    return nullptr;
  }
  table.SetDevicePath(portNumber, simulator->DevicePath());
  return simulator;
}
