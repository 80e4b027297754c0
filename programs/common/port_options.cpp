#include "programs/common/port_options.h"

#include "connection/connection_address.h"
#include "programs/common/field_message.h"
#include "text/port_open_message.h"
#include "text/setting_checks.h"

namespace {

// A --port value with a slash names a device; anything else is a port number.
bool IsDevicePath(const std::string& value) {
#ifdef _WIN32
  if (value.find('\\') != std::string::npos) return true;
#endif
  return value.find('/') != std::string::npos;
}

// "COM3" (any case) gives "3"; the digits are checked as a port number after.
bool SplitComName(const std::string& value, std::string& number) {
  if (value.size() < 4 || (value.compare(0, 3, "COM") != 0 && value.compare(0, 3, "com") != 0)) return false;
  number = value.substr(3);
  return number.find_first_not_of("0123456789") == std::string::npos;
}

// On Windows a COM name beyond COM4 is a device of its own, not a table port.
bool IsSystemComDevice([[maybe_unused]] const std::string& number) {
#ifdef _WIN32
  return !(number.size() == 1 && number[0] >= '1' && number[0] <= '4');
#else
  return false;
#endif
}

// Reads --port into settings; returns the problem, empty when it is good.
// `namedDevice` tells whether the value was a device rather than a port number.
std::string ApplyPort(const std::string& port, MeasurementSettings& settings, bool& namedDevice) {
  if (IsNetworkAddress(port)) {
    namedDevice = true;
    if (const auto problem = CheckNetworkAddress(port)) return FieldMessage("--port", *problem);
    settings.portPath = port;
    return {};
  }
  std::string comNumber;
  const bool comName = SplitComName(port, comNumber);
  namedDevice = IsDevicePath(port) || (comName && IsSystemComDevice(comNumber));
  if (namedDevice) {
    settings.portPath = port;
    return {};
  }
  if (const auto problem = CheckIntSetting(comName ? comNumber : port, kPortNumberRange, settings.portNumber)) {
    return FieldMessage("--port", *problem);
  }
  return {};
}

}  // namespace

bool PortOptions::GivesPath(int portNumber) const {
  for (const PortPathOption& option : comPaths) {
    if (option.portNumber == portNumber) return true;
  }
  return false;
}

int PortOptions::GpibAddress() const {
  int address = kNoGpibAddress;
  if (!gpib || CheckGpibAddress(*gpib, address)) return kNoGpibAddress;
  return address;
}

std::string ApplyComPaths(const PortOptions& options, PortTable& table, const std::string& missingPathWords) {
  for (const PortPathOption& option : options.comPaths) {
    if (option.path.empty()) return "--com" + std::to_string(option.portNumber) + " " + missingPathWords;
  }
  for (const PortPathOption& option : options.comPaths) table.SetDevicePath(option.portNumber, option.path);
  return {};
}

std::string ApplyPortOptions(const PortOptions& options, PortTable& table, MeasurementSettings& settings,
                             const std::string& missingPathWords) {
  std::string problem = ApplyComPaths(options, table, missingPathWords);
  if (!problem.empty()) return problem;
  bool namedDevice = false;
  if (options.port) problem = ApplyPort(*options.port, settings, namedDevice);
  if (problem.empty() && options.gpib) {
    if (const auto bad = CheckGpibAddress(*options.gpib, settings.gpibAddress)) problem = FieldMessage("--gpib", *bad);
  }
  if (problem.empty() && !namedDevice) settings.portPath = table.DevicePath(settings.portNumber);
  return problem;
}
