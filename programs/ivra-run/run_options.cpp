#include "programs/ivra-run/run_options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <CLI/CLI.hpp>

#include "programs/common/field_message.h"
#include "text/setting_checks.h"

namespace {

// CLI11 says "--time: 1 required TEXT missing"; the option's name is before the colon.
std::string OptionOfMismatch(const std::string& what) { return what.substr(0, what.find(':')); }

// The whole file, or the reason it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  char block[4096];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
  const bool failed = std::ferror(file) != 0;
  if (failed) error = std::strerror(errno);
  std::fclose(file);
  return !failed;
}

// The steps of --step (in order) or of --steps FILE, --repeat and --ramp, into
// `bias`; with steps the measurement time is theirs. The option at fault in `named`.
std::optional<std::string> TakeSchedule(const std::vector<std::string>& stepTexts, CLI::Option* stepOption,
                                        const std::string& stepsPath, CLI::Option* stepsOption,
                                        const std::string& repeat, CLI::Option* repeatOption, const std::string& ramp,
                                        CLI::Option* rampOption, MeasurementSettings& settings, std::string& named) {
  BiasSchedule& bias = settings.bias;
  const int intervalMs = IntervalMs(settings);
  if (stepOption->count() != 0 && stepsOption->count() != 0) {
    named = stepsOption->get_name();
    return std::string("Please give the steps either with --step or in a file, not both.");
  }
  named = stepOption->get_name();
  for (const std::string& text : stepTexts) {
    BiasStep step;
    if (auto problem = CheckStepPair(text, intervalMs, step)) return problem;
    bias.steps.push_back(step);
  }
  if (stepsOption->count() != 0) {
    named = stepsOption->get_name();
    std::string text, error;
    if (!ReadWholeFile(stepsPath, text, error)) return "Cannot read " + stepsPath + ": " + error + ".";
    int badLine = 0;
    auto problem = CheckStepsText(text, intervalMs, bias.steps, badLine);
    if (problem && badLine > 0) return StepsFileLineMessage(stepsPath, badLine, *problem);
    if (problem) return stepsPath + " holds no step. " + *problem;
  }
  if (repeatOption->count() != 0) {
    named = repeatOption->get_name();
    if (!bias.HasSteps()) return std::string("Please give the steps to repeat with --step or --steps.");
    if (auto problem = CheckIntSetting(repeat, kRepeatRange, bias.repeat)) return problem;
  }
  if (bias.HasSteps()) {
    named = stepOption->count() != 0 ? stepOption->get_name() : stepsOption->get_name();
    if (auto problem = CheckScheduleTotal(bias)) return problem;
    settings.measurementTime = ScheduleMeasurementTime(bias);
  }
  if (rampOption->count() != 0) {
    named = rampOption->get_name();
    if (auto problem = CheckRampSetting(ramp, bias.rampVoltsPerSecond)) return problem;
  }
  return std::nullopt;
}

}  // namespace

