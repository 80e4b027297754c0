// A simulated Prologix GPIB controller: the "++" protocol on the host's side
// (USB serial or TCP port 1234), the instrument on a simulated GPIB bus behind
// it. It powers up as a used adapter might: in device mode, at another
// address, with read-after-write on, so that a program must set it up.
//
// The host's bytes are read as the controller reads them: an unescaped CR or
// LF ends a line, ESC makes the next byte plain data; a line that starts with
// an unescaped "++" is a controller command, any other line is data for the
// instrument at the controller's address, sent with the ++eos terminator
// (an EOI alone, with ++eos 3 and ++eoi 1, shows to the instrument as LF).
// Data for another address goes nowhere, as on a bus where nobody listens
// there. The instrument's RS-232 CR ending a reply stands for the EOI of its
// GPIB reply, which ends in LF: the controller passes the reply on with LF.
#pragma once

#include <functional>
#include <string>

struct PrologixBus {
  // Hands bytes to the instrument.
  std::function<void(const std::string&)> toInstrument;
  // Reads the instrument's reply up to its end, waiting at most `timeoutMs`
  // for each byte; empty when it says nothing.
  std::function<std::string(int timeoutMs)> readInstrument;
  // Sends bytes back to the host.
  std::function<void(const std::string&)> toHost;
};

class PrologixController {
 public:
  PrologixController(PrologixBus bus, int instrumentAddress, bool ethernet);

  // Takes bytes from the host, acting on every line they complete.
  void Take(const std::string& bytes);

  bool ControllerMode() const { return controllerMode_; }
  int Address() const { return address_; }
  bool ReadAfterWrite() const { return autoRead_; }
  int DataLinesDropped() const { return dropped_; }

 private:
  void Line(const std::string& line, bool command);
  void Command(const std::string& name, const std::string& argument);
  void ReadReply();
  void Answer(const std::string& text) { bus_.toHost(text + "\r\n"); }

  PrologixBus bus_;
  int instrumentAddress_;
  bool ethernet_;
  std::string line_;
  bool escaped_ = false;
  bool plusStart_ = true;  // the line so far is unescaped "+" characters only

  bool controllerMode_ = false;
  int address_ = 5;
  bool autoRead_ = true;
  bool eoi_ = true;
  int eos_ = 0;
  int readTimeoutMs_ = 500;
  bool saveConfig_ = true;
  int dropped_ = 0;
};
