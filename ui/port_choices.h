// The entries of the Setup dialog's port list: COM1..COM4 first, each with the
// device it maps to, then every other port found on the machine, and last the
// entry that stands for a network address (a serial bridge or a GPIB-ETHERNET
// controller), whose tcp://HOST:PORT is typed in a field of its own.
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"
#include "serial/port_table.h"

struct PortChoice {
  std::string label;  // "COM1 (/dev/ttyS0)", "/dev/ttyUSB0 - FTDI FT232R USB UART (A50285BI)"
  // What Start opens and what is remembered: the /dev/serial/by-id/ name where
  // there is one, so the choice follows a USB adapter to whatever ttyUSBn it
  // gets next time; the device path otherwise.
  std::string device;
  int portNumber = 0;    // 1..4 for COM1..COM4, 0 for a port chosen by its device
  bool network = false;  // the network address entry: no device of its own
};

// The label of the network address entry.
inline constexpr const char* kNetworkAddressChoiceText = "Network address (tcp://HOST:PORT)";

// COM1..COM4 with the devices `table` gives them, then the `detected` ports
// that they do not already stand for.
std::vector<PortChoice> MakePortChoices(const PortTable& table, const std::vector<SerialPortInfo>& detected);

// The index of the entry for `device`, or -1; a tcp:// address gives the
// network address entry.
int FindPortChoice(const std::vector<PortChoice>& choices, const std::string& device);
