// Where the instrument is: a serial port's device path, or a serial bridge on
// the network written tcp://HOST:PORT (a host name, an IPv4 address, or an
// IPv6 address in brackets). A GPIB address, where one is given, puts a
// Prologix controller in front of either.
#pragma once

#include <string>

enum class ConnectionKind { SerialPort, TcpBridge };

struct ConnectionAddress {
  ConnectionKind kind = ConnectionKind::SerialPort;
  std::string device;  // SerialPort: the device path, as given
  std::string host;    // TcpBridge: the host, without brackets
  int port = 0;        // TcpBridge: 1..65535
};

inline constexpr const char* kNetworkAddressPrefix = "tcp://";
// What a network address looks like, for messages about one that is not whole.
inline constexpr const char* kNetworkAddressForm =
    "tcp://HOST:PORT, with a host name, an IPv4 address or an IPv6 address in brackets, and a port from 1 to 65535";
// The TCP port of a Prologix GPIB-ETHERNET controller.
constexpr int kPrologixEthernetPort = 1234;

constexpr int kNoGpibAddress = -1;  // RS-232: no GPIB controller in front
constexpr int kLowestGpibAddress = 0;
constexpr int kHighestGpibAddress = 30;
constexpr int kDefaultGpibAddress = 24;  // the 2400's factory setting

// True for text that names a network address (it starts with "tcp://"),
// whole or not.
bool IsNetworkAddress(const std::string& text);

// Reads a device path or a tcp:// address. False when a tcp:// address is not
// whole; `problem` (when given) then says what is wrong with it, in a few words
// that fit after "The address ".
bool ParseConnectionAddress(const std::string& text, ConnectionAddress* address, std::string* problem = nullptr);

// The address as the user writes it: the device path, or tcp://HOST:PORT with
// an IPv6 host in brackets.
std::string ConnectionAddressText(const ConnectionAddress& address);

bool IsGpibAddress(int address);

// The kind of connection a port text and GPIB address make, in one word for
// records and messages to other programs: "serial", "tcp" (a serial bridge),
// "prologix-usb" (a GPIB-USB controller on a serial port) or
// "prologix-ethernet" (a GPIB-ETHERNET controller on TCP).
const char* ConnectionKindWord(const std::string& portText, int gpibAddress);
