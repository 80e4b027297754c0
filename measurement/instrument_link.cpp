#include "measurement/instrument_link.h"

#include "serial/process_clock.h"
#include "serial/serial_link.h"

namespace {

class SerialPortLink final : public InstrumentLink {
 public:
  bool Open(const std::string& devicePath, PortOpenError* error) override {
    return SerialLink::Open(devicePath, error);
  }
  bool Write(const void* bytes, int count) override { return SerialLink::Write(bytes, count); }
  int Read(void* buffer, int count) override { return SerialLink::Read(buffer, count); }
  int DiscardInput() override { return SerialLink::DiscardInput(); }
  void Close() override { SerialLink::Close(); }
  bool Lost() override { return SerialLink::Lost(); }
  void DelayMs(int milliseconds) override { ::DelayMs(milliseconds); }
};

InstrumentLink* g_replacementLink = nullptr;

}  // namespace

InstrumentLink& SerialInstrumentLink() {
  static SerialPortLink link;
  return link;
}

InstrumentLink& ActiveInstrumentLink() {
  return g_replacementLink != nullptr ? *g_replacementLink : SerialInstrumentLink();
}

void SetActiveInstrumentLink(InstrumentLink* link) { g_replacementLink = link; }
