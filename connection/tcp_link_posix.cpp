// POSIX sockets. Like the serial link, every wait is a poll() against a
// deadline on the monotonic clock, with the stop request's descriptor beside
// the socket while nothing has arrived yet.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "connection/host_lookup.h"
#include "connection/tcp_link.h"
#include "process/stop_request.h"
#include "serial/serial_link.h"

struct TcpLink::Socket {
  int fd = -1;
  bool lost = false;
};

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

using SteadyClock = std::chrono::steady_clock;

int MsUntil(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now());
  if (left.count() <= 0) return 0;
  return static_cast<int>((left.count() + 999) / 1000);
}

bool IsLossError(int error) {
  return error == EPIPE || error == ECONNRESET || error == ETIMEDOUT || error == ENOTCONN || error == EHOSTUNREACH ||
         error == ENETUNREACH || error == ECONNABORTED;
}

// One non-blocking connect, waited for until `deadline`. Returns the socket,
// or -1 with `*failure` set to the errno that ended it (ETIMEDOUT, ECANCELED
// for a stop request).
int ConnectOne(const addrinfo& to, SteadyClock::time_point deadline, int* failure) {
  const int fd = socket(to.ai_family, to.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, to.ai_protocol);
  if (fd < 0) {
    *failure = errno;
    return -1;
  }
  if (connect(fd, to.ai_addr, to.ai_addrlen) == 0) return fd;
  if (errno != EINPROGRESS) {
    *failure = errno;
    close(fd);
    return -1;
  }
  for (;;) {
    const int wait = MsUntil(deadline);
    if (wait <= 0) {
      *failure = ETIMEDOUT;
      break;
    }
    const int stopFd = StopRequestDescriptor();
    pollfd pfd[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
    const int ready = poll(pfd, stopFd >= 0 ? 2 : 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      *failure = errno;
      break;
    }
    if (ready == 0) continue;
    if (pfd[0].revents == 0) {
      *failure = ECANCELED;
      break;
    }
    int soError = 0;
    socklen_t length = sizeof soError;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
    if (soError == 0) return fd;
    *failure = soError;
    break;
  }
  close(fd);
  return -1;
}

// A command goes out as soon as it is written, and a bridge that vanished is
// noticed within about half a minute even while the line is quiet.
void TuneConnection(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
#ifdef TCP_KEEPIDLE
  const int idle = 10, interval = 5, count = 3;
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
}

void SetError(PortOpenError* error, PortOpenProblem problem, int systemError, const std::string& detail = "") {
  if (error == nullptr) return;
  error->problem = problem;
  error->systemError = systemError;
  error->detail = detail;
}

}  // namespace

TcpLink::TcpLink() : socket_(std::make_unique<Socket>()) {}

TcpLink::~TcpLink() { Close(); }

bool TcpLink::Open(const std::string& host, int port, const std::string& shownAddress, PortOpenError* error) {
  Close();
  socket_->lost = false;
  if (error != nullptr) *error = PortOpenFailure(PortOpenProblem::None, shownAddress);
  const SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::milliseconds(kConnectTimeoutMs);

  std::shared_ptr<HostLookup> lookup;
  switch (ResolveHost(
      host, port, deadline, [] { return WaitForStopRequest(0); }, &lookup)) {
    case LookupEnd::Found: break;
    case LookupEnd::Failed:
      SetError(error, PortOpenProblem::HostNotFound, 0, LookupFailureText(lookup->status));
      return false;
    case LookupEnd::TimedOut: SetError(error, PortOpenProblem::TimedOut, ETIMEDOUT); return false;
    case LookupEnd::Stopped: SetError(error, PortOpenProblem::Other, ECANCELED); return false;
  }

  // Every address the name has, in the resolver's order, until one answers.
  int failure = EHOSTUNREACH;
  for (const addrinfo* to = lookup->results; to != nullptr; to = to->ai_next) {
    const int fd = ConnectOne(*to, deadline, &failure);
    if (fd >= 0) {
      TuneConnection(fd);
      socket_->fd = fd;
      return true;
    }
    if (failure == ETIMEDOUT || failure == ECANCELED) break;
  }
  if (failure == ECONNREFUSED) {
    SetError(error, PortOpenProblem::Refused, failure);
  } else if (failure == ETIMEDOUT) {
    SetError(error, PortOpenProblem::TimedOut, failure);
  } else {
    SetError(error, PortOpenProblem::Other, failure);
  }
  return false;
}

