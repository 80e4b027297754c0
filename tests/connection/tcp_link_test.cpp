#include "connection/tcp_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "connection/connection_link.h"
#include "serial/serial_link.h"
#include "text/port_open_message.h"

namespace {

// A listening socket on a free loopback port: the serial bridge's side.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 1);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() {
    if (peer_ >= 0) close(peer_);
    if (fd_ >= 0) close(fd_);
  }
  int Port() const { return port_; }
  std::string Address() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
  int Accept() { return peer_ = accept(fd_, nullptr, nullptr); }
  std::string Receive(std::size_t count) {
    std::string got;
    char c;
    while (got.size() < count && read(peer_, &c, 1) == 1) got += c;
    return got;
  }
  void Send(const std::string& text) { ASSERT_EQ(write(peer_, text.data(), text.size()), ssize_t(text.size())); }
  void HangUp() {
    close(peer_);
    peer_ = -1;
  }
  void StopListening() {
    close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  int peer_ = -1;
  int port_ = 0;
};

}  // namespace

TEST(TcpLink, CarriesBytesBothWaysAndABridgeThatHangsUpIsALostPort) {
  Listener bridge;
  TcpInstrumentLink link;
  PortOpenError error;
  ASSERT_TRUE(link.Open(bridge.Address(), &error));
  ASSERT_GE(bridge.Accept(), 0);

  ASSERT_TRUE(link.Write(":READ?\r", 7));
  EXPECT_EQ(bridge.Receive(7), ":READ?\r");
  bridge.Send("+1.0E0\r");
  char reply[100] = {};
  EXPECT_EQ(link.Read(reply, sizeof reply), 7);  // ends 200 ms after the last byte, as on a serial line
  EXPECT_EQ(std::string(reply, 7), "+1.0E0\r");

  bridge.Send("stale");
  EXPECT_EQ(link.DiscardInput(), 5);
  EXPECT_FALSE(link.Lost());

  bridge.HangUp();
  EXPECT_EQ(link.Read(reply, sizeof reply), 0);
  EXPECT_TRUE(link.Lost());
  EXPECT_FALSE(link.Write("x", 1));
  link.Close();
  EXPECT_TRUE(link.Lost());  // kept after Close, so the caller knows what it sent may not have left
}

TEST(TcpLink, ARefusedConnectionOrAnAddressThatIsNotWholeFailsWithWordsThatNameIt) {
  Listener gone;
  const std::string address = gone.Address();
  gone.StopListening();
  TcpInstrumentLink link;
  PortOpenError error;
  EXPECT_FALSE(link.Open(address, &error));
  EXPECT_EQ(error.problem, PortOpenProblem::Refused);
  EXPECT_EQ(error.path, address);
  const std::string message = PortOpenFailureMessage(error, {});
  EXPECT_EQ(message.rfind("Can't open serial port\nPort: " + address + "\nThe host answered", 0), 0u) << message;

  ConnectionInstrumentLink any;
  EXPECT_FALSE(any.Open("tcp://host:x", &error));
  EXPECT_EQ(error.problem, PortOpenProblem::NoSuchDevice);
  EXPECT_FALSE(any.Lost());
}
