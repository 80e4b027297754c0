// The message of a Start whose port could not be opened: "Can't open serial
// port" first, then the port, why it failed and what the user can do about it.
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"
#include "serial/serial_link.h"

// `detected` is listed when the port does not exist, so the user sees which
// ports there are instead.
std::string PortOpenFailureMessage(const PortOpenError& error, const std::vector<SerialPortInfo>& detected);

// PortListLine with control characters in every field shown escaped.
std::string PrintablePortListLine(const SerialPortInfo& port);

// "/dev/ttyUSB0 - FTDI FT232R USB UART (A50285BI)", or just the device.
std::string PortChoiceText(const SerialPortInfo& port);