bool TcpLink::Write(const void* bytes, int count) {
  if (socket_->fd < 0 || socket_->lost) return false;
  if (count <= 0) return true;
  const auto* p = static_cast<const char*>(bytes);
  const SteadyClock::time_point deadline =
      SteadyClock::now() +
      std::chrono::milliseconds(static_cast<long long>(SerialLink::kWriteTotalMultiplierMs) * count +
                                SerialLink::kWriteTotalConstantMs);
  int sent = 0;
  while (sent < count) {
    const ssize_t n = send(socket_->fd, p + sent, static_cast<size_t>(count - sent), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    const int wait = MsUntil(deadline);
    if (wait <= 0) break;
    pollfd pfd{socket_->fd, POLLOUT, 0};
    if (poll(&pfd, 1, wait) < 0 && errno != EINTR) break;
  }
  if (sent < count) socket_->lost = true;
  return sent == count;
}

int TcpLink::Receive(void* buffer, int count, const ReadRule& rule) {
  if (socket_->fd < 0 || count <= 0 || buffer == nullptr) return 0;
  auto* p = static_cast<char*>(buffer);
  SteadyClock::time_point lastByte{};
  int got = 0;
  while (got < count) {
    const SteadyClock::time_point deadline =
        got == 0 ? rule.firstByteBy : std::min(rule.endBy, lastByte + std::chrono::milliseconds(rule.quietMs));
    const int wait = MsUntil(deadline);
    if (wait <= 0) break;
    // Once a reply has begun it is read to its end; before that, a stop request
    // need not wait out the whole time-out.
    const int stopFd = StopRequestDescriptor();
    pollfd pfd[2] = {{socket_->fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = poll(pfd, got == 0 && stopFd >= 0 ? 2 : 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    if (ready == 0) continue;
    if ((pfd[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) break;  // a stop request
    const ssize_t n = recv(socket_->fd, p + got, static_cast<size_t>(count - got), 0);
    if (n > 0) {
      const bool ended = rule.toLineEnd && std::find_if(p + got, p + got + n, IsLineEnd) != p + got + n;
      got += static_cast<int>(n);
      lastByte = SteadyClock::now();
      if (ended) break;
    } else if (n == 0) {
      socket_->lost = true;  // the bridge closed the connection
      break;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (IsLossError(errno)) socket_->lost = true;
      break;
    }
  }
  return got;
}

int TcpLink::DiscardInput() {
  if (socket_->fd < 0) return 0;
  int discarded = 0;
  char scratch[SerialLink::kDrainBufferSize];
  for (;;) {
    const ssize_t n = recv(socket_->fd, scratch, sizeof scratch, MSG_DONTWAIT);
    if (n > 0) {
      discarded += static_cast<int>(n);
      continue;
    }
    if (n == 0) socket_->lost = true;
    if (n < 0 && IsLossError(errno)) socket_->lost = true;
    break;
  }
  return discarded;
}

void TcpLink::Close() {
  if (socket_->fd < 0) return;
  // What was written has been handed to the kernel; a graceful close sends it
  // before the FIN, so the last command (output off) is not cut. Unread input
  // would turn the close into a reset that drops it, so it goes first.
  DiscardInput();
  shutdown(socket_->fd, SHUT_WR);
  close(socket_->fd);
  socket_->fd = -1;
}

bool TcpLink::Lost() const { return socket_->lost; }

bool TcpLink::IsOpen() const { return socket_->fd >= 0; }
