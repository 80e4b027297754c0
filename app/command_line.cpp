#include "app/command_line.h"

namespace {

bool IsPortOption(const std::string& arg) {
  return arg.size() > 7 && arg.compare(0, 5, "--com") == 0 && arg[5] >= '1' && arg[5] <= '4' && arg[6] == '=';
}

}  // namespace

IvraCommandLine ParseIvraCommandLine(const std::vector<std::string>& args) {
  IvraCommandLine line;
  for (const std::string& arg : args) {
    if (arg == "--simulate") {
      line.simulate = true;
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (IsPortOption(arg)) {
      line.portOptions.push_back(arg);
    } else {
      line.error = "unknown argument: " + arg;
      return line;
    }
  }
  return line;
}

std::string IvraUsage() {
  return "Usage: ivra [--simulate] [--com1=PATH] [--com2=PATH] [--com3=PATH] [--com4=PATH]\n"
         "  --simulate     serve COM1 from a simulated SourceMeter 2400 on a pseudo-terminal\n"
         "  --comN=PATH    use the device PATH for serial port COMN (N = 1..4)\n";
}
