// A serial port through which the program talks to the instrument: one
// SerialLink object per open port, one implementation per platform
// (serial_link_posix.cpp, serial_link_win32.cpp) behind this header.
//
// Open applies the instrument's line settings (9600 baud unless another rate
// is given, 8 data bits and no parity unless another of the instrument's
// formats is given, 2 stop bits, no flow control, raw bytes)
// and time-outs, waits 300 ms
// for the port to settle and discards whatever input is waiting. All calls are
// synchronous, and one object is used by one thread at a time.
//
// Read time-outs: a read of n bytes returns as soon as n bytes have arrived;
// once at least one byte has arrived, when 200 ms pass without another; at the
// latest 200*n + 100 ms after it began. A pending stop request
// (serial/stop_request.h) ends a read that has received nothing yet. A write
// of n bytes gives up after 200*n + 200 ms. A port that goes away (hang-up, an
// unplugged USB adapter) ends reads with what arrived and makes later writes
// fail; nothing spins, and Lost() says so until the next Open.
#pragma once

#include <memory>
#include <string>

#include "serial/line_settings.h"

// Why a port could not be opened, for a message that tells the user what to do.
enum class PortOpenProblem {
  None,
  NoSuchDevice,      // no device at that path, or nothing behind it
  PermissionDenied,  // the user may not open it (see `group`)
  Busy,              // another program holds it (see `holder`)
  NotATerminal,      // the path is a file or device that is not a serial port
  Other,             // any other system error (see `systemError`)
  // Connections over the network (tcp://HOST:PORT) and through a GPIB controller:
  HostNotFound,  // the host name does not resolve (`detail`: the resolver's words)
  Refused,       // the host answered, but nothing listens on that port
  TimedOut,      // no answer from the host within the connect time
  NoController,  // nothing answered the GPIB controller's version query on that port
};

struct PortOpenError {
  PortOpenProblem problem = PortOpenProblem::None;
  std::string path;     // the device path that was tried
  int systemError = 0;  // errno / GetLastError() of the failing call, 0 if none
  std::string group;    // PermissionDenied: the group that owns the device, if known
  std::string holder;   // Busy: the program that holds it, e.g. "minicom (pid 4711)", if found
  std::string detail;   // HostNotFound: the resolver's words
};

inline PortOpenError PortOpenFailure(PortOpenProblem problem, const std::string& path) {
  PortOpenError error;
  error.problem = problem;
  error.path = path;
  return error;
}

constexpr int kDefaultSerialBaud = 9600;

class SerialLink {
 public:
  SerialLink();
  ~SerialLink();  // closes the port
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // Opens the device at `devicePath` for exclusive use and configures it
  // (closing a port this object held before). Returns false when the port
  // cannot be opened, is not a terminal device, or another process holds it;
  // no configuration is made then, and `error` (when given) says why.
  // `baud` is one of the rates the instrument offers (kBaudRates, serial/line_settings.h); any
  // other falls back to 9600. With parity, the port checks every byte it
  // receives and hands one with a parity or framing error on marked: 0xFF,
  // 0x00, then the byte (termios PARMRK; Windows puts 0xFF in its place).
  // 0xFF never stands in what the instrument sends, so a reader with parity
  // on can take any 0xFF as a line error.
  bool Open(const std::string& devicePath, PortOpenError* error = nullptr, int baud = kDefaultSerialBaud,
            const LineFormat& format = LineFormat());

  // One synchronous write of `count` bytes. Returns the write's success flag.
  bool Write(const void* bytes, int count);

  // One synchronous read of at most `count` bytes under the time-outs above.
  // Returns the number of bytes read, 0 when nothing arrived.
  int Read(void* buffer, int count);

  // A read that ends as soon as a line end (CR or LF) is in: for replies
  // awaited on a tight schedule, with no wait for a quiet line. It also ends
  // with `count` bytes, or when `timeoutMs` pass without a byte (from the
  // call, then from the last byte). Bytes after the line end that arrived in
  // the same piece are handed out too. A pending stop request ends it while
  // nothing has arrived.
  int ReadLine(void* buffer, int count, int timeoutMs);

  // Discards whatever input is waiting, without waiting for more. Returns the
  // number of bytes discarded, 0 when none waited. With nothing waiting this is
  // one query of the driver: no traffic, no delay.
  int DiscardInput();

  // Waits (bounded) until queued output has left the port, then releases it.
  // Output that cannot leave within the bound counts as a lost port.
  void Close();

  // True once the open port has been found gone: a hang-up, EIO or ENXIO, or
  // a write that failed or timed out. Cleared by Open; still true after Close,
  // so that a caller can tell whether what it sent before closing left.
  bool Lost() const;

  bool IsOpen() const;

  // Time-out constants, in milliseconds.
  static constexpr int kReadIntervalTimeoutMs = 200;
  static constexpr int kReadTotalMultiplierMs = 200;
  static constexpr int kReadTotalConstantMs = 100;
  static constexpr int kWriteTotalMultiplierMs = 200;
  static constexpr int kWriteTotalConstantMs = 200;
  static constexpr int kSettleTimeMs = 300;
  static constexpr int kDrainBufferSize = 1024;

  struct Port;  // the platform's handle and state, opaque to callers

 private:
  std::unique_ptr<Port> port_;
};
