// Starting the simulated SourceMeter 2400 that --simulate asks for, the same
// way in both programs: on a pseudo-terminal of its own, with the stop signals
// kept off its thread, and a classic port pointed at it.
#pragma once

#include <memory>
#include <string>

#include "serial/port_table.h"
#include "sim/simulated_instrument.h"

// Starts the simulator and points port `portNumber` of `table` at its device;
// a number outside 1..4 points no port at it (the desktop program's --com1
// wins over --simulate). Returns nullptr, with the simulator's reason in
// `error`, when it cannot start.
std::unique_ptr<SimulatedInstrument> StartSimulator(const SimOptions& options, PortTable& table, int portNumber,
                                                    std::string& error);
