#include "serial/port_table.h"

namespace {

bool IsValidPortNumber(int portNumber) { return portNumber >= kFirstPortNumber && portNumber <= kLastPortNumber; }

}  // namespace

PortTable::PortTable() {
  for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) paths_[n - kFirstPortNumber] = DefaultPortDevicePath(n);
}

std::string PortTable::DevicePath(int portNumber) const {
  if (!IsValidPortNumber(portNumber)) return std::string();
  return paths_[portNumber - kFirstPortNumber];
}

bool PortTable::SetDevicePath(int portNumber, const std::string& path) {
  if (!IsValidPortNumber(portNumber)) return false;
  paths_[portNumber - kFirstPortNumber] = path;
  return true;
}
