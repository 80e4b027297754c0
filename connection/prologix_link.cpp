#include "connection/prologix_link.h"

#include <utility>

#include "serial/serial_link.h"

namespace {

constexpr char kEscape = 27;

// The controller answers "++ver" at once; three empty one-byte reads (about
// 0.9 s) mean nothing on that port speaks its protocol.
constexpr int kVersionFirstByteTries = 3;
constexpr std::size_t kLongestVersionLine = 120;

bool IsTerminator(char c) { return c == '\r' || c == '\n'; }

}  // namespace

PrologixInstrumentLink::PrologixInstrumentLink(std::unique_ptr<InstrumentLink> controller, int gpibAddress)
    : controller_(std::move(controller)), gpibAddress_(gpibAddress) {}

PrologixInstrumentLink::~PrologixInstrumentLink() = default;

std::string PrologixInstrumentLink::EscapedLine(const std::string& command) {
  std::string line;
  line.reserve(command.size() + 4);
  for (char c : command) {
    if (c == '\r' || c == '\n' || c == kEscape || c == '+') line += kEscape;
    line += c;
  }
  line += '\n';
  return line;
}

bool PrologixInstrumentLink::SendLine(const std::string& line) {
  return controller_->Write(line.data(), static_cast<int>(line.size()));
}

std::string PrologixInstrumentLink::ReadControllerLine() {
  std::string line;
  char c = 0;
  int emptyReads = 0;
  while (line.size() < kLongestVersionLine) {
    if (controller_->Read(&c, 1) != 1) {
      if (!line.empty() || ++emptyReads >= kVersionFirstByteTries || controller_->Lost()) break;
      continue;
    }
    if (c == '\n') break;
    if (c != '\r') line += c;
  }
  return line;
}

bool PrologixInstrumentLink::Open(const std::string& devicePath, PortOpenError* error) {
  pending_.clear();
  replyDue_ = false;
  version_.clear();
  if (!controller_->Open(devicePath, error)) return false;

  // Keep the set-up below out of the controller's EEPROM (it wears, and the
  // next program would inherit it), then make sure a controller is there.
  controller_->DiscardInput();
  bool sent = SendLine("++savecfg 0\n") && SendLine("++ver\n");
  version_ = sent ? ReadControllerLine() : std::string();
  if (version_.empty()) {
    controller_->Close();
    if (error != nullptr) {
      const std::string path = error->path.empty() ? devicePath : error->path;
      *error = PortOpenFailure(PortOpenProblem::NoController, path);
    }
    return false;
  }
  sent = SendLine("++mode 1\n") && SendLine("++addr " + std::to_string(gpibAddress_) + "\n") &&
         SendLine("++auto 0\n") && SendLine("++eoi 1\n") && SendLine("++eos 2\n") && SendLine("++read_tmo_ms 3000\n");
  // A device-mode controller may have passed bytes on before it changed mode.
  controller_->DiscardInput();
  if (!sent && error != nullptr) *error = PortOpenFailure(PortOpenProblem::Other, devicePath);
  return sent;
}

bool PrologixInstrumentLink::Write(const void* bytes, int count) {
  const auto* p = static_cast<const char*>(bytes);
  bool ok = true;
  for (int i = 0; i < count; ++i) {
    if (!IsTerminator(p[i])) {
      pending_ += p[i];
      continue;
    }
    if (pending_.empty()) continue;  // the LF of a CR LF pair
    const bool query = pending_.find('?') != std::string::npos;
    ok = SendLine(EscapedLine(pending_)) && ok;
    pending_.clear();
    replyDue_ = query;
  }
  return ok;
}

bool PrologixInstrumentLink::AskForReplyIfDue() {
  if (!replyDue_) return true;
  replyDue_ = false;
  return SendLine("++read eoi\n");
}

int PrologixInstrumentLink::Read(void* buffer, int count) {
  return AskForReplyIfDue() ? controller_->Read(buffer, count) : 0;
}

int PrologixInstrumentLink::ReadLine(void* buffer, int count, int timeoutMs) {
  return AskForReplyIfDue() ? controller_->ReadLine(buffer, count, timeoutMs) : 0;
}

int PrologixInstrumentLink::DiscardInput() { return controller_->DiscardInput(); }

void PrologixInstrumentLink::Close() {
  pending_.clear();
  replyDue_ = false;
  controller_->Close();
}

bool PrologixInstrumentLink::Lost() { return controller_->Lost(); }
