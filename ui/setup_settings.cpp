#include "ui/setup_settings.h"

#include <cmath>
#include <sstream>
#include <utility>

#include <wx/config.h>
#include <wx/log.h>

#include "connection/connection_address.h"
#include "decimal/decimal_text.h"
#include "text/port_open_message.h"
#include "text/setting_checks.h"
#include "ui/instrument_dlg.h"

namespace {

// The port and the output file of the last accepted Setup, preset by the next one.
constexpr const char* kRememberedPortKey = "/Setup/PortPath";
constexpr const char* kRememberedOutputKey = "/Setup/OutputFile";
// The numbers of the last accepted Setup, as text, so that a time between
// samples with decimals reads back as it was typed.
constexpr const char* kSampleIntervalKey = "/Setup/SampleInterval";
constexpr const char* kMeasurementTimeKey = "/Setup/MeasurementTime";
constexpr const char* kOutputVoltageKey = "/Setup/OutputVoltage";
// The connection beyond the port: the network address typed last (kept also
// while a serial port is chosen) and the GPIB address, -1 for none.
constexpr const char* kNetworkAddressKey = "/Setup/NetworkAddress";
constexpr const char* kGpibAddressKey = "/Setup/GpibAddress";
// The bias schedule: its steps as "VOLTS:SECONDS" pairs separated by blanks
// (none: no steps), the passes, and the ramp rate (0: none).
constexpr const char* kStepsKey = "/Setup/Steps";
constexpr const char* kRepeatKey = "/Setup/Repeat";
constexpr const char* kRampKey = "/Setup/Ramp";

// Set by the command line for the whole session.
std::optional<int> g_sessionGpibAddress;

// Numbers are kept as text with a "." and all the digits they need, so they
// read back exactly whatever the locale.
constexpr const char* kCurrentLimitKey = "/Instrument/CurrentLimit";
constexpr const char* kCurrentRangeKey = "/Instrument/CurrentRange";
constexpr const char* kNplcKey = "/Instrument/NPLC";
constexpr const char* kAutoZeroKey = "/Instrument/AutoZero";
constexpr const char* kBaudKey = "/Instrument/Baud";
constexpr const char* kParityKey = "/Instrument/Parity";
constexpr const char* kDataBitsKey = "/Instrument/DataBits";

const char* ParityWord(Parity parity) {
  return parity == Parity::Even ? "even" : parity == Parity::Odd ? "odd" : "none";
}
constexpr const char* kAutoRangeText = "auto";

bool ReadNumber(const wxConfigBase& config, const char* key, double& value) {
  wxString text;
  if (!config.Read(key, &text)) return false;
  const std::string number = text.utf8_string();
  std::size_t pos = 0;
  double parsed = 0.0;
  if (!ParseDecimal(number, pos, parsed) || pos != number.size()) return false;
  value = parsed;
  return true;
}

const char* AutoZeroText(AutoZero mode) {
  switch (mode) {
    case AutoZero::On: return "on";
    case AutoZero::Once: return "once";
    case AutoZero::Off: return "off";
  }
  return "on";
}

// The output file the Setup presets: the last accepted one, from the profile
// until a Start of this session has chosen one.
std::string PresetOutputFile(const MeasurementSettings& last) {
  // Before the first Start of the session the settings hold no choice of the user's.
  if (!last.portPath.empty()) return last.outputPath;
  wxString remembered;
  wxConfigBase* config = wxConfigBase::Get(false);
  if (config != nullptr && config->Read(kRememberedOutputKey, &remembered)) return remembered.utf8_string();
  return {};
}

// The schedule from the profile; one the Steps dialog would refuse (a
// hand-edited profile) reads as none, as a whole.
BiasSchedule LoadSchedule(const wxConfigBase& config) {
  BiasSchedule schedule;
  wxString text;
  if (config.Read(kStepsKey, &text)) {
    std::istringstream pairs(text.utf8_string());
    std::string pair;
    while (pairs >> pair) {
      BiasStep step;
      if (CheckStepPair(pair, kMinSampleIntervalMs, step)) return {};
      schedule.steps.push_back(step);
    }
  }
  if (schedule.HasSteps() && config.Read(kRepeatKey, &text) &&
      CheckIntSetting(text.utf8_string(), kRepeatRange, schedule.repeat)) {
    return {};
  }
  double rate = 0.0;
  if (ReadNumber(config, kRampKey, rate) && std::isfinite(rate) && rate > 0.0) schedule.rampVoltsPerSecond = rate;
  if (CheckScheduleTotal(schedule)) return {};
  return schedule;
}

void SaveSchedule(wxConfigBase& config, const BiasSchedule& schedule) {
  std::string pairs;
  for (const BiasStep& step : schedule.steps) {
    if (!pairs.empty()) pairs += ' ';
    pairs += ExactNumberText(step.volts) + ":" + ExactNumberText(static_cast<double>(step.durationMs) / 1000.0);
  }
  config.Write(kStepsKey, wxString::FromUTF8(pairs));
  config.Write(kRepeatKey, static_cast<long>(schedule.repeat));
  config.Write(kRampKey, wxString::FromAscii(ExactNumberText(schedule.rampVoltsPerSecond).c_str()));
}

// The dialog's numbers from the profile; a value missing or one the dialog
// would refuse (a hand-edited profile) keeps the dialog's own.
void PresetNumbersFromProfile(CComPortDlg& dialog) {
  const wxConfigBase* config = wxConfigBase::Get(false);
  if (config == nullptr) return;
  wxLogNull quiet;  // a value of another type reads as missing
  wxString text;
  int whole = 0;
  int ms = 0;
  double number = 0.0;
  if (config->Read(kSampleIntervalKey, &text) && !CheckIntervalSetting(text.utf8_string(), whole, ms)) {
    dialog.m_nSampleInterval = whole;
    dialog.m_nSampleIntervalMs = ms;
  }
  if (config->Read(kMeasurementTimeKey, &text) && !CheckIntSetting(text.utf8_string(), kMeasurementTimeRange, whole)) {
    dialog.m_nMeasurementTime = whole;
  }
  if (config->Read(kOutputVoltageKey, &text) && !CheckDoubleSetting(text.utf8_string(), kOutputVoltageRange, number)) {
    dialog.m_dOutputVoltage = number;
  }
  dialog.m_schedule = LoadSchedule(*config);
}

// The network and GPIB addresses from the profile; a GPIB address out of
// range (a hand-edited profile) reads as none.
void PresetConnectionFromProfile(CComPortDlg& dialog) {
  if (g_sessionGpibAddress) {
    dialog.m_nGpibAddress = *g_sessionGpibAddress;
    return;
  }
  const wxConfigBase* config = wxConfigBase::Get(false);
  if (config == nullptr) return;
  // A value of another type (an older or hand-edited profile) reads as missing, without a message box.
  wxLogNull quiet;
  wxString text;
  if (config->Read(kNetworkAddressKey, &text)) dialog.m_strNetworkAddress = text.utf8_string();
  int address = kNoGpibAddress;
  if (config->Read(kGpibAddressKey, &text) && !CheckGpibAddress(text.utf8_string(), address)) {
    dialog.m_nGpibAddress = address;
  }
}

void SaveConnection(wxConfigBase& config, const CComPortDlg& dialog) {
  if (g_sessionGpibAddress) return;
  config.Write(kNetworkAddressKey, wxString::FromUTF8(dialog.m_strNetworkAddress));
  // As text, as it is read: Windows' registry keeps a number as another type.
  config.Write(kGpibAddressKey, wxString::Format("%d", dialog.m_nGpibAddress));
}

void SaveNumbers(wxConfigBase& config, const MeasurementSettings& accepted) {
  config.Write(kSampleIntervalKey, wxString::FromAscii(IntervalText(IntervalMs(accepted)).c_str()));
  config.Write(kMeasurementTimeKey, wxString::FromAscii(ExactNumberText(accepted.measurementTime).c_str()));
  config.Write(kOutputVoltageKey, wxString::FromAscii(ExactNumberText(accepted.outputVoltage).c_str()));
}

}  // namespace

