#include "ui/port_choices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "connection/connection_address.h"
#include "serial/port_table.h"
#include "text/port_open_message.h"
#include "text/printable_text.h"

namespace {

// Two names of one device: /dev/serial/by-id/... and /dev/ttyUSB0, or "com3"
// and "COM3" on Windows.
std::string DeviceKey(const std::string& device) {
#ifdef _WIN32
  std::string key = device;
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
  return key;
#else
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(device, error);
  return error ? device : canonical.string();
#endif
}

}  // namespace

std::vector<PortChoice> MakePortChoices(const PortTable& table, const std::vector<SerialPortInfo>& detected) {
  std::vector<PortChoice> choices;
  std::vector<std::string> comKeys;
  for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
    PortChoice choice;
    choice.portNumber = n;
    choice.device = table.DevicePath(n);
    const std::string name = "COM" + std::to_string(n);
    choice.label = choice.device == name ? name : name + " (" + PrintableText(choice.device) + ")";
    comKeys.push_back(DeviceKey(choice.device));
    choices.push_back(std::move(choice));
  }
  for (const SerialPortInfo& port : detected) {
    if (std::find(comKeys.begin(), comKeys.end(), DeviceKey(port.device)) != comKeys.end()) continue;
    PortChoice choice;
    choice.device = port.stableName.empty() ? port.device : port.stableName;
    choice.label = PortChoiceText(port);
    // As --list-ports says it: the user looking for the controller finds it here too.
    if (MayBePrologixController(port)) choice.label += " - possibly a Prologix GPIB controller";
    choices.push_back(std::move(choice));
  }
  PortChoice network;
  network.label = kNetworkAddressChoiceText;
  network.network = true;
  choices.push_back(std::move(network));
  return choices;
}

int FindPortChoice(const std::vector<PortChoice>& choices, const std::string& device) {
  if (device.empty()) return -1;
  const bool networkAddress = IsNetworkAddress(device);
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (networkAddress ? choices[i].network : choices[i].device == device) return static_cast<int>(i);
  }
  return -1;
}
