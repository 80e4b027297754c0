#include "connection/tcp_link.h"

#include <algorithm>

#include "serial/serial_link.h"

// The serial port's time-outs, so that the protocol reads a reply the same way.
int TcpLink::Read(void* buffer, int count) {
  const auto now = std::chrono::steady_clock::now();
  const auto total =
      now + std::chrono::milliseconds(static_cast<long long>(SerialLink::kReadTotalMultiplierMs) * std::max(count, 0) +
                                      SerialLink::kReadTotalConstantMs);
  return Receive(buffer, count, {total, total, SerialLink::kReadIntervalTimeoutMs, false});
}

int TcpLink::ReadLine(void* buffer, int count, int timeoutMs) {
  const int quiet = std::max(timeoutMs, 1);
  const auto now = std::chrono::steady_clock::now();
  return Receive(buffer, count,
                 {now + std::chrono::milliseconds(quiet), std::chrono::steady_clock::time_point::max(), quiet, true});
}
