#include "instrument/instrument_link.h"

#include "serial/serial_link.h"

SerialInstrumentLink::SerialInstrumentLink() : port_(std::make_unique<SerialLink>()) {}

SerialInstrumentLink::~SerialInstrumentLink() = default;

bool SerialInstrumentLink::Open(const std::string& devicePath, PortOpenError* error) {
  return port_->Open(devicePath, error, baud_, format_);
}

bool SerialInstrumentLink::Write(const void* bytes, int count) { return port_->Write(bytes, count); }

int SerialInstrumentLink::Read(void* buffer, int count) { return port_->Read(buffer, count); }

int SerialInstrumentLink::DiscardInput() { return port_->DiscardInput(); }

void SerialInstrumentLink::Close() { port_->Close(); }

bool SerialInstrumentLink::Lost() { return port_->Lost(); }
