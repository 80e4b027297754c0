// Maps serial port numbers (COM1..COM4) to the device that serves them.
//
// By default COMn is /dev/ttyS{n-1} on POSIX and "COMn" on Windows. Every
// executable accepts --com1=PATH .. --com4=PATH to point a port elsewhere
// (a USB adapter, a /dev/serial/by-id/ path, a pseudo-terminal).
#pragma once

#include <string>

constexpr int kFirstPortNumber = 1;
constexpr int kLastPortNumber = 4;

// The device path of port n; an empty string for a number outside 1..4.
std::string PortDevicePath(int portNumber);

// Points port n at `path`. Returns false for a number outside 1..4.
bool SetPortDevicePath(int portNumber, const std::string& path);

// Puts every port back to its default device.
void ResetPortTable();

// If `arg` is "--comN=PATH" with N in 1..4, applies it and returns true.
bool ApplyPortOption(const char* arg);

// Applies and removes every --comN=PATH option from argv, keeping the order of
// the rest; argc is updated. Returns the number of options applied.
int ConsumePortOptions(int& argc, char** argv);
