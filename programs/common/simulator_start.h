// Starting the simulated SourceMeter 2400 that --simulate asks for, the same
// way in both programs: on a pseudo-terminal of its own, with the stop signals
// kept off its thread, and a classic port pointed at it.
#pragma once

#include <memory>
#include <string>

#include "instrument/instrument_settings.h"
#include "serial/port_table.h"
#include "sim/simulated_instrument.h"
#include "simadapter/sim_adapter.h"

// The simulator's line as `instrument` expects it: its RS-232 menu set to match.
SimOptions SimLineMatching(const InstrumentSettings& instrument, SimOptions options = {});

// Starts the simulator and points port `portNumber` of `table` at its device;
// a number outside 1..4 points no port at it (the desktop program's --com1
// wins over --simulate). Returns nullptr, with the simulator's reason in
// `error`, when it cannot start.
std::unique_ptr<SimulatedInstrument> StartSimulator(const SimOptions& options, PortTable& table, int portNumber,
                                                    std::string& error);

// What stands in front of a started simulator when the bench is not plain
// RS-232: with `gpibAddress` (0..30) a Prologix controller, its instrument at
// that address; with a tcp:// `portPath` a TCP front on that address's host and
// port (a serial bridge, or with a GPIB address a GPIB-ETHERNET controller).
// Returns nullptr with nothing to do (RS-232 on a port); otherwise the started
// adapter, whose ClientAddress() the run then opens, or nullptr with its reason
// in `error`.
std::unique_ptr<SimAdapter> StartSimulatedAdapter(const SimulatedInstrument& simulator, const SimOptions& options,
                                                  const std::string& portPath, int gpibAddress, std::string& error);
