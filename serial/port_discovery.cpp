#include "serial/port_discovery.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

std::string Hex4(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xffff);
  return text;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports = ListSystemSerialPorts();
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return NaturalLess(a.device, b.device); });
  return ports;
}

std::string PortDescription(const SerialPortInfo& port) {
  std::string text = port.manufacturer;
  if (!port.product.empty()) {
    // Many adapters repeat the maker in the product string.
    if (text.empty() || port.product.compare(0, text.size(), text) == 0) {
      text = port.product;
    } else {
      text += " " + port.product;
    }
  }
  if (text.empty()) text = port.description;
  if (!port.serialNumber.empty()) text += (text.empty() ? "" : " ") + ("(" + port.serialNumber + ")");
  return text;
}

std::string PortListLine(const SerialPortInfo& port) {
  std::string line = port.device;
  const std::string description = PortDescription(port);
  if (!description.empty()) line += "\t" + description;
  if (port.usbVendorId >= 0) line += "\tUSB " + Hex4(port.usbVendorId) + ":" + Hex4(port.usbProductId);
  if (!port.stableName.empty()) line += "\t" + port.stableName;
  if (MayBePrologixController(port)) line += "\tpossibly a Prologix GPIB controller";
  return line;
}

bool MayBePrologixController(const SerialPortInfo& port) {
  constexpr int kFtdiVendorId = 0x0403;
  return port.usbVendorId == kFtdiVendorId;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (digitA && digitB) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
      // Compare the numbers by value: strip leading zeros, then length, then digits.
      std::size_t startA = i;
      std::size_t startB = j;
      while (startA + 1 < endA && a[startA] == '0') ++startA;
      while (startB + 1 < endB && b[startB] == '0') ++startB;
      if (endA - startA != endB - startB) return endA - startA < endB - startB;
      const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
      if (order != 0) return order < 0;
      i = endA;
      j = endB;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

bool IsPhantomUartType(const std::string& sysfsType) {
  // The kernel keeps a device node for every possible 8250 port; type 0
  // (PORT_UNKNOWN) means no UART answered at its address.
  std::size_t start = sysfsType.find_first_not_of(" \t\n");
  if (start == std::string::npos) return false;
  std::size_t end = sysfsType.find_last_not_of(" \t\n");
  return sysfsType.substr(start, end - start + 1) == "0";
}
