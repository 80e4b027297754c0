// A TCP connection to a serial bridge (ser2net, a LAN-to-RS-232 box) or a
// Prologix GPIB-ETHERNET controller: the bytes of the instrument's line over
// the network, with the serial port's read and write time-outs (SerialLink), so
// that the protocol above reads a reply the same way from either.
//
// Open resolves the host and connects within kConnectTimeoutMs; a stop request
// (process/stop_request.h) ends the wait at once. The connection has
// TCP_NODELAY (a command goes out when written, not bunched) and keep-alive, so
// that a bridge that vanishes without a word is found. A connection the peer
// closes or resets is a lost port, as an unplugged adapter is. One
// implementation per platform (tcp_link_posix.cpp, tcp_link_win32.cpp).
#pragma once

#include <chrono>
#include <memory>
#include <string>

struct PortOpenError;

class TcpLink {
 public:
  TcpLink();
  ~TcpLink();  // closes the connection
  TcpLink(const TcpLink&) = delete;
  TcpLink& operator=(const TcpLink&) = delete;

  // Connects to `host` (a name or an address literal, IPv6 without brackets)
  // at `port`, closing a connection this object held before. On failure
  // `error` (when given) says why, with `error->path` set to `shownAddress`.
  bool Open(const std::string& host, int port, const std::string& shownAddress, PortOpenError* error = nullptr);
  bool Write(const void* bytes, int count);
  int Read(void* buffer, int count);
  // Reads until a line end (CR or LF) has arrived, `count` bytes are in, or
  // nothing has come for `timeoutMs` since the call or the last byte.
  int ReadLine(void* buffer, int count, int timeoutMs);
  int DiscardInput();
  void Close();
  bool Lost() const;
  bool IsOpen() const;

  static constexpr int kConnectTimeoutMs = 3000;

  struct Socket;  // the platform's handle and state

 private:
  // How one read ends: with nothing by `firstByteBy`; `quietMs` after the last
  // byte, but not after `endBy`; at a line end when `toLineEnd`.
  struct ReadRule {
    std::chrono::steady_clock::time_point firstByteBy;
    std::chrono::steady_clock::time_point endBy;
    int quietMs;
    bool toLineEnd;
  };

  int Receive(void* buffer, int count, const ReadRule& rule);  // one per platform

  std::unique_ptr<Socket> socket_;
};
