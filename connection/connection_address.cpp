#include "connection/connection_address.h"

#include <cctype>

namespace {

bool Fail(std::string* problem, const std::string& why) {
  if (problem != nullptr) *problem = why;
  return false;
}

// Host names and IPv4 addresses: letters, digits, '-', '.' and '_' (some
// labs' DNS has them). No blanks or control characters can slip through.
bool IsHostName(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '-' && c != '.' && c != '_') return false;
  }
  return true;
}

// Hex digits, ':' and '.' (an IPv4 tail), and a zone after '%' ("fe80::1%eth0").
bool IsIpv6Literal(const std::string& host) {
  if (host.find(':') == std::string::npos) return false;
  const std::size_t zone = host.find('%');
  for (std::size_t i = 0; i < host.size(); ++i) {
    const unsigned char u = static_cast<unsigned char>(host[i]);
    const bool inZone = zone != std::string::npos && i > zone;
    if (inZone ? !(std::isalnum(u) || u == '-' || u == '_' || u == '.')
               : !(std::isxdigit(u) || u == ':' || u == '.' || (i == zone && i + 1 < host.size()))) {
      return false;
    }
  }
  return true;
}

bool ParsePort(const std::string& text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}

}  // namespace

bool IsNetworkAddress(const std::string& text) {
  const std::string prefix = kNetworkAddressPrefix;
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

bool ParseConnectionAddress(const std::string& text, ConnectionAddress* address, std::string* problem) {
  ConnectionAddress parsed;
  if (!IsNetworkAddress(text)) {
    parsed.device = text;
    *address = parsed;
    return true;
  }
  parsed.kind = ConnectionKind::TcpBridge;
  const std::string rest = text.substr(std::string(kNetworkAddressPrefix).size());
  std::string portText;
  if (!rest.empty() && rest[0] == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos) return Fail(problem, "has an IPv6 address without its closing bracket");
    parsed.host = rest.substr(1, close - 1);
    if (!IsIpv6Literal(parsed.host)) return Fail(problem, "has no IPv6 address in its brackets");
    if (close + 1 >= rest.size() || rest[close + 1] != ':') return Fail(problem, "has no port");
    portText = rest.substr(close + 2);
  } else {
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return Fail(problem, "has no port");
    parsed.host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
    if (parsed.host.find(':') != std::string::npos) return Fail(problem, "has an IPv6 address outside brackets");
    if (parsed.host.empty()) return Fail(problem, "has no host");
    if (!IsHostName(parsed.host)) return Fail(problem, "has a host name with characters no host name has");
  }
  if (portText.empty()) return Fail(problem, "has no port");
  if (!ParsePort(portText, &parsed.port)) return Fail(problem, "has a port that is not a number from 1 to 65535");
  *address = parsed;
  return true;
}

std::string ConnectionAddressText(const ConnectionAddress& address) {
  if (address.kind == ConnectionKind::SerialPort) return address.device;
  const bool ipv6 = address.host.find(':') != std::string::npos;
  return kNetworkAddressPrefix + (ipv6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

bool IsGpibAddress(int address) { return address >= kLowestGpibAddress && address <= kHighestGpibAddress; }

const char* ConnectionKindWord(const std::string& portText, int gpibAddress) {
  const bool network = IsNetworkAddress(portText);
  if (IsGpibAddress(gpibAddress)) return network ? "prologix-ethernet" : "prologix-usb";
  return network ? "tcp" : "serial";
}