SetupSettings::SetupSettings(const PortTable& ports, const PortLister& listPorts, std::string rememberedPortPath,
                             InstrumentSettings& instrument)
    : m_ports(ports),
      m_listPorts(listPorts),
      m_rememberedPortPath(std::move(rememberedPortPath)),
      m_instrument(instrument) {}

std::optional<MeasurementSettings> SetupSettings::Ask(const MeasurementSettings& last, SetupField focus) {
  CComPortDlg dialog(nullptr, m_ports, m_listPorts);
  Preset(dialog, last);
  dialog.m_focusField = focus;
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  MeasurementSettings accepted = Accepted(dialog, last);
  m_instrument = accepted.instrument;
  if (wxConfigBase* config = wxConfigBase::Get(false)) {
    config->Write(kRememberedOutputKey, wxString::FromUTF8(accepted.outputPath));
    SaveNumbers(*config, accepted);
    SaveConnection(*config, dialog);
    SaveSchedule(*config, accepted.bias);
  }
  return accepted;
}

void SetupSettings::Preset(CComPortDlg& dialog, const MeasurementSettings& last) const {
  dialog.m_nPortIndex = (last.portNumber - 1) & 3;
  // Preselected when the list has it.
  dialog.m_strPortPath = last.portPath.empty() ? m_rememberedPortPath : last.portPath;
  dialog.m_strOutputFile = PresetOutputFile(last);
  dialog.m_instrument = m_instrument;
  // Before the first Start of the session the settings hold no choice of the user's.
  if (last.portPath.empty()) {
    PresetNumbersFromProfile(dialog);
    PresetConnectionFromProfile(dialog);
  } else {
    if (wxConfigBase* config = wxConfigBase::Get(false); config != nullptr && !g_sessionGpibAddress) {
      wxString text;
      if (config->Read(kNetworkAddressKey, &text)) dialog.m_strNetworkAddress = text.utf8_string();
    }
    dialog.m_nGpibAddress = last.gpibAddress;
    dialog.m_nSampleInterval = last.sampleInterval;
    dialog.m_nSampleIntervalMs = last.sampleIntervalMs;
    dialog.m_nMeasurementTime = last.measurementTime;
    dialog.m_dOutputVoltage = last.outputVoltage;
    dialog.m_schedule = last.bias;
  }
}

