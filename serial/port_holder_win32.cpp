#include "serial/port_holder.h"

// Windows does not tell an ordinary program which process holds a COM port, and
// device access is not granted by group.
std::string FindPortHolder(const std::string&) { return std::string(); }

std::string DeviceGroupName(const std::string&) { return std::string(); }
