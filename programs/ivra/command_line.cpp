#include "programs/ivra/command_line.h"

#include <cstdio>

#include <wx/cmdline.h>
#include <wx/msgout.h>

#include "connection/connection_address.h"
#include "serial/port_table.h"

namespace {

// Collects what the parser would print, so the error goes out in our format.
class CollectedOutput final : public wxMessageOutput {
 public:
  wxString text;

 protected:
  void Output(const wxString& str) override { text += str; }
};

}  // namespace

IvraCommandLine ParseIvraCommandLine(const std::vector<std::string>& args) {
  IvraCommandLine line;
  std::vector<std::string> argvText{"ivra"};
  argvText.insert(argvText.end(), args.begin(), args.end());
  // The publishing options are shared with ivra-run and read by their own parser.
  const std::string publishError = ExtractPublishOptions(argvText, false, line.publish);
  std::vector<char*> argv;
  for (std::string& arg : argvText) argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  wxCmdLineParser parser;
  parser.SetSwitchChars("-");
  parser.AddSwitch("h", "help", "show this text", wxCMD_LINE_OPTION_HELP);
  parser.AddLongSwitch("simulate");
  parser.AddLongSwitch("version");
  parser.AddLongOption("port", wxEmptyString, wxCMD_LINE_VAL_STRING);
  parser.AddLongOption("gpib", wxEmptyString, wxCMD_LINE_VAL_STRING);
  for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
    parser.AddLongOption("com" + std::to_string(n), wxEmptyString, wxCMD_LINE_VAL_STRING,
                         wxCMD_LINE_PARAM_MULTIPLE | wxCMD_LINE_NEEDS_SEPARATOR);
  }
  parser.SetCmdLine(static_cast<int>(argvText.size()), argv.data());

  CollectedOutput collected;
  wxMessageOutput* previous = wxMessageOutput::Set(&collected);
  const int result = parser.Parse(false);
  wxMessageOutput::Set(previous);
  if (result == -1) {
    line.help = true;
    return line;
  }
  if (result != 0) {
    line.error = collected.text.utf8_string();
    while (!line.error.empty() && line.error.back() == '\n') line.error.pop_back();
    if (line.error.empty()) line.error = "bad command line";
    return line;
  }
  line.ports.simulate = parser.FoundSwitch("simulate") == wxCMD_SWITCH_ON;
  line.version = parser.FoundSwitch("version") == wxCMD_SWITCH_ON;
  wxString value;
  if (parser.Found("port", &value)) line.ports.port = value.utf8_string();
  if (parser.Found("gpib", &value)) line.ports.gpib = value.utf8_string();
  // In the order given, so the last of two --com1 wins as it always did.
  for (const wxCmdLineArg& arg : parser.GetArguments()) {
    if (arg.GetKind() != wxCMD_LINE_OPTION) continue;
    if (arg.GetLongName() == "port" || arg.GetLongName() == "gpib") continue;
    const std::string name = arg.GetLongName().utf8_string();  // "com1" .. "com4"
    line.ports.comPaths.push_back(PortPathOption{std::stoi(name.substr(3)), arg.GetStrVal().utf8_string()});
  }
  // The check the program makes when it applies the paths, made here already
  // so that main() can answer before the toolkit starts.
  PortTable scratch;
  line.error = ApplyComPaths(line.ports, scratch, kMissingPortPathWords);
  // The window's serial devices come from --comN; --port here is a network address only.
  if (line.error.empty() && line.ports.port && !IsNetworkAddress(*line.ports.port)) {
    line.error = std::string("--port: please enter a network address as ") + kNetworkAddressForm +
                 "; a serial device is given with --comN=PATH.";
  }
  if (line.error.empty()) {
    MeasurementSettings scratchSettings;
    line.error = ApplyPortOptions(line.ports, scratch, scratchSettings, kMissingPortPathWords);
  }
  if (line.error.empty()) line.error = publishError;
  return line;
}

std::string IvraUsage() {
  return "Usage: ivra [--simulate] [--com1=PATH] [--com2=PATH] [--com3=PATH] [--com4=PATH]\n"
         "            [--port=tcp://HOST:PORT] [--gpib=ADDRESS]\n"
         "       ivra --help | --version\n"
         "  --simulate     serve COM1 from a simulated SourceMeter 2400 on a pseudo-terminal\n"
         "  --comN=PATH    use the device PATH for serial port COMN (N = 1..4)\n"
         "  --port=tcp://HOST:PORT\n"
         "                 preset Setup's network address (a serial bridge, or a Prologix\n"
         "                 GPIB-ETHERNET controller with --gpib); with --simulate the\n"
         "                 simulated instrument is served there\n"
         "  --gpib=ADDRESS preset Setup's GPIB address (0..30), a Prologix controller in\n"
         "                 front; with --simulate the simulated instrument gets one\n"
         "  --version      show the program's version\n"
         "  --help         show this text\n" +
         PublishUsage(false) + "Measurement > Start lists every serial port found, USB adapters included.\n";
}

std::optional<int> AnswerOnTheConsole(const IvraCommandLine& line, const char* version) {
  if (line.help) {
    std::fputs(IvraUsage().c_str(), stdout);
    return 0;
  }
  if (line.version) {
    std::printf("ivra %s\nLicence: MIT\n", version);
    return 0;
  }
  if (!line.error.empty()) {
    std::fprintf(stderr, "ivra: %s\n%s", line.error.c_str(), IvraUsage().c_str());
    return 2;
  }
  return std::nullopt;
}
