// Winsock. Waits are select() calls of at most kSlice, so that the stop
// request's event (which select cannot wait on) is looked at between them.
// Winsock's headers come before windows.h, and mstcpip.h after both: each in
// a block of its own, so that sorting keeps that order.
#include <winsock2.h>

#include <ws2tcpip.h>

#include <windows.h>

#include <mstcpip.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "connection/host_lookup.h"
#include "connection/tcp_link.h"
#include "process/stop_request.h"
#include "serial/serial_link.h"

struct TcpLink::Socket {
  SOCKET fd = INVALID_SOCKET;
  bool lost = false;
};

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

using SteadyClock = std::chrono::steady_clock;
constexpr long kSliceMs = 20;

bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

long MsUntil(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now());
  if (left.count() <= 0) return 0;
  return static_cast<long>((left.count() + 999) / 1000);
}

bool StopPending() {
  void* event = StopRequestEvent();
  return event != nullptr && WaitForSingleObject(static_cast<HANDLE>(event), 0) == WAIT_OBJECT_0;
}

// Waits up to `ms` for the socket to be readable (or writable); 1 ready, 0 not.
int WaitFor(SOCKET fd, bool forWrite, long ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(fd, &set);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(fd, &failed);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int ready = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, forWrite ? &failed : nullptr, &tv);
  return ready > 0 ? 1 : 0;
}

bool IsLossError(int error) {
  return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENETRESET || error == WSAETIMEDOUT ||
         error == WSAENOTCONN || error == WSAESHUTDOWN;
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
  if (!StartWinsock()) {
    SetError(error, PortOpenProblem::Other, static_cast<int>(WSAGetLastError()));
    return false;
  }
  const SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::milliseconds(kConnectTimeoutMs);

  std::shared_ptr<HostLookup> lookup;
  switch (ResolveHost(host, port, deadline, StopPending, &lookup)) {
    case LookupEnd::Found: break;
    case LookupEnd::Failed:
      SetError(error, PortOpenProblem::HostNotFound, 0, LookupFailureText(lookup->status));
      return false;
    case LookupEnd::TimedOut: SetError(error, PortOpenProblem::TimedOut, WSAETIMEDOUT); return false;
    case LookupEnd::Stopped: SetError(error, PortOpenProblem::Other, WSAEINTR); return false;
  }

  int failure = WSAEHOSTUNREACH;
  for (const addrinfo* to = lookup->results; to != nullptr; to = to->ai_next) {
    SOCKET fd = socket(to->ai_family, to->ai_socktype, to->ai_protocol);
    if (fd == INVALID_SOCKET) {
      failure = WSAGetLastError();
      continue;
    }
    u_long nonBlocking = 1;
    ioctlsocket(fd, FIONBIO, &nonBlocking);
    bool connected = connect(fd, to->ai_addr, static_cast<int>(to->ai_addrlen)) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
      failure = WSAETIMEDOUT;
      while (MsUntil(deadline) > 0) {
        if (StopPending()) {
          failure = WSAEINTR;
          break;
        }
        if (WaitFor(fd, true, std::min(kSliceMs, MsUntil(deadline))) == 0) continue;
        int soError = 0;
        int length = sizeof soError;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
        connected = soError == 0;
        failure = soError == 0 ? 0 : soError;
        break;
      }
    } else if (!connected) {
      failure = WSAGetLastError();
    }
    if (connected) {
      const BOOL on = TRUE;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
      tcp_keepalive alive{1, 10000, 5000};
      DWORD returned = 0;
      WSAIoctl(fd, SIO_KEEPALIVE_VALS, &alive, sizeof alive, nullptr, 0, &returned, nullptr, nullptr);
      socket_->fd = fd;
      return true;
    }
    closesocket(fd);
    if (failure == WSAETIMEDOUT || failure == WSAEINTR) break;
  }
  if (failure == WSAECONNREFUSED) {
    SetError(error, PortOpenProblem::Refused, failure);
  } else if (failure == WSAETIMEDOUT) {
    SetError(error, PortOpenProblem::TimedOut, failure);
  } else {
    SetError(error, PortOpenProblem::Other, failure);
  }
  return false;
}

bool TcpLink::Write(const void* bytes, int count) {
  if (socket_->fd == INVALID_SOCKET || socket_->lost) return false;
  if (count <= 0) return true;
  const char* p = static_cast<const char*>(bytes);
  const SteadyClock::time_point deadline =
      SteadyClock::now() +
      std::chrono::milliseconds(static_cast<long long>(SerialLink::kWriteTotalMultiplierMs) * count +
                                SerialLink::kWriteTotalConstantMs);
  int sent = 0;
  while (sent < count) {
    const int n = send(socket_->fd, p + sent, count - sent, 0);
    if (n > 0) {
      sent += n;
      continue;
    }
    if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) break;
    const long wait = MsUntil(deadline);
    if (wait <= 0) break;
    WaitFor(socket_->fd, true, std::min(kSliceMs, wait));
  }
  if (sent < count) socket_->lost = true;
  return sent == count;
}

int TcpLink::Receive(void* buffer, int count, const ReadRule& rule) {
  if (socket_->fd == INVALID_SOCKET || count <= 0 || buffer == nullptr) return 0;
  char* p = static_cast<char*>(buffer);
  SteadyClock::time_point lastByte{};
  int got = 0;
  while (got < count) {
    const SteadyClock::time_point deadline =
        got == 0 ? rule.firstByteBy : std::min(rule.endBy, lastByte + std::chrono::milliseconds(rule.quietMs));
    const long wait = MsUntil(deadline);
    if (wait <= 0) break;
    if (got == 0 && StopPending()) break;
    if (WaitFor(socket_->fd, false, std::min(kSliceMs, wait)) == 0) continue;
    const int n = recv(socket_->fd, p + got, count - got, 0);
    if (n > 0) {
      const bool ended = rule.toLineEnd && std::find_if(p + got, p + got + n, IsLineEnd) != p + got + n;
      got += n;
      lastByte = SteadyClock::now();
      if (ended) break;
    } else if (n == 0) {
      socket_->lost = true;
      break;
    } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
      if (IsLossError(WSAGetLastError())) socket_->lost = true;
      break;
    }
  }
  return got;
}

int TcpLink::DiscardInput() {
  if (socket_->fd == INVALID_SOCKET) return 0;
  int discarded = 0;
  char scratch[SerialLink::kDrainBufferSize];
  for (;;) {
    const int n = recv(socket_->fd, scratch, sizeof scratch, 0);
    if (n > 0) {
      discarded += n;
      continue;
    }
    if (n == 0) socket_->lost = true;
    if (n == SOCKET_ERROR && IsLossError(WSAGetLastError())) socket_->lost = true;
    break;
  }
  return discarded;
}

void TcpLink::Close() {
  if (socket_->fd == INVALID_SOCKET) return;
  DiscardInput();
  shutdown(socket_->fd, SD_SEND);
  closesocket(socket_->fd);
  socket_->fd = INVALID_SOCKET;
}

bool TcpLink::Lost() const { return socket_->lost; }

bool TcpLink::IsOpen() const { return socket_->fd != INVALID_SOCKET; }
