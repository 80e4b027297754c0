#include "instrument/instrument_link.h"

#include <cstring>

#include "serial/serial_link.h"

int InstrumentLink::ReadLine(void* buffer, int count, int /*timeoutMs*/) {
  auto* bytes = static_cast<char*>(buffer);
  int got = 0;
  while (got < count) {
    const int n = Read(bytes + got, count - got);
    if (n <= 0) break;
    const bool ended = std::memchr(bytes + got, '\r', static_cast<std::size_t>(n)) != nullptr ||
                       std::memchr(bytes + got, '\n', static_cast<std::size_t>(n)) != nullptr;
    got += n;
    if (ended) break;
  }
  return got;
}

SerialInstrumentLink::SerialInstrumentLink() : port_(std::make_unique<SerialLink>()) {}

SerialInstrumentLink::~SerialInstrumentLink() = default;

bool SerialInstrumentLink::Open(const std::string& devicePath, PortOpenError* error) {
  return port_->Open(devicePath, error, baud_, format_);
}

bool SerialInstrumentLink::Write(const void* bytes, int count) { return port_->Write(bytes, count); }

int SerialInstrumentLink::Read(void* buffer, int count) { return port_->Read(buffer, count); }

int SerialInstrumentLink::ReadLine(void* buffer, int count, int timeoutMs) {
  return port_->ReadLine(buffer, count, timeoutMs);
}

int SerialInstrumentLink::DiscardInput() { return port_->DiscardInput(); }

void SerialInstrumentLink::Close() { port_->Close(); }

bool SerialInstrumentLink::Lost() { return port_->Lost(); }
