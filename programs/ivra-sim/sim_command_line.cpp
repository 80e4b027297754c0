#include "programs/ivra-sim/sim_command_line.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <vector>

#include <CLI/CLI.hpp>

#include "connection/connection_address.h"
#include "serial/line_settings.h"

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

// "300, 600, ... or 57600": the instrument's line speeds, for the --baud message.
std::string BaudRateList() {
  std::string list;
  for (const int* baud = std::begin(kBaudRates); baud != std::end(kBaudRates); ++baud) {
    if (baud != std::begin(kBaudRates)) list += baud + 1 == std::end(kBaudRates) ? " or " : ", ";
    list += std::to_string(*baud);
  }
  return list;
}

// The character forms of the instrument's RS-232 menu, for the --parity and
// --data-bits messages.
constexpr const char* kLineForms = "the instrument's forms are 8N1, 8E1, 8O1, 7E1 and 7O1";

bool ToParity(std::string text, SimParity& parity) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  if (text == "none") parity = SimParity::None;
  else if (text == "even") parity = SimParity::Even;
  else if (text == "odd") parity = SimParity::Odd;
  else return false;
  return true;
}

// --listen PORT, HOST:PORT or [IPv6]:PORT; the loopback address unless a host
// is given. Port 0 (alone) asks the system for a free one.
bool ToListenAddress(const std::string& text, SimAdapterOptions& adapter) {
  long long port = 0;
  if (text.find(':') == std::string::npos) {
    if (!ToInt(text, 0, 65535, port)) return false;
    adapter.listenPort = static_cast<int>(port);
    return true;
  }
  ConnectionAddress address;
  if (!ParseConnectionAddress(kNetworkAddressPrefix + text, &address)) return false;
  adapter.listenHost = address.host;
  adapter.listenPort = address.port;
  return true;
}

// An option with a value. CLI11 is told the value may be missing, so that a
// bare "--ohms" reaches the checks below and gets our own message.
struct ValueOption {
  const char* name;
  std::vector<std::string> values;
  CLI::Option* option = nullptr;

  bool Given() const { return option->count() > 0; }
  const std::string& Value() const { return values.back(); }
};

}  // namespace

std::string SimVersion() { return std::string("ivra-sim ") + IVRA_SIM_VERSION; }

std::string SimUsage(const std::string& program) {
  return "Usage: " + program +
         " [options]\n"
         "A simulated Keithley SourceMeter 2400 on a pseudo-terminal. Prints where a\n"
         "client connects as the first line (a device path, or tcp://HOST:PORT with\n"
         "--listen), then serves until SIGINT or SIGTERM.\n"
         "\n"
         "  --listen [HOST:]PORT  put the instrument's line on TCP, as a serial bridge\n"
         "                      (ser2net, a LAN-to-RS-232 box) does; on the loopback\n"
         "                      address unless HOST is given (--listen 0: a free port);\n"
         "                      one client at a time\n"
         "  --prologix          put a Prologix GPIB controller in front, on a pseudo-\n"
         "                      terminal of its own (GPIB-USB) or with --listen on TCP\n"
         "                      (GPIB-ETHERNET, whose port is 1234); it powers up in device\n"
         "                      mode at address 5 with read-after-write on\n"
         "  --gpib-address N    the instrument's address on the controller's bus, 0..30\n"
         "                      (default 24, the 2400's own)\n"
         "  --device PATH       serve this device instead of a new pseudo-terminal\n"
         "  --baud N            line speed, one of the instrument's rates from 300 to 57600\n"
         "                      (default 9600); a client at another speed is not understood\n"
         "                      and hears line noise for a reply it waits for\n"
         "  --parity P          none (default), even or odd, in any case\n"
         "  --data-bits N       8 (default) or 7; 7 only with even or odd parity: the\n"
         "                      instrument's forms are 8N1, 8E1, 8O1, 7E1 and 7O1\n"
         "  --line-noise RATE   flip each bit of every reply with probability RATE, from 0\n"
         "                      (default, off) to 0.5, drawn from --seed; the commands it\n"
         "                      receives are not disturbed. With parity, a byte whose\n"
         "                      parity comes out wrong arrives as a UART marks it\n"
         "                      (0xFF 0x00 byte); the counts go to stderr at the end\n"
         "  --ohms R            device under test: a resistor of R ohms (default 1e6)\n"
         "  --diode             device under test: a diode\n"
         "  --noise A           Gaussian noise on the current, standard deviation in amperes\n"
         "  --seed N            seed of the current's noise and the line noise (default 1)\n"
         "  --silent            never answer :READ?\n"
         "  --garbage           answer :READ? with text that holds no number\n"
         "  --one-number        answer :READ? with the voltage only\n"
         "  --long-reply        answer :READ? with more than 100 bytes\n"
         "  --slow MS           delay every :READ? answer by MS more milliseconds\n"
         "  --split-reply N     pause 250 ms after the first N bytes of every :READ? answer\n"
         "  --hang-up-after N   answer N :READ?, then drop the line in the middle of the next reply\n"
         "  --log FILE          write every received command with a time stamp to FILE\n"
         "  --version           show the version\n"
         "  --help              show this text\n";
}

