#include "connection/tcp_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "connection/connection_link.h"
#include "process/stop_request.h"
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

// A listener whose queue is full drops further connection requests, as a host
// behind a firewall that drops them does: the connect waits.
TEST(TcpLink, AConnectNobodyAnswersEndsAfterThreeSecondsOrAtOnceOnAStop) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(fd, 0), 0);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string target = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  std::vector<int> fillers;  // never accepted; their connects go on without waiting
  for (int i = 0; i < 3; ++i) {
    fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }

  using Clock = std::chrono::steady_clock;
  TcpInstrumentLink link;
  PortOpenError error;
  Clock::time_point start = Clock::now();
  ASSERT_FALSE(link.Open(target, &error));
  const auto waited = Clock::now() - start;
  EXPECT_EQ(error.problem, PortOpenProblem::TimedOut);
  EXPECT_GE(waited, std::chrono::milliseconds(2900));
  EXPECT_LT(waited, std::chrono::seconds(15));  // a loaded machine may be slow to wake us
  EXPECT_NE(PortOpenFailureMessage(error, {}).find("Nothing answered within 3 seconds"), std::string::npos);

  ASSERT_TRUE(InstallStopRequest());
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    RequestStop();
  });
  start = Clock::now();
  EXPECT_FALSE(link.Open(target, &error));
  stopper.join();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_NE(error.problem, PortOpenProblem::TimedOut);
  ClearStopRequest();
  for (int filler : fillers) close(filler);
  close(fd);
}
