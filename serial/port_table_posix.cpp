#include "serial/port_table.h"

std::string DefaultPortDevicePath(int portNumber) { return "/dev/ttyS" + std::to_string(portNumber - 1); }
