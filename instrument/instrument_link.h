// What the protocol and the measurement run need of the byte link to the
// instrument: open, one write, one bounded read, discarding waiting input,
// close, and whether the port was lost.
//
// The programs use the link of connection/ (a serial port, a serial bridge on
// the network, a GPIB controller in front of either); tests hand a run a
// link of their own so that its logic can be driven without a port.
#pragma once

#include <memory>
#include <string>

#include "serial/line_settings.h"

struct PortOpenError;
class SerialLink;

class InstrumentLink {
 public:
  virtual ~InstrumentLink() = default;
  // Opens the port at `devicePath`; on failure `error` (when given) says why.
  virtual bool Open(const std::string& devicePath, PortOpenError* error) = 0;
  virtual bool Write(const void* bytes, int count) = 0;
  virtual int Read(void* buffer, int count) = 0;
  // Reads until a line end (CR or LF) has arrived, `count` bytes are in, the
  // line has been quiet for `timeoutMs` since the call or the last byte, or
  // the port is gone. Returns the bytes read. This one reads in the
  // pieces Read hands out, for links whose Read returns what is waiting.
  virtual int ReadLine(void* buffer, int count, int timeoutMs);
  // Discards waiting input without waiting; returns the number of bytes.
  virtual int DiscardInput() = 0;
  virtual void Close() = 0;
  // True once the open port was found gone; cleared by Open, kept by Close.
  virtual bool Lost() = 0;
  // The line speed that every later Open applies (9600 until set). A link
  // without a line speed ignores it.
  virtual void SetBaudRate(int /*baud*/) {}
  // The character format that every later Open applies (8 bits, no parity
  // until set). A link without one ignores it.
  virtual void SetLineFormat(const LineFormat& /*format*/) {}
  // The GPIB address of the instrument behind a controller that every later
  // Open goes through; -1 (until set) for none. A link without one ignores it.
  virtual void SetGpibAddress(int /*address*/) {}
};

// The link over a serial port of its own.
class SerialInstrumentLink final : public InstrumentLink {
 public:
  SerialInstrumentLink();
  ~SerialInstrumentLink() override;

  bool Open(const std::string& devicePath, PortOpenError* error) override;
  bool Write(const void* bytes, int count) override;
  int Read(void* buffer, int count) override;
  int ReadLine(void* buffer, int count, int timeoutMs) override;
  int DiscardInput() override;
  void Close() override;
  bool Lost() override;
  void SetBaudRate(int baud) override { baud_ = baud; }
  void SetLineFormat(const LineFormat& format) override { format_ = format; }

 private:
  std::unique_ptr<SerialLink> port_;
  int baud_ = 9600;
  LineFormat format_;
};
