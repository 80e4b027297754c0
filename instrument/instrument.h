// The instrument library: the SourceMeter 2400 over a link.
//   instrument_link.h      the byte link to the instrument (a serial port, or a fake in tests)
//   scpi_commands.h        the command strings the program sends
//   instrument_protocol.h  sending commands, reading a reply and judging it by its grammar
//   reading.h              one reading as the instrument reported it
//   instrument_settings.h  current limit, range, NPLC, auto-zero and baud rate, with their defaults
//   instrument_setup.h     the commands that put the settings in force, and the error query's reply
#pragma once

#include "instrument/instrument_link.h"
#include "instrument/instrument_protocol.h"
#include "instrument/instrument_settings.h"
#include "instrument/instrument_setup.h"
#include "instrument/reading.h"
#include "instrument/scpi_commands.h"
