#include "programs/ivra/instrument_profile.h"

#include <string>

#include <wx/config.h>

#include "decimal/decimal_text.h"
#include "ui/instrument_dlg.h"

namespace {

// Numbers are kept as text with a "." and all the digits they need, so they
// read back exactly whatever the locale.
constexpr const char* kCurrentLimitKey = "/Instrument/CurrentLimit";
constexpr const char* kCurrentRangeKey = "/Instrument/CurrentRange";
constexpr const char* kNplcKey = "/Instrument/NPLC";
constexpr const char* kAutoZeroKey = "/Instrument/AutoZero";
constexpr const char* kBaudKey = "/Instrument/Baud";
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

}  // namespace

InstrumentSettings LoadInstrumentSettings(const wxConfigBase& config) {
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
}
