// ivra_sim: a simulated Keithley SourceMeter 2400, for the tests and for
// trying the programs without an instrument.
//
//   SimulatedInstrument  the instrument on a pseudo-terminal (or a given
//                        device), served from a thread of its own, with its
//                        command log; it cannot start where there is no
//                        pseudo-terminal (Windows)
//   SimOptions           the device on its terminals, the line speed, the
//                        fault modes tests ask for, the log file
//   InstrumentModel      the command interpreter alone: one command line in,
//                        the instrument's answer and its timing out
//   ReceivedAtWrongSpeed what a client at another line speed hears
//   NoisyLine            the replies' character form (data bits, parity) and
//                        the bits a noisy cable flips, marked as a UART marks
//                        a parity error (beside ReceivedAtWrongSpeed)
#pragma once

#include "sim/instrument_model.h"
#include "sim/line_speed.h"
#include "sim/sim_options.h"
#include "sim/simulated_instrument.h"
