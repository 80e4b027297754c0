// The desktop program's command line: --com1=PATH .. --com4=PATH point a port
// at a device, --simulate serves COM1 from a simulated SourceMeter 2400 on a
// pseudo-terminal (an explicit --com1 wins over it), --help prints the usage,
// --version the version. Parsed by wxCmdLineParser (wxBase only: no window
// system is needed, so main() can answer before the toolkit starts).
#pragma once

#include <string>
#include <vector>

struct IvraCommandLine {
  bool simulate = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> portOptions;  // "--comN=PATH", in the order given
  std::string error;                     // empty when the command line is good
};

// Parses the arguments after the program name.
IvraCommandLine ParseIvraCommandLine(const std::vector<std::string>& args);

std::string IvraUsage();
