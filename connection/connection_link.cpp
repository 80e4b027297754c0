#include "connection/connection_link.h"

#include "connection/prologix_link.h"
#include "connection/tcp_link.h"
#include "serial/serial_link.h"

TcpInstrumentLink::TcpInstrumentLink() : tcp_(std::make_unique<TcpLink>()) {}

TcpInstrumentLink::~TcpInstrumentLink() = default;

bool TcpInstrumentLink::Open(const std::string& address, PortOpenError* error) {
  ConnectionAddress parsed;
  if (!ParseConnectionAddress(address, &parsed) || parsed.kind != ConnectionKind::TcpBridge) {
    if (error != nullptr) *error = PortOpenFailure(PortOpenProblem::NoSuchDevice, address);
    return false;
  }
  return tcp_->Open(parsed.host, parsed.port, address, error);
}

bool TcpInstrumentLink::Write(const void* bytes, int count) { return tcp_->Write(bytes, count); }

int TcpInstrumentLink::Read(void* buffer, int count) { return tcp_->Read(buffer, count); }

int TcpInstrumentLink::ReadLine(void* buffer, int count, int timeoutMs) {
  return tcp_->ReadLine(buffer, count, timeoutMs);
}

int TcpInstrumentLink::DiscardInput() { return tcp_->DiscardInput(); }

void TcpInstrumentLink::Close() { tcp_->Close(); }

bool TcpInstrumentLink::Lost() { return tcp_->Lost(); }

ConnectionInstrumentLink::ConnectionInstrumentLink() = default;

ConnectionInstrumentLink::~ConnectionInstrumentLink() = default;

bool ConnectionInstrumentLink::Open(const std::string& portText, PortOpenError* error) {
  if (link_) link_->Close();
  ConnectionAddress address;
  if (!ParseConnectionAddress(portText, &address)) {
    if (error != nullptr) *error = PortOpenFailure(PortOpenProblem::NoSuchDevice, portText);
    return false;
  }
  std::unique_ptr<InstrumentLink> link;
  if (address.kind == ConnectionKind::TcpBridge) {
    link = std::make_unique<TcpInstrumentLink>();
  } else {
    link = std::make_unique<SerialInstrumentLink>();
  }
  link->SetBaudRate(baud_);
  link->SetLineFormat(format_);
  if (IsGpibAddress(gpibAddress_)) link = std::make_unique<PrologixInstrumentLink>(std::move(link), gpibAddress_);
  link_ = std::move(link);
  return link_->Open(portText, error);
}

bool ConnectionInstrumentLink::Write(const void* bytes, int count) { return link_ && link_->Write(bytes, count); }

int ConnectionInstrumentLink::Read(void* buffer, int count) { return link_ ? link_->Read(buffer, count) : 0; }

int ConnectionInstrumentLink::ReadLine(void* buffer, int count, int timeoutMs) {
  return link_ ? link_->ReadLine(buffer, count, timeoutMs) : 0;
}

int ConnectionInstrumentLink::DiscardInput() { return link_ ? link_->DiscardInput() : 0; }

void ConnectionInstrumentLink::Close() {
  if (link_) link_->Close();
}

bool ConnectionInstrumentLink::Lost() { return link_ && link_->Lost(); }
