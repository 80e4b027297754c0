#include "publish/broker_address.h"

#include <cctype>

std::string BrokerAddress::BrokerText() const {
  return std::string(tls ? "mqtts://" : "mqtt://") + (user.empty() ? "" : user + "@") + host + ":" +
         std::to_string(port);
}

bool ParseBrokerAddress(const std::string& text, BrokerAddress& address, std::string& error) {
  const std::string expected = "expected mqtt://[USER@]HOST[:PORT]/TOPIC/PREFIX, or mqtts:// for TLS";
  BrokerAddress parsed;
  std::string rest;
  if (text.rfind("mqtt://", 0) == 0) {
    rest = text.substr(7);
  } else if (text.rfind("mqtts://", 0) == 0) {
    parsed.tls = true;
    parsed.port = 8883;
    rest = text.substr(8);
  } else {
    error = "--mqtt: " + expected + ".";
    return false;
  }
  const std::size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  parsed.prefix = slash == std::string::npos ? "" : rest.substr(slash + 1);
  while (!parsed.prefix.empty() && parsed.prefix.back() == '/') parsed.prefix.pop_back();
  const std::size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    parsed.user = authority.substr(0, at);
    authority = authority.substr(at + 1);
    // A password typed here would show in ps and in the shell's history.
    if (parsed.user.find(':') != std::string::npos) {
      error = "--mqtt: put the password in --mqtt-password-file or IVRA_MQTT_PASSWORD, not in the address.";
      return false;
    }
  }
  const std::size_t colon = authority.rfind(':');
  parsed.host = authority.substr(0, colon);
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    bool digits = !port.empty() && port.size() <= 5;
    for (char c : port) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    parsed.port = digits ? std::stoi(port) : 0;
    if (parsed.port < 1 || parsed.port > 65535) {
      error = "--mqtt: the port must be a number between 1 and 65535.";
      return false;
    }
  }
  if (parsed.host.empty() || parsed.prefix.empty() || parsed.prefix.find_first_of("#+") != std::string::npos) {
    error = "--mqtt: " + expected + " (a host and a topic prefix without # or +).";
    return false;
  }
  address = parsed;
  return true;
}
