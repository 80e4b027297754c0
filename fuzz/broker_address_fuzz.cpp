// Broker addresses on any text. One that is taken has a host, a port in
// range, a topic prefix without wildcards or a trailing "/" and no password,
// and written back as BrokerText()/PREFIX it is taken again as the same
// address. One that is refused says why in a sentence about --mqtt.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "publish/broker_address.h"

namespace {

bool SameAddress(const BrokerAddress& a, const BrokerAddress& b) {
  return a.tls == b.tls && a.user == b.user && a.host == b.host && a.port == b.port && a.prefix == b.prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  BrokerAddress address;
  std::string error;
  if (!ParseBrokerAddress(text, address, error)) {
    FUZZ_CHECK(error.rfind("--mqtt: ", 0) == 0 && error.back() == '.');
    return 0;
  }
  FUZZ_CHECK(error.empty());
  FUZZ_CHECK(address.tls == (text.rfind("mqtts://", 0) == 0));
  FUZZ_CHECK(!address.host.empty() && address.host.find_first_of("/@") == std::string::npos);
  FUZZ_CHECK(address.port >= 1 && address.port <= 65535);
  FUZZ_CHECK(address.user.find_first_of(":/") == std::string::npos);
  FUZZ_CHECK(!address.prefix.empty() && address.prefix.back() != '/');
  FUZZ_CHECK(address.prefix.find_first_of("#+") == std::string::npos);
  // Without a port the scheme's own.
  if (address.host.find(':') == std::string::npos && text.find(address.host + ":") == std::string::npos) {
    FUZZ_CHECK(address.port == (address.tls ? 8883 : 1883));
  }

  BrokerAddress again;
  FUZZ_CHECK(ParseBrokerAddress(address.BrokerText() + "/" + address.prefix, again, error));
  FUZZ_CHECK(SameAddress(again, address));
  return 0;
}
