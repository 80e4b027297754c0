// One thread polls the instrument's line, the front and a wake-up pipe. With a
// controller in front, the instrument's bytes wait in `fromInstrument` until
// the controller reads them, as a GPIB talker waits to be addressed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "simadapter/prologix_controller.h"
#include "simadapter/sim_adapter.h"

namespace {

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

speed_t SpeedOf(int baud) {
  switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    default: return B9600;
  }
}

// The instrument's line as its own port is set: raw, its speed, its
// character form, two stop bits.
void ConfigureLine(int fd, const SimOptions& instrument) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CRTSCTS);
  tio.c_cflag |= (instrument.dataBits == 7 ? CS7 : CS8) | CSTOPB | CREAD | CLOCAL;
  if (instrument.parity != SimParity::None) tio.c_cflag |= PARENB;
  if (instrument.parity == SimParity::Odd) tio.c_cflag |= PARODD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, SpeedOf(instrument.baud));
  cfsetospeed(&tio, SpeedOf(instrument.baud));
  tcsetattr(fd, TCSANOW, &tio);
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Writes all of `bytes`, waiting for room; false when the far side is gone.
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd pfd{fd, POLLOUT, 0};
      if (poll(&pfd, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

struct SimAdapter::Impl {
  SimAdapterOptions options;
  std::string instrumentDevice;
  SimOptions instrument;
  std::string where;
  std::string error;

  int line = -1;      // the instrument's line, opened as a client
  int front = -1;     // the pty master, or the connected client's socket
  int ownSlave = -1;  // the front pty's slave, kept so that clients can come and go
  int listener = -1;  // the TCP front's listening socket
  int wake[2] = {-1, -1};
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::atomic<int> dropped{0};
  std::string fromInstrument;

  bool OpenLine();
  bool OpenPtyFront();
  bool OpenTcpFront();
  void Serve();
  bool ReadLine(int timeoutMs);
  std::string TakeInstrumentReply(int timeoutMs);
  void CloseAll();
};

bool SimAdapter::Impl::OpenLine() {
  line = open(instrumentDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (line < 0) {
    error = ErrnoText("open " + instrumentDevice);
    return false;
  }
  ConfigureLine(line, instrument);
  return true;
}

bool SimAdapter::Impl::OpenPtyFront() {
  front = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  char name[256];
  if (front < 0 || grantpt(front) != 0 || unlockpt(front) != 0 || ptsname_r(front, name, sizeof name) != 0) {
    error = ErrnoText("pseudo-terminal set-up");
    return false;
  }
  ownSlave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ownSlave < 0) {
    error = ErrnoText(std::string("open ") + name);
    return false;
  }
  termios tio{};
  if (tcgetattr(ownSlave, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(ownSlave, TCSANOW, &tio);
  }
  where = name;
  return true;
}

bool SimAdapter::Impl::OpenTcpFront() {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int status =
      getaddrinfo(options.listenHost.c_str(), std::to_string(options.listenPort).c_str(), &hints, &found);
  if (status != 0) {
    error = "Can't listen on " + options.listenHost + ": " + gai_strerror(status);
    return false;
  }
  for (const addrinfo* a = found; a != nullptr && listener < 0; a = a->ai_next) {
    listener = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (listener < 0) continue;
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(listener, a->ai_addr, a->ai_addrlen) != 0 || listen(listener, 4) != 0) {
      error = ErrnoText("Can't listen on " + options.listenHost + ":" + std::to_string(options.listenPort));
      CloseFd(listener);
    }
  }
  freeaddrinfo(found);
  if (listener < 0) return false;
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, host, sizeof host, port, sizeof port,
              NI_NUMERICHOST | NI_NUMERICSERV);
  const bool ipv6 = std::strchr(host, ':') != nullptr;
  where = (ipv6 ? "[" + std::string(host) + "]" : std::string(host)) + ":" + port;
  error.clear();
  return true;
}

// Reads what the instrument sent into `fromInstrument`, waiting up to
// `timeoutMs`. False when the wait ended with nothing.
bool SimAdapter::Impl::ReadLine(int timeoutMs) {
  pollfd pfd{line, POLLIN, 0};
  if (poll(&pfd, 1, timeoutMs) <= 0) return false;
  char buffer[512];
  const ssize_t n = read(line, buffer, sizeof buffer);
  if (n <= 0) return false;
  fromInstrument.append(buffer, static_cast<std::size_t>(n));
  return true;
}

std::string SimAdapter::Impl::TakeInstrumentReply(int timeoutMs) {
  for (;;) {
    const std::size_t end = fromInstrument.find_first_of("\r\n");
    if (end != std::string::npos) {
      std::string reply = fromInstrument.substr(0, end + 1);
      fromInstrument.erase(0, end + 1);
      return reply;
    }
    if (stopping || !ReadLine(timeoutMs)) break;
  }
  std::string partial;
  partial.swap(fromInstrument);
  return partial;
}

void SimAdapter::Impl::Serve() {
  PrologixBus bus;
  bus.toInstrument = [this](const std::string& bytes) { WriteAll(line, bytes); };
  bus.readInstrument = [this](int timeoutMs) { return TakeInstrumentReply(timeoutMs); };
  bus.toHost = [this](const std::string& bytes) {
    if (front >= 0) WriteAll(front, bytes);
  };
  PrologixController controller(bus, options.gpibAddress, options.listen);

  char buffer[512];
  while (!stopping) {
    pollfd pfd[4] = {{wake[0], POLLIN, 0}, {line, POLLIN, 0}, {front, POLLIN, 0}, {listener, POLLIN, 0}};
    if (poll(pfd, 4, 1000) < 0 && errno != EINTR) break;
    if (pfd[0].revents != 0) break;
    if ((pfd[1].revents & POLLIN) != 0) {
      const ssize_t n = read(line, buffer, sizeof buffer);
      if (n > 0 && options.prologix) fromInstrument.append(buffer, static_cast<std::size_t>(n));
      if (n > 0 && !options.prologix && front >= 0) WriteAll(front, std::string(buffer, static_cast<std::size_t>(n)));
    }
    if ((pfd[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      const ssize_t n = read(front, buffer, sizeof buffer);
      if (n > 0) {
        const std::string bytes(buffer, static_cast<std::size_t>(n));
        if (options.prologix) {
          controller.Take(bytes);
          dropped = controller.DataLinesDropped();
        } else {
          WriteAll(line, bytes);
        }
      } else if (options.listen && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
        CloseFd(front);  // the client left: room for the next
      } else if (!options.listen) {
        // A pty master reads EIO while no client has the slave open (ours is
        // kept, so this is brief); don't spin on it.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    // After the front: a client that left and one that comes in the same
    // round find the place free.
    if ((pfd[3].revents & POLLIN) != 0) {
      const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      char next = 0;
      if (client >= 0 && front >= 0 && recv(front, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
        CloseFd(front);  // the last client has gone with nothing left unread
      }
      if (client >= 0 && front >= 0) {
        close(client);  // one client at a time, as a serial port has
      } else if (client >= 0) {
        // The line's bytes trickle in at its rate: each goes on at once, as a
        // bridge's should, not held back for more.
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        front = client;
      }
    }
  }
}

void SimAdapter::Impl::CloseAll() {
  CloseFd(line);
  CloseFd(front);
  CloseFd(ownSlave);
  CloseFd(listener);
  CloseFd(wake[0]);
  CloseFd(wake[1]);
}

SimAdapter::SimAdapter(SimAdapterOptions options, std::string instrumentDevice, SimOptions instrument)
    : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->instrumentDevice = std::move(instrumentDevice);
  impl_->instrument = std::move(instrument);
}

SimAdapter::~SimAdapter() { Stop(); }

bool SimAdapter::Start() {
  Impl& d = *impl_;
  if (pipe2(d.wake, O_CLOEXEC) != 0) {
    d.error = ErrnoText("pipe");
    return false;
  }
  if (!d.OpenLine() || !(d.options.listen ? d.OpenTcpFront() : d.OpenPtyFront())) {
    d.CloseAll();
    return false;
  }
  d.stopping = false;
  d.thread = std::thread([&d] { d.Serve(); });
  return true;
}

void SimAdapter::Stop() {
  Impl& d = *impl_;
  if (d.thread.joinable()) {
    d.stopping = true;
    const char byte = 1;
    if (write(d.wake[1], &byte, 1) < 0) {
    }
    d.thread.join();
  }
  d.CloseAll();
}

const std::string& SimAdapter::Where() const { return impl_->where; }

std::string SimAdapter::ClientAddress() const { return impl_->options.listen ? "tcp://" + impl_->where : impl_->where; }

const std::string& SimAdapter::Error() const { return impl_->error; }

int SimAdapter::DroppedDataLines() const { return impl_->dropped; }
