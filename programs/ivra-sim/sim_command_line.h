// The command line of ivra-sim.
#pragma once

#include <string>

#include "sim/sim_options.h"
#include "simadapter/sim_adapter.h"

struct SimCommandLine {
  SimOptions options;
  SimAdapterOptions adapter;  // --listen, --prologix, --gpib-address
  bool help = false;
  bool version = false;
  std::string error;  // set when the command line is not valid
};

// Parses argv (argv[0] is the program name). Options take their value either
// as the next argument or after "=" ("--ohms 1e6" or "--ohms=1e6"); given
// twice, the last one counts.
SimCommandLine ParseSimCommandLine(int argc, const char* const* argv);

// The --help text.
std::string SimUsage(const std::string& program);

// The --version line, without the newline.
std::string SimVersion();
