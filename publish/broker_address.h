// An MQTT broker as a lab writes it: mqtt://[USER@]HOST[:PORT]/TOPIC/PREFIX,
// or mqtts:// for TLS. The password never goes in it.
#pragma once

#include <string>

struct BrokerAddress {
  bool tls = false;
  std::string user;  // empty: connect without a user name
  std::string host;
  int port = 1883;     // 8883 for mqtts://
  std::string prefix;  // topics go below it: PREFIX/reading, PREFIX/status

  // The address as given, without the prefix: for messages.
  std::string BrokerText() const;
};

// Parses `text`. On failure returns false with a sentence in `error` that says
// what the address should look like.
bool ParseBrokerAddress(const std::string& text, BrokerAddress& address, std::string& error);
