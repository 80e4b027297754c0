// The desktop program's command line: --com1=PATH .. --com4=PATH point a port
// at a device, --simulate serves COM1 from a simulated SourceMeter 2400 on a
// pseudo-terminal (an explicit --com1 wins over it), --port=tcp://HOST:PORT and
// --gpib=ADDRESS preset Setup's connection (with --simulate the simulator is
// served through such a bridge or controller), --help prints the usage,
// --version the version. Parsed by wxCmdLineParser (wxBase only: no window
// system is needed, so main() can answer before the toolkit starts).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "programs/common/port_options.h"
#include "programs/common/publish_options.h"

struct IvraCommandLine {
  bool help = false;
  bool version = false;
  PortOptions ports;       // --simulate, --port, --gpib, and --comN=PATH in the order given
  PublishOptions publish;  // --mqtt and its companions, --bench
  std::string error;       // empty when the command line is good
};

// Parses the arguments after the program name.
IvraCommandLine ParseIvraCommandLine(const std::vector<std::string>& args);

// What a --comN without a path is told, after "--comN ".
inline constexpr const char* kMissingPortPathWords = "needs a device path";

std::string IvraUsage();

// Help and version on stdout (status 0), a bad command line on stderr with
// the usage (status 2); nothing when the window is to start.
std::optional<int> AnswerOnTheConsole(const IvraCommandLine& line, const char* version);