MeasurementSettings SetupSettings::Accepted(const CComPortDlg& dialog, const MeasurementSettings& last) const {
  MeasurementSettings accepted;
  // COM1..COM4 go through the port table as always; any other port by its device.
  const PortChoice& chosen = dialog.ChosenPort();
  accepted.portNumber = chosen.portNumber != 0 ? chosen.portNumber : last.portNumber;
  accepted.portPath = chosen.portNumber != 0 ? m_ports.DevicePath(chosen.portNumber)
                      : chosen.network       ? dialog.m_strNetworkAddress
                                             : chosen.device;
  accepted.gpibAddress = dialog.m_nGpibAddress;
  accepted.sampleInterval = dialog.m_nSampleInterval;
  accepted.sampleIntervalMs = dialog.m_nSampleIntervalMs;
  accepted.measurementTime = dialog.m_nMeasurementTime;
  accepted.outputPath = dialog.GetOutputFile();
  accepted.outputVoltage = dialog.m_dOutputVoltage;
  accepted.instrument = dialog.m_instrument;
  accepted.bias = dialog.m_schedule;
  return accepted;
}

void SetSessionGpibAddress(int address) { g_sessionGpibAddress = address; }

std::string LoadRememberedPortPath(const wxConfigBase& config) {
  wxString path;
  if (!config.Read(kRememberedPortKey, &path)) return {};
  return path.utf8_string();
}

void SaveRememberedPortPath(wxConfigBase& config, const std::string& path) {
  config.Write(kRememberedPortKey, wxString::FromUTF8(path));
}

InstrumentSettings LoadInstrumentSettings(const wxConfigBase& config) {
  wxLogNull quiet;  // a value of another type reads as missing
  InstrumentSettings settings;
  double number = 0.0;
  if (ReadNumber(config, kCurrentLimitKey, number) && IsAllowedCurrentLimit(number)) settings.currentLimit = number;
  if (ReadNumber(config, kCurrentRangeKey, number) && CurrentRangeIndex(number) > 0) settings.currentRange = number;
  if (ReadNumber(config, kNplcKey, number) && IsAllowedNplc(number)) settings.nplc = number;
  wxString text;
  if (config.Read(kAutoZeroKey, &text)) {
    for (AutoZero mode : {AutoZero::On, AutoZero::Once, AutoZero::Off}) {
      if (text == AutoZeroText(mode)) settings.autoZero = mode;
    }
  }
  long baud = 0;
  if (config.Read(kBaudKey, &baud) && baud == static_cast<int>(baud) && BaudRateIndex(static_cast<int>(baud)) >= 0) {
    settings.baud = static_cast<int>(baud);
  }
  LineFormat format;
  long dataBits = 8;
  if (config.Read(kParityKey, &text)) {
    for (Parity parity : {Parity::None, Parity::Even, Parity::Odd}) {
      if (text == ParityWord(parity)) format.parity = parity;
    }
  }
  if (config.Read(kDataBitsKey, &dataBits) && (dataBits == 7 || dataBits == 8))
    format.dataBits = static_cast<int>(dataBits);
  // A hand-edited profile never presets a format the instrument lacks.
  if (IsInstrumentLineFormat(format)) settings.lineFormat = format;
  return settings;
}

void SaveInstrumentSettings(wxConfigBase& config, const InstrumentSettings& settings) {
  config.Write(kCurrentLimitKey, wxString::FromAscii(ExactNumberText(settings.currentLimit).c_str()));
  config.Write(kCurrentRangeKey, settings.currentRange == 0.0
                                     ? wxString(kAutoRangeText)
                                     : wxString::FromAscii(ExactNumberText(settings.currentRange).c_str()));
  config.Write(kNplcKey, wxString::FromAscii(ExactNumberText(settings.nplc).c_str()));
  config.Write(kAutoZeroKey, wxString(AutoZeroText(settings.autoZero)));
  config.Write(kBaudKey, static_cast<long>(settings.baud));
  config.Write(kParityKey, wxString(ParityWord(settings.lineFormat.parity)));
  config.Write(kDataBitsKey, static_cast<long>(settings.lineFormat.dataBits));
}
