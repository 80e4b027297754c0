// The message of a Start whose port could not be opened: "Can't open serial
// port" first, then the port, why it failed and what the user can do about it.
//
// Also the checks of a typed connection, with the same words in the window and
// for ivra-run's options: a tcp:// address and a GPIB address.
#pragma once

#include <optional>
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

// Why a port text that names a network address is not a whole one, e.g.
// "Please enter a network address as tcp://HOST:PORT, ...: this one has no
// port."; nothing for a whole one or a device.
std::optional<std::string> CheckNetworkAddress(const std::string& portText);

// Parses `text` as a GPIB address, 0..30: "Please enter an integer between 0
// and 30." when it is not one.
std::optional<std::string> CheckGpibAddress(const std::string& text, int& address);
