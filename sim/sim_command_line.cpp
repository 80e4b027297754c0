#include "sim/sim_command_line.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

bool ToDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool ToInt(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

}  // namespace

std::string SimUsage(const std::string& program) {
  return "Usage: " + program +
         " [options]\n"
         "A simulated Keithley SourceMeter 2400 on a pseudo-terminal. Prints the device\n"
         "path to open as the first line, then serves until SIGINT or SIGTERM.\n"
         "\n"
         "  --device PATH       serve this device instead of a new pseudo-terminal\n"
         "  --ohms R            device under test: a resistor of R ohms (default 1e6)\n"
         "  --diode             device under test: a diode\n"
         "  --noise A           Gaussian noise on the current, standard deviation in amperes\n"
         "  --seed N            noise seed (default 1)\n"
         "  --silent            never answer :READ?\n"
         "  --garbage           answer :READ? with text that holds no number\n"
         "  --one-number        answer :READ? with the voltage only\n"
         "  --long-reply        answer :READ? with more than 100 bytes\n"
         "  --slow MS           delay every :READ? answer by MS more milliseconds\n"
         "  --split-reply N     pause 250 ms after the first N bytes of every :READ? answer\n"
         "  --hang-up-after N   answer N :READ?, then drop the line in the middle of the next reply\n"
         "  --log FILE          write every received command with a time stamp to FILE\n"
         "  --help              show this text\n";
}

SimCommandLine ParseSimCommandLine(int argc, const char* const* argv) {
  SimCommandLine result;
  SimOptions& o = result.options;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool hasValue = false;
    const auto equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    const bool takesValue = name == "--device" || name == "--ohms" || name == "--noise" || name == "--seed" ||
                            name == "--slow" || name == "--split-reply" || name == "--hang-up-after" || name == "--log";
    if (takesValue && !hasValue) {
      if (i + 1 >= argc) {
        result.error = name + " needs a value";
        return result;
      }
      value = argv[++i];
    } else if (!takesValue && hasValue) {
      result.error = name + " takes no value";
      return result;
    }

    double number = 0.0;
    long long whole = 0;
    if (name == "--help" || name == "-h") {
      result.help = true;
    } else if (name == "--diode") {
      o.diode = true;
    } else if (name == "--silent") {
      o.silent = true;
    } else if (name == "--garbage") {
      o.garbage = true;
    } else if (name == "--one-number") {
      o.oneNumber = true;
    } else if (name == "--long-reply") {
      o.longReply = true;
    } else if (name == "--device") {
      if (value.empty()) {
        result.error = "--device needs a path";
        return result;
      }
      o.devicePath = value;
    } else if (name == "--log") {
      if (value.empty()) {
        result.error = "--log needs a file name";
        return result;
      }
      o.logPath = value;
    } else if (name == "--ohms") {
      if (!ToDouble(value, number) || number <= 0.0) {
        result.error = "--ohms needs a resistance above 0";
        return result;
      }
      o.ohms = number;
    } else if (name == "--noise") {
      if (!ToDouble(value, number) || number < 0.0) {
        result.error = "--noise needs a current of 0 or more";
        return result;
      }
      o.noise = number;
    } else if (name == "--seed") {
      if (!ToInt(value, 0, UINT_MAX, whole)) {
        result.error = "--seed needs a whole number of 0 or more";
        return result;
      }
      o.seed = static_cast<unsigned>(whole);
    } else if (name == "--slow") {
      if (!ToInt(value, 0, 600000, whole)) {
        result.error = "--slow needs milliseconds from 0 to 600000";
        return result;
      }
      o.slowReplyMs = static_cast<int>(whole);
    } else if (name == "--split-reply") {
      if (!ToInt(value, 0, 1000, whole)) {
        result.error = "--split-reply needs a byte count from 0 to 1000";
        return result;
      }
      o.splitReplyAfter = static_cast<int>(whole);
    } else if (name == "--hang-up-after") {
      if (!ToInt(value, 0, INT_MAX, whole)) {
        result.error = "--hang-up-after needs a whole number of 0 or more";
        return result;
      }
      o.hangUpAfterReads = static_cast<int>(whole);
    } else {
      result.error = "unknown option " + std::string(argv[i]);
      return result;
    }
  }
  return result;
}
