// The system's serial ports from libserialport, with the /dev/serial/by-id/
// names that udev keeps and without the built-in ports that have no UART.
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include <dirent.h>
#include <libserialport.h>

#include "serial/port_discovery.h"

namespace {

std::string Text(const char* value) { return value != nullptr ? value : std::string(); }

std::string RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string result = resolved;
  std::free(resolved);
  return result;
}

// Device path -> its /dev/serial/by-id/ name.
std::map<std::string, std::string> StableNames() {
  static const std::string kDir = "/dev/serial/by-id";
  std::map<std::string, std::string> names;
  DIR* dir = opendir(kDir.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const std::string link = kDir + "/" + entry->d_name;
    const std::string target = RealPath(link);
    if (!target.empty()) names.emplace(target, link);
  }
  closedir(dir);
  return names;
}

bool IsPhantomBuiltInPort(const std::string& device) {
  static const std::string kPrefix = "/dev/ttyS";
  if (device.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  std::ifstream type("/sys/class/tty/" + device.substr(5) + "/type");
  std::string text;
  if (!std::getline(type, text)) return false;  // no type to go by: keep it
  return IsPhantomUartType(text);
}

}  // namespace

std::vector<SerialPortInfo> ListSystemSerialPorts() {
  std::vector<SerialPortInfo> ports;
  sp_port** list = nullptr;
  if (sp_list_ports(&list) != SP_OK || list == nullptr) return ports;
  const std::map<std::string, std::string> stableNames = StableNames();
  for (int i = 0; list[i] != nullptr; ++i) {
    sp_port* port = list[i];
    SerialPortInfo info;
    info.device = Text(sp_get_port_name(port));
    if (info.device.empty() || IsPhantomBuiltInPort(info.device)) continue;
    info.description = Text(sp_get_port_description(port));
    const sp_transport transport = sp_get_port_transport(port);
    // For a port on the main board the library can only repeat the name.
    if (transport == SP_TRANSPORT_NATIVE && info.device == "/dev/" + info.description) {
      info.description = "built-in serial port";
    }
    if (transport == SP_TRANSPORT_USB) {
      int vendor = -1;
      int product = -1;
      if (sp_get_port_usb_vid_pid(port, &vendor, &product) == SP_OK) {
        info.usbVendorId = vendor;
        info.usbProductId = product;
      }
      info.manufacturer = Text(sp_get_port_usb_manufacturer(port));
      info.product = Text(sp_get_port_usb_product(port));
      info.serialNumber = Text(sp_get_port_usb_serial(port));
    }
    const auto stable = stableNames.find(RealPath(info.device));
    if (stable != stableNames.end()) info.stableName = stable->second;
    ports.push_back(std::move(info));
  }
  sp_free_port_list(list);
  return ports;
}
