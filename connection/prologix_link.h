// The instrument on a GPIB bus behind a Prologix controller (GPIB-USB on a
// serial port, GPIB-ETHERNET on TCP port 1234): a link that wraps the link to
// the controller and speaks its "++" protocol, so that the protocol above
// sends and reads the same commands and replies as over RS-232.
//
// Open sets the controller up whatever configuration it saved: controller
// mode, the instrument's address, no read-after-write (so no command is ever
// an unterminated query), EOI with the last byte, LF appended to each command,
// and the longest read time-out. It first asks "++ver"; a port where nothing
// answers fails with PortOpenProblem::NoController.
//
// A command is buffered up to its terminator (CR or LF), then sent whole with
// CR, LF, ESC and '+' inside it escaped. The first read after a query asks the
// controller for the reply with "++read eoi"; a read after a command that asks
// for nothing does not address the instrument to talk.
#pragma once

#include <memory>
#include <string>

#include "instrument/instrument_link.h"

class PrologixInstrumentLink final : public InstrumentLink {
 public:
  PrologixInstrumentLink(std::unique_ptr<InstrumentLink> controller, int gpibAddress);
  ~PrologixInstrumentLink() override;

  bool Open(const std::string& devicePath, PortOpenError* error) override;
  bool Write(const void* bytes, int count) override;
  int Read(void* buffer, int count) override;
  int ReadLine(void* buffer, int count, int timeoutMs) override;
  int DiscardInput() override;
  void Close() override;
  bool Lost() override;
  void SetBaudRate(int baud) override { controller_->SetBaudRate(baud); }
  void SetLineFormat(const LineFormat& format) override { controller_->SetLineFormat(format); }

  // What the controller answered to "++ver" at the last Open, without its line end.
  const std::string& ControllerVersion() const { return version_; }

  // `command` escaped for the controller and ended with LF.
  static std::string EscapedLine(const std::string& command);

 private:
  bool SendLine(const std::string& line);
  bool AskForReplyIfDue();
  std::string ReadControllerLine();

  std::unique_ptr<InstrumentLink> controller_;
  int gpibAddress_;
  std::string pending_;  // the command being written, up to its terminator
  bool replyDue_ = false;
  std::string version_;
};
