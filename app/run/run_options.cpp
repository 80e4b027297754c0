#include "app/run/run_options.h"

#include <cctype>
#include <cstring>

#include "measurement/setting_checks.h"
#include "serial/port_table.h"

namespace {

// "Please enter ..." becomes "Measurement time: please enter ...".
std::string FieldMessage(const char* label, std::string message) {
  if (!message.empty()) message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
  return std::string(label) + ": " + message;
}

// Splits "--name=value" and "--name value"; returns false when the value is missing.
bool TakeValue(const std::string& arg, const std::string& name, int argc, const char* const* argv,
               int& index, std::string& value, bool& matched) {
  matched = false;
  if (arg == name) {
    matched = true;
    if (index + 1 >= argc) return false;
    value = argv[++index];
    return true;
  }
  if (arg.compare(0, name.size() + 1, name + "=") == 0) {
    matched = true;
    value = arg.substr(name.size() + 1);
    return true;
  }
  return true;
}

}  // namespace

ParsedRunOptions ParseRunOptions(int argc, const char* const* argv) {
  ParsedRunOptions parsed;
  RunOptions& options = parsed.options;
  options.settings.outputVoltage = 0.5;
  options.settings.outputPath.clear();
  bool haveOutput = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return parsed;
    }
    if (arg == "--simulate") {
      options.simulate = true;
      continue;
    }
    if (arg.compare(0, 5, "--com") == 0 && ApplyPortOption(argv[i])) continue;

    std::string value;
    bool matched = false;
    std::optional<std::string> problem;
    const char* label = nullptr;
    for (const char* name : {"--port", "--interval", "--time", "--voltage", "--output"}) {
      if (!TakeValue(arg, name, argc, argv, i, value, matched)) {
        parsed.error = std::string(name) + " needs a value.";
        return parsed;
      }
      if (!matched) continue;
      if (std::strcmp(name, "--port") == 0) {
        label = kPortNumberRange.label;
        problem = CheckIntSetting(value, kPortNumberRange, options.settings.portNumber);
      } else if (std::strcmp(name, "--interval") == 0) {
        label = kSampleIntervalRange.label;
        problem = CheckIntSetting(value, kSampleIntervalRange, options.settings.sampleInterval);
      } else if (std::strcmp(name, "--time") == 0) {
        label = kMeasurementTimeRange.label;
        problem = CheckIntSetting(value, kMeasurementTimeRange, options.settings.measurementTime);
      } else if (std::strcmp(name, "--voltage") == 0) {
        label = kOutputVoltageRange.label;
        problem = CheckDoubleSetting(value, kOutputVoltageRange, options.settings.outputVoltage);
      } else {
        // Any text, the empty one included: Start reports a path it cannot create.
        options.settings.outputPath = value;
        haveOutput = true;
      }
      break;
    }
    if (problem) {
      parsed.error = FieldMessage(label, *problem);
      return parsed;
    }
    if (!matched) {
      parsed.error = "Unknown option: " + arg;
      return parsed;
    }
  }
  if (!haveOutput) parsed.error = "Output file: please give the data file with --output PATH.";
  return parsed;
}

std::string RunUsage() {
  return "Usage: ivra-run --output PATH [--port N] [--interval SECONDS] [--time SECONDS]\n"
         "                [--voltage VOLTS] [--com1=PATH .. --com4=PATH] [--simulate]\n"
         "\n"
         "Runs one current-versus-time measurement with a Keithley SourceMeter 2400 on a\n"
         "serial port: resets the instrument, switches its output on, takes a sample every\n"
         "interval and appends \"<seconds>\\ts\\t<microamperes>\\tuA\" to PATH, then switches\n"
         "the output off.\n"
         "\n"
         "  --output PATH       output data file, created empty (required)\n"
         "  --port N            serial port COM1..COM4 (default 1)\n"
         "  --interval SECONDS  time between samples, 1..1000 (default 1)\n"
         "  --time SECONDS      measurement time, 10..10000000 (default 1000)\n"
         "  --voltage VOLTS     output voltage, -10..10 (default 0.5)\n"
         "  --comN=PATH         serve port N from PATH instead of its default device\n"
         "                      (COMn is /dev/ttyS{n-1})\n"
         "  --simulate          run on a simulated SourceMeter 2400 (1 MOhm resistor)\n"
         "  --help              show this text\n"
         "\n"
         "Exit status: 0 measurement complete; 1 start failed; 2 bad command line;\n"
         "130, 143, 129 stopped by SIGINT, SIGTERM, SIGHUP (the output is off).\n";
}
