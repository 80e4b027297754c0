#include "connection/connection_address.h"

#include <gtest/gtest.h>

TEST(ConnectionAddress, DevicePathsAndNetworkAddressesReadBackAsWritten) {
  struct Case {
    const char* text;
    ConnectionKind kind;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"/dev/ttyUSB0", ConnectionKind::SerialPort, "", 0},
      {"COM3", ConnectionKind::SerialPort, "", 0},
      {"tcp://bridge.lab:4001", ConnectionKind::TcpBridge, "bridge.lab", 4001},
      {"tcp://192.168.1.20:1234", ConnectionKind::TcpBridge, "192.168.1.20", 1234},
      {"tcp://[::1]:5025", ConnectionKind::TcpBridge, "::1", 5025},
      {"tcp://[fe80::1%eth0]:65535", ConnectionKind::TcpBridge, "fe80::1%eth0", 65535},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ConnectionAddress address;
    std::string problem;
    ASSERT_TRUE(ParseConnectionAddress(c.text, &address, &problem)) << problem;
    EXPECT_EQ(address.kind, c.kind);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
    EXPECT_EQ(ConnectionAddressText(address), c.text);
  }
  ConnectionAddress upper;
  ASSERT_TRUE(ParseConnectionAddress("TCP://h:1", &upper));
  EXPECT_EQ(ConnectionAddressText(upper), "tcp://h:1");
}

TEST(ConnectionAddress, ANetworkAddressThatIsNotWholeSaysWhatIsMissing) {
  const std::pair<const char*, const char*> cases[] = {
      {"tcp://", "has no port"},
      {"tcp://host", "has no port"},
      {"tcp://host:", "has no port"},
      {"tcp://:4001", "has no host"},
      {"tcp://host:x", "has a port that is not a number from 1 to 65535"},
      {"tcp://host:65536", "has a port that is not a number from 1 to 65535"},
      {"tcp://host:0", "has a port that is not a number from 1 to 65535"},
      {"tcp://host:-1", "has a port that is not a number from 1 to 65535"},
      {"tcp://::1:5025", "has an IPv6 address outside brackets"},
      {"tcp://[::1:5025", "has an IPv6 address without its closing bracket"},
      {"tcp://[host]:5025", "has no IPv6 address in its brackets"},
      {"tcp://[::1]5025", "has no port"},
      {"tcp://bad host:1", "has a host name with characters no host name has"},
      {"tcp://host\n:1", "has a host name with characters no host name has"},
  };
  for (const auto& [text, why] : cases) {
    SCOPED_TRACE(text);
    ConnectionAddress address;
    std::string problem;
    EXPECT_FALSE(ParseConnectionAddress(text, &address, &problem));
    EXPECT_EQ(problem, why);
  }
  EXPECT_TRUE(IsGpibAddress(0));
  EXPECT_TRUE(IsGpibAddress(30));
  EXPECT_FALSE(IsGpibAddress(31));
  EXPECT_FALSE(IsGpibAddress(kNoGpibAddress));
}
