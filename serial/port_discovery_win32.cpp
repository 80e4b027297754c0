// The system's COM ports on Windows, from the registry key the serial drivers
// fill (HARDWARE\DEVICEMAP\SERIALCOMM): one value per port, its data the name.
#include <windows.h>

#include "serial/port_discovery.h"

std::vector<SerialPortInfo> ListSystemSerialPorts() {
  std::vector<SerialPortInfo> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    char valueName[256];
    DWORD valueNameSize = sizeof valueName;
    BYTE data[256];
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    const LONG status = RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize] = 0;
    SerialPortInfo info;
    info.device = reinterpret_cast<const char*>(data);
    // The value name is only the driver's device object ("\Device\Serial0"):
    // no description a user would recognise.
    if (!info.device.empty()) ports.push_back(std::move(info));
  }
  RegCloseKey(key);
  return ports;
}
