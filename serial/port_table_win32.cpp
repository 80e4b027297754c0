#include "serial/port_table.h"

std::string DefaultPortDevicePath(int portNumber) { return "COM" + std::to_string(portNumber); }