ParsedRunOptions ParseRunOptions(int argc, const char* const* argv, PortTable& table) {
  ParsedRunOptions parsed;
  RunOptions& options = parsed.options;
  options.settings.outputVoltage = 0.5;
  options.settings.outputPath.clear();

  CLI::App app;
  app.set_help_flag();  // our own --help text, below
  app.allow_extras();   // reported in our words, below
  app.add_flag("--help,-h", options.help);
  app.add_flag("--version", options.version);
  app.add_flag("--list-ports", options.listPorts);
  app.add_flag("--simulate", options.simulate);
  app.add_flag("--overwrite", options.overwrite);
  app.add_flag("--unfinished", options.unfinished);
  app.add_flag("--resume-if-unfinished", options.resumeIfUnfinished);
  CLI::Option* recoverOption =
      app.add_option("--recover", options.recoverPath)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  CLI::Option* resumeOption =
      app.add_option("--resume", options.resumePath)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::string port, interval, time, voltage;
  std::string portPaths[kLastPortNumber];
  const auto last = CLI::MultiOptionPolicy::TakeLast;
  CLI::Option* portOption = app.add_option("--port", port)->multi_option_policy(last);
  std::string gpib;
  CLI::Option* gpibOption = app.add_option("--gpib", gpib)->multi_option_policy(last);
  CLI::Option* intervalOption = app.add_option("--interval", interval)->multi_option_policy(last);
  CLI::Option* timeOption = app.add_option("--time", time)->multi_option_policy(last);
  CLI::Option* voltageOption = app.add_option("--voltage", voltage)->multi_option_policy(last);
  std::vector<std::string> stepTexts;
  std::string stepsPath, repeat, ramp;
  CLI::Option* stepOption = app.add_option("--step", stepTexts)->allow_extra_args(false);
  CLI::Option* stepsOption = app.add_option("--steps", stepsPath)->multi_option_policy(last);
  CLI::Option* repeatOption = app.add_option("--repeat", repeat)->multi_option_policy(last);
  CLI::Option* rampOption = app.add_option("--ramp", ramp)->multi_option_policy(last);
  std::string currentLimit, currentRange, nplc, autoZero, baud, parity, dataBits;
  CLI::Option* currentLimitOption = app.add_option("--current-limit", currentLimit)->multi_option_policy(last);
  CLI::Option* currentRangeOption = app.add_option("--current-range", currentRange)->multi_option_policy(last);
  CLI::Option* nplcOption = app.add_option("--nplc", nplc)->multi_option_policy(last);
  CLI::Option* autoZeroOption = app.add_option("--autozero", autoZero)->multi_option_policy(last);
  CLI::Option* baudOption = app.add_option("--baud", baud)->multi_option_policy(last);
  CLI::Option* parityOption = app.add_option("--parity", parity)->multi_option_policy(last);
  CLI::Option* dataBitsOption = app.add_option("--data-bits", dataBits)->multi_option_policy(last);
  // Any text, the empty one included: Start reports a path it cannot create.
  CLI::Option* outputOption = app.add_option("--output", options.settings.outputPath)->multi_option_policy(last);
  CLI::Option* comOptions[kLastPortNumber];
  for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
    comOptions[n - 1] = app.add_option("--com" + std::to_string(n), portPaths[n - 1])->multi_option_policy(last);
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& e) {
    parsed.error = OptionOfMismatch(e.what()) + " needs a value.";
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.error = e.what();
    return parsed;
  }
  if (options.help || options.version || options.listPorts) return parsed;
  if (!app.remaining().empty()) {
    parsed.error = "Unknown option: " + app.remaining().front();
    return parsed;
  }
  // A run found again takes everything from its record: only where its port is may be given.
  const int modes = (options.unfinished ? 1 : 0) + (recoverOption->count() != 0 ? 1 : 0) +
                    (resumeOption->count() != 0 ? 1 : 0) + (options.resumeIfUnfinished ? 1 : 0);
  if (modes > 1) {
    parsed.error = "Please give only one of --unfinished, --recover, --resume and --resume-if-unfinished.";
    return parsed;
  }
  for (CLI::Option* option : {recoverOption, resumeOption}) {
    if (option->count() != 0 && (option == recoverOption ? options.recoverPath : options.resumePath).empty()) {
      parsed.error = option->get_name() + ": please give the run's output file (or its .run.json record).";
      return parsed;
    }
  }
  if (options.unfinished || recoverOption->count() != 0 || resumeOption->count() != 0) return parsed;

  PortOptions ports;
  if (portOption->count() != 0) ports.port = port;
  if (gpibOption->count() != 0) ports.gpib = gpib;
  for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
    if (comOptions[n - 1]->count() != 0) ports.comPaths.push_back({n, portPaths[n - 1]});
  }
  parsed.error = ApplyPortOptions(ports, table, options.settings, "needs a value.");
  if (!parsed.error.empty()) return parsed;

  std::optional<std::string> problem;
  std::string named;  // the option at fault
  auto checkInt = [&](CLI::Option* option, const std::string& text, const IntSettingRange& range, int& value) {
    if (problem || option->count() == 0) return;
    named = option->get_name();
    problem = CheckIntSetting(text, range, value);
  };
  if (intervalOption->count() != 0) {
    named = intervalOption->get_name();
    problem = CheckIntervalSetting(interval, options.settings.sampleInterval, options.settings.sampleIntervalMs);
  }
  // The steps set the time and the voltage: a value given beside them would be ignored.
  const bool scheduled = stepOption->count() != 0 || stepsOption->count() != 0;
  for (CLI::Option* option : {timeOption, voltageOption}) {
    if (!problem && scheduled && option->count() != 0) {
      named = option->get_name();
      problem = option == timeOption ? "Please leave it out: the steps' durations make the measurement time."
                                     : "Please leave it out: the steps give the voltage.";
    }
  }
  checkInt(timeOption, time, kMeasurementTimeRange, options.settings.measurementTime);
  if (!problem && voltageOption->count() != 0) {
    named = voltageOption->get_name();
    problem = CheckDoubleSetting(voltage, kOutputVoltageRange, options.settings.outputVoltage);
  }
  if (!problem) {
    problem = TakeSchedule(stepTexts, stepOption, stepsPath, stepsOption, repeat, repeatOption, ramp, rampOption,
                           options.settings, named);
  }
  InstrumentSettings& instrument = options.settings.instrument;
  auto checkInstrument = [&](CLI::Option* option, auto check) {
    if (problem || option->count() == 0) return;
    named = option->get_name();
    problem = check();
  };
  checkInstrument(currentLimitOption,
                  [&] { return CheckDoubleSetting(currentLimit, kCurrentLimitRange, instrument.currentLimit); });
  checkInstrument(currentRangeOption, [&] { return CheckCurrentRangeSetting(currentRange, instrument.currentRange); });
  checkInstrument(nplcOption, [&] { return CheckDoubleSetting(nplc, kNplcRange, instrument.nplc); });
  checkInstrument(autoZeroOption, [&] { return CheckAutoZeroSetting(autoZero, instrument.autoZero); });
  checkInstrument(baudOption, [&] { return CheckBaudSetting(baud, instrument.baud); });
  checkInstrument(parityOption, [&] { return CheckParitySetting(parity, instrument.lineFormat.parity); });
  checkInstrument(dataBitsOption, [&] { return CheckDataBitsSetting(dataBits, instrument.lineFormat.dataBits); });
  if (!problem && (problem = CheckLineFormat(instrument.lineFormat))) named = dataBitsOption->get_name();
  // Before anything is touched, at the faster mains (60 Hz): no instrument carries
  // more. Start asks the instrument for its own and checks again.
  if (!problem && (problem = LeastIntervalProblem(IntervalMs(options.settings), instrument, 60, false))) {
    named = intervalOption->get_name();
  }
  if (problem) {
    parsed.error = FieldMessage(named.c_str(), *problem);
    return parsed;
  }
  if (outputOption->count() == 0) parsed.error = "--output: please give the data file, e.g. --output run1.dat.";
  return parsed;
}

