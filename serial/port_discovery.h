// The serial ports this machine has, with what identifies them to a user.
//
// The Setup dialog and ivra-run list ports through a PortLister, which is
// ListSerialPorts in the programs and a list of their own in tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct SerialPortInfo {
  std::string device;       // what Open takes: "/dev/ttyUSB0", "COM3"
  std::string stableName;   // the /dev/serial/by-id/ name, empty where there is none
  std::string description;  // the system's description of a port that is not USB
  int usbVendorId = -1;     // -1 for a port that is not on USB
  int usbProductId = -1;
  std::string manufacturer;  // USB strings, empty where the device has none
  std::string product;
  std::string serialNumber;
};

using PortLister = std::function<std::vector<SerialPortInfo>()>;

// The detected ports, in natural order of their device names (ttyS2 before
// ttyS10). Built-in ports without a UART behind them are left out.
std::vector<SerialPortInfo> ListSerialPorts();

// The system's ports, unsorted.
std::vector<SerialPortInfo> ListSystemSerialPorts();

// What a user recognises the port by: "FTDI FT232R USB UART (A50285BI)" for a
// USB adapter, the system's description otherwise; empty when there is nothing.
std::string PortDescription(const SerialPortInfo& port);

// One line of a port list, path first, then the description, the USB ids and
// the stable name, tab-separated and without the empty ones; last, for an
// FTDI chip, "possibly a Prologix GPIB controller".
std::string PortListLine(const SerialPortInfo& port);

// Whether the port's USB ids are an FTDI chip's, as a Prologix GPIB-USB
// controller's are (along with many plain RS-232 adapters').
bool MayBePrologixController(const SerialPortInfo& port);

// Orders device names as a person would: "/dev/ttyS2" before "/dev/ttyS10".
bool NaturalLess(const std::string& a, const std::string& b);

// Whether a built-in port's UART type from sysfs (/sys/class/tty/ttySn/type)
// says there is no UART behind the device node.
bool IsPhantomUartType(const std::string& sysfsType);
