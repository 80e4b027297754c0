// What the protocol and the measurement run need of the byte link to the
// instrument: open, one write, one bounded read, discarding waiting input,
// close, whether the port was lost, and the busy wait.
//
// The program uses the serial port (SerialLink + DelayMs); tests substitute a
// link of their own so that the run's logic can be driven without a port.
#pragma once

#include <string>

struct PortOpenError;

class InstrumentLink {
 public:
  virtual ~InstrumentLink() = default;
  // Opens the port at `devicePath`; on failure `error` (when given) says why.
  virtual bool Open(const std::string& devicePath, PortOpenError* error) = 0;
  virtual bool Write(const void* bytes, int count) = 0;
  virtual int Read(void* buffer, int count) = 0;
  // Discards waiting input without waiting; returns the number of bytes.
  virtual int DiscardInput() = 0;
  virtual void Close() = 0;
  // True once the open port was found gone; cleared by Open, kept by Close.
  virtual bool Lost() = 0;
  virtual void DelayMs(int milliseconds) = 0;
};

// The link over SerialLink and the process clock's DelayMs.
InstrumentLink& SerialInstrumentLink();

// The link that the protocol and the run use; the serial one unless replaced.
InstrumentLink& ActiveInstrumentLink();

// Replaces the active link; nullptr puts the serial one back. For tests.
void SetActiveInstrumentLink(InstrumentLink* link);
