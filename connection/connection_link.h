// The link the programs hand a run: it reads the port text at each Open and
// connects the kind it names (a serial port, or a tcp:// serial bridge), with
// a Prologix controller in front when a GPIB address is set. The protocol and
// the run above never learn which kind it is.
#pragma once

#include <memory>
#include <string>

#include "connection/connection_address.h"
#include "instrument/instrument_link.h"

class TcpLink;

// The link over a TCP connection to a serial bridge or a GPIB-ETHERNET
// controller; Open takes tcp://HOST:PORT.
class TcpInstrumentLink final : public InstrumentLink {
 public:
  TcpInstrumentLink();
  ~TcpInstrumentLink() override;
  bool Open(const std::string& address, PortOpenError* error) override;
  bool Write(const void* bytes, int count) override;
  int Read(void* buffer, int count) override;
  int ReadLine(void* buffer, int count, int timeoutMs) override;
  int DiscardInput() override;
  void Close() override;
  bool Lost() override;

 private:
  std::unique_ptr<TcpLink> tcp_;
};

class ConnectionInstrumentLink final : public InstrumentLink {
 public:
  ConnectionInstrumentLink();
  ~ConnectionInstrumentLink() override;

  // A port text that is neither a device path nor a whole tcp:// address
  // fails with PortOpenProblem::NoSuchDevice.
  bool Open(const std::string& portText, PortOpenError* error) override;
  bool Write(const void* bytes, int count) override;
  int Read(void* buffer, int count) override;
  int ReadLine(void* buffer, int count, int timeoutMs) override;
  int DiscardInput() override;
  void Close() override;
  bool Lost() override;
  void SetBaudRate(int baud) override { baud_ = baud; }
  void SetLineFormat(const LineFormat& format) override { format_ = format; }
  // kNoGpibAddress (the default) for RS-232; 0..30 puts a Prologix controller in front.
  void SetGpibAddress(int address) override { gpibAddress_ = address; }

 private:
  std::unique_ptr<InstrumentLink> link_;
  int baud_ = 9600;
  LineFormat format_;
  int gpibAddress_ = kNoGpibAddress;
};
