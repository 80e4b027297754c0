#include "programs/common/simulator_start.h"

#include "connection/connection_address.h"
#include "programs/common/stop_signals.h"

SimOptions SimLineMatching(const InstrumentSettings& instrument, SimOptions options) {
  options.baud = instrument.baud;
  const LineFormat& format = instrument.lineFormat;
  options.parity = format.parity == Parity::Even  ? SimParity::Even
                   : format.parity == Parity::Odd ? SimParity::Odd
                                                  : SimParity::None;
  options.dataBits = format.dataBits;
  return options;
}

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

std::unique_ptr<SimAdapter> StartSimulatedAdapter(const SimulatedInstrument& simulator, const SimOptions& options,
                                                  const std::string& portPath, int gpibAddress, std::string& error) {
  SimAdapterOptions front;
  front.prologix = IsGpibAddress(gpibAddress);
  front.gpibAddress = front.prologix ? gpibAddress : kDefaultGpibAddress;
  ConnectionAddress address;
  if (IsNetworkAddress(portPath) && ParseConnectionAddress(portPath, &address)) {
    front.listen = true;
    front.listenHost = address.host;
    front.listenPort = address.port;
  }
  if (!front.prologix && !front.listen) return nullptr;
  auto adapter = std::make_unique<SimAdapter>(front, simulator.DevicePath(), options);
  BlockStopSignals(true);
  const bool started = adapter->Start();
  BlockStopSignals(false);
  if (!started) {
    error = adapter->Error();
    return nullptr;
  }
  return adapter;
}