std::string RunUsage() {
  return "Usage: ivra-run --output PATH [--port N|DEVICE|tcp://HOST:PORT] [--gpib ADDRESS]\n"
         "                [--interval SECONDS] [--time SECONDS]\n"
         "                [--voltage VOLTS] [--step VOLTS:SECONDS ... | --steps FILE]\n"
         "                [--repeat N] [--ramp VOLTS_PER_SECOND]\n"
         "                [--com1=PATH .. --com4=PATH] [--simulate]\n"
         "                [--overwrite] [--current-limit AMPS] [--current-range AMPS|auto]\n"
         "                [--nplc N] [--autozero on|once|off] [--baud N]\n"
         "                [--parity none|even|odd] [--data-bits 7|8]\n"
         "       ivra-run --unfinished | --recover PATH | --resume PATH [--simulate]\n"
         "       ivra-run --resume-if-unfinished --output PATH ... (as a run)\n"
         "       ivra-run --list-ports | --version | --help\n"
         "\n"
         "Runs one current-versus-time measurement with a Keithley SourceMeter 2400 on a\n"
         "serial port, a serial bridge or a GPIB controller: resets the instrument,\n"
         "switches its output on, takes a sample every interval and appends\n"
         "\"<seconds>\\ts\\t<microamperes>\\tuA\" to PATH, then switches the output off.\n"
         "\n"
         "  --output PATH       output data file (required); a missing or empty file is\n"
         "                      created, one that holds data is refused\n"
         "  --overwrite         replace an output file that already holds data\n"
         "  --port N|DEVICE     serial port COM1..COM4 as 1..4 or COM1..COM4 (default 1),\n"
         "                      or a device path such as /dev/ttyUSB0 or /dev/serial/by-id/...,\n"
         "                      or a serial bridge on the network as tcp://HOST:PORT (a host\n"
         "                      name, an IPv4 address or [IPv6]); a Prologix GPIB-ETHERNET\n"
         "                      controller is tcp://HOST:1234 with --gpib\n"
         "  --gpib ADDRESS      the instrument's GPIB address, 0..30 (the 2400's default is\n"
         "                      24), through a Prologix controller on whatever --port names\n"
         "  --interval SECONDS  time between samples, 0.02..1000 with at most three\n"
         "                      decimals (default 1); below a second the least interval\n"
         "                      depends on --baud, --nplc and --autozero\n"
         "  --time SECONDS      measurement time, 10..10000000 (default 1000)\n"
         "  --voltage VOLTS     output voltage, -10..10 (default 0.5)\n"
         "\n"
         "Bias schedule; with steps or a ramp each data line adds \"\\t<volts>\\tV\", the\n"
         "voltage set for the sample:\n"
         "  --step VOLTS:SECONDS  one step, repeatable, in order: -10..10 V for at least\n"
         "                      one interval; the steps' total is the measurement time\n"
         "                      (not with --time or --voltage)\n"
         "  --steps FILE        the steps from FILE, one a line: volts and seconds\n"
         "                      separated by blanks or a tab; \"#\" starts a comment\n"
         "  --repeat N          go through the steps N times (default 1)\n"
         "  --ramp VOLTS_PER_SECOND  change the set voltage by at most this rate x the\n"
         "                      interval at each sample: up from 0 V, between steps, and\n"
         "                      back to 0 V before the output goes off (at the end, on a\n"
         "                      signal; a second signal switches it off at once)\n"
         "\n"
         "Instrument settings; one left at its default sends nothing:\n"
         "  --current-limit AMPS  current limit (compliance), 1e-09..1.05 (default 0.000105)\n"
         "  --current-range AMPS|auto  current range: auto (default) or one of 1e-06,\n"
         "                      1e-05, 0.0001, 0.001, 0.01, 0.1, 1\n"
         "  --nplc N            integration time in power-line cycles, 0.01..10 (default 1)\n"
         "  --autozero on|once|off  auto-zero (default on)\n"
         "  --baud N            serial line speed, one of 300, 600, 1200, 2400, 4800, 9600,\n"
         "                      19200, 38400, 57600 (default 9600); set the instrument's\n"
         "                      RS-232 menu to the same\n"
         "  --parity none|even|odd  serial line parity (default none); with parity every\n"
         "                      byte is checked and a damaged reply is a missed sample\n"
         "                      (\"line error\"); set the instrument's RS-232 menu to the same\n"
         "  --data-bits 7|8     data bits (default 8); 7 only with even or odd parity\n"
         "\n"
         "  --comN=PATH         serve port N from PATH instead of its default device\n"
#ifdef _WIN32
         "                      (COMn is the system's COMn)\n"
#else
         "                      (COMn is /dev/ttyS{n-1})\n"
#endif
         "  --simulate          run on a simulated SourceMeter 2400 (1 MOhm resistor); with\n"
         "                      --gpib behind a simulated Prologix controller, with a tcp://\n"
         "                      --port behind a simulated bridge listening there\n"
         "Runs whose program went away (a crash, a power cut, a kill) while they ran:\n"
         "  --unfinished        list them, one per line, tab-separated: output file,\n"
         "                      connection, start, samples written, time of the last line\n"
         "  --recover PATH      send :OUTP OFF on the run's recorded connection and close\n"
         "                      its record (end reason \"interrupted\"); PATH is the output\n"
         "                      file or its record; exit 4 when the output can't be\n"
         "                      confirmed off\n"
         "  --resume PATH       continue the run into the same file until its planned end:\n"
         "                      its settings, schedule and time base, the instrument set up\n"
         "                      again; samples due meanwhile count as missed\n"
         "                      (\"interrupted\"); exit status as for a run\n"
         "  --resume-if-unfinished  with a run's command line: resume the output file's\n"
         "                      unfinished run if it has one, else start this run (for a\n"
         "                      service that restarts ivra-run after a crash)\n"
         "A run whose process is still alive is never touched (exit 1, \"still running\").\n"
         "\n"
         "  --list-ports        list the serial ports found, one per line: device path,\n"
         "                      description, USB ids, /dev/serial/by-id/ name, and for an\n"
         "                      FTDI chip \"possibly a Prologix GPIB controller\"\n"
         "  --version           show the program's version\n"
         "  --help              show this text\n"
         "\n"
         "Beside PATH, PATH.run.json records the run: start time, settings, port, how it\n"
         "ended, and every sample missed or lost. A summary line goes to stderr at the end.\n"
         "\n"
         "Exit status:\n"
         "  0    the run completed and every due sample was written\n"
         "  1    the start failed (file, port or simulator)\n"
         "  2    bad command line\n"
         "  3    the run ended, but samples were missed or lost, or the port was lost\n"
         "  4    the instrument's output could not be confirmed off (before all others)\n"
         "  5    the run completed and every due sample was written, but some samples\n"
         "       were in compliance: the current held at its limit (3 and 4 come first)\n"
         "  129, 130, 143  stopped by SIGHUP, SIGINT, SIGTERM, with the output off\n";
}
