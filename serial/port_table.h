// Which device serves each of the classic port numbers COM1..COM4.
//
// By default COMn is /dev/ttyS{n-1} on POSIX and "COMn" on Windows. A program
// holds one table; --com1=PATH .. --com4=PATH and --simulate point its ports
// elsewhere (a USB adapter, a /dev/serial/by-id/ path, a pseudo-terminal).
#pragma once

#include <array>
#include <string>

constexpr int kFirstPortNumber = 1;
constexpr int kLastPortNumber = 4;

// The platform's own device for port n (1..4): /dev/ttyS{n-1} or "COMn".
std::string DefaultPortDevicePath(int portNumber);

class PortTable {
 public:
  PortTable();

  // The device path of port n; an empty string for a number outside 1..4.
  std::string DevicePath(int portNumber) const;

  // Points port n at `path`. Returns false for a number outside 1..4.
  bool SetDevicePath(int portNumber, const std::string& path);

 private:
  std::array<std::string, kLastPortNumber - kFirstPortNumber + 1> paths_;
};