SimCommandLine ParseSimCommandLine(int argc, const char* const* argv) {
  SimCommandLine result;
  SimOptions& o = result.options;

  CLI::App app;
  app.set_help_flag();  // our own --help text, not CLI11's
  app.allow_extras(true);
  app.allow_windows_style_options(false);
  for (const auto& flag :
       {std::make_pair("--help,-h", &result.help), std::make_pair("--version", &result.version),
        std::make_pair("--diode", &o.diode), std::make_pair("--silent", &o.silent),
        std::make_pair("--garbage", &o.garbage), std::make_pair("--one-number", &o.oneNumber),
        std::make_pair("--long-reply", &o.longReply), std::make_pair("--prologix", &result.adapter.prologix)}) {
    app.add_flag(flag.first, *flag.second)->disable_flag_override();
  }
  ValueOption device{"--device", {}}, baud{"--baud", {}}, ohms{"--ohms", {}}, noise{"--noise", {}}, seed{"--seed", {}},
      slow{"--slow", {}}, split{"--split-reply", {}}, hangUp{"--hang-up-after", {}}, log{"--log", {}},
      parity{"--parity", {}}, dataBits{"--data-bits", {}}, lineNoise{"--line-noise", {}}, listen{"--listen", {}},
      gpibAddress{"--gpib-address", {}};
  const std::initializer_list<ValueOption*> valueOptions = {&device,   &baud,      &ohms,   &noise,      &seed,
                                                            &slow,     &split,     &hangUp, &log,        &parity,
                                                            &dataBits, &lineNoise, &listen, &gpibAddress};
  for (ValueOption* option : valueOptions) {
    option->option = app.add_option(option->name, option->values)
                         ->expected(0, 1)
                         ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // The only parse error left is a value given to a flag ("--diode=yes"),
    // reported by CLI11 as "diode was given a disallowed flag override".
    const std::string what = e.what();
    result.error = "--" + what.substr(0, what.find(' ')) + " takes no value";
    return result;
  }
  if (!app.remaining().empty()) {
    result.error = "unknown option " + app.remaining().front();
    return result;
  }
  for (const ValueOption* option : valueOptions) {
    if (option->Given() && option->Value().empty()) {
      result.error = std::string(option->name) + (option == &device ? " needs a path"
                                                  : option == &log  ? " needs a file name"
                                                                    : " needs a value");
      return result;
    }
  }

  double number = 0.0;
  long long whole = 0;
  if (device.Given()) o.devicePath = device.Value();
  if (log.Given()) o.logPath = log.Value();
  if (baud.Given()) {
    if (!ToInt(baud.Value(), 0, INT_MAX, whole) || !IsInstrumentBaudRate(static_cast<int>(whole))) {
      result.error = "--baud needs one of the instrument's rates: " + BaudRateList();
      return result;
    }
    o.baud = static_cast<int>(whole);
  }
  if (ohms.Given()) {
    if (!ToDouble(ohms.Value(), number) || number <= 0.0) {
      result.error = "--ohms needs a resistance above 0";
      return result;
    }
    o.ohms = number;
  }
  if (noise.Given()) {
    if (!ToDouble(noise.Value(), number) || number < 0.0) {
      result.error = "--noise needs a current of 0 or more";
      return result;
    }
    o.noise = number;
  }
  if (seed.Given()) {
    if (!ToInt(seed.Value(), 0, UINT_MAX, whole)) {
      result.error = "--seed needs a whole number of 0 or more";
      return result;
    }
    o.seed = static_cast<unsigned>(whole);
  }
  if (slow.Given()) {
    if (!ToInt(slow.Value(), 0, 600000, whole)) {
      result.error = "--slow needs milliseconds from 0 to 600000";
      return result;
    }
    o.slowReplyMs = static_cast<int>(whole);
  }
  if (split.Given()) {
    if (!ToInt(split.Value(), 0, 1000, whole)) {
      result.error = "--split-reply needs a byte count from 0 to 1000";
      return result;
    }
    o.splitReplyAfter = static_cast<int>(whole);
  }
  if (hangUp.Given()) {
    if (!ToInt(hangUp.Value(), 0, INT_MAX, whole)) {
      result.error = "--hang-up-after needs a whole number of 0 or more";
      return result;
    }
    o.hangUpAfterReads = static_cast<int>(whole);
  }
  if (parity.Given() && !ToParity(parity.Value(), o.parity)) {
    result.error = std::string("--parity needs none, even or odd: ") + kLineForms;
    return result;
  }
  if (dataBits.Given()) {
    if (!ToInt(dataBits.Value(), 7, 8, whole)) {
      result.error = std::string("--data-bits needs 7 or 8: ") + kLineForms;
      return result;
    }
    o.dataBits = static_cast<int>(whole);
  }
  const Parity lineParity = o.parity == SimParity::Even  ? Parity::Even
                            : o.parity == SimParity::Odd ? Parity::Odd
                                                         : Parity::None;
  if (!IsInstrumentLineFormat({lineParity, o.dataBits})) {
    result.error = std::string("--data-bits 7 needs --parity even or odd: ") + kLineForms;
    return result;
  }
  if (lineNoise.Given()) {
    if (!ToDouble(lineNoise.Value(), number) || number < 0.0 || number > 0.5) {
      result.error = "--line-noise needs a bit error rate from 0 to 0.5";
      return result;
    }
    o.lineNoise = number;
  }
  if (listen.Given()) {
    if (!ToListenAddress(listen.Value(), result.adapter)) {
      result.error = "--listen needs PORT, HOST:PORT or [IPv6]:PORT, with a port from 1 to 65535";
      return result;
    }
    result.adapter.listen = true;
  }
  if (gpibAddress.Given()) {
    if (!ToInt(gpibAddress.Value(), kLowestGpibAddress, kHighestGpibAddress, whole)) {
      result.error = "--gpib-address needs an address from 0 to 30";
      return result;
    }
    if (!result.adapter.prologix) {
      result.error = "--gpib-address needs --prologix: without a controller the instrument is on RS-232";
      return result;
    }
    result.adapter.gpibAddress = static_cast<int>(whole);
  }
  // A served device's UART makes its own parity bit: the marks would go out
  // as bytes instead of reaching the client as errors.
  if (o.lineNoise > 0.0 && o.parity != SimParity::None && !o.devicePath.empty()) {
    result.error = "--line-noise with --parity needs the simulator's own pseudo-terminal, not --device";
    return result;
  }
  return result;
}
