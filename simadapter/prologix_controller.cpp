#include "simadapter/prologix_controller.h"

#include <cstdlib>
#include <utility>

namespace {

constexpr char kEscape = 27;

// A whole decimal number in [low, high], or -1.
int Number(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 6) return -1;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
  }
  const int value = std::atoi(text.c_str());
  return value >= low && value <= high ? value : -1;
}

}  // namespace

PrologixController::PrologixController(PrologixBus bus, int instrumentAddress, bool ethernet)
    : bus_(std::move(bus)), instrumentAddress_(instrumentAddress), ethernet_(ethernet) {}

void PrologixController::Take(const std::string& bytes) {
  for (char c : bytes) {
    if (escaped_) {
      if (line_.size() < 2) plusStart_ = false;
      line_ += c;
      escaped_ = false;
      continue;
    }
    if (c == kEscape) {
      escaped_ = true;
      continue;
    }
    if (c == '\r' || c == '\n') {
      const bool command = plusStart_ && line_.size() >= 2;
      if (!line_.empty()) Line(line_, command);
      line_.clear();
      plusStart_ = true;
      continue;
    }
    if (line_.size() < 2 && c != '+') plusStart_ = false;
    line_ += c;
  }
}

void PrologixController::Line(const std::string& line, bool command) {
  if (command) {
    const std::string body = line.substr(2);
    const std::size_t blank = body.find(' ');
    const std::string name = body.substr(0, blank);
    std::string argument = blank == std::string::npos ? std::string() : body.substr(blank + 1);
    while (!argument.empty() && argument.back() == ' ') argument.pop_back();
    Command(name, argument);
    return;
  }
  // Device mode: data waits for a controller that never addresses us.
  if (!controllerMode_ || address_ != instrumentAddress_) {
    ++dropped_;
    return;
  }
  static const char* const kTerminators[] = {"\r\n", "\r", "\n", ""};
  std::string data = line + kTerminators[eos_];
  if (eos_ == 3 && eoi_) data += "\n";  // the EOI that ends it
  bus_.toInstrument(data);
  if (autoRead_) ReadReply();
}

void PrologixController::ReadReply() {
  if (!controllerMode_ || address_ != instrumentAddress_) return;
  std::string reply = bus_.readInstrument(readTimeoutMs_);
  if (!reply.empty() && reply.back() == '\r') reply.back() = '\n';
  if (!reply.empty()) bus_.toHost(reply);
}

void PrologixController::Command(const std::string& name, const std::string& argument) {
  auto setFlag = [&](bool* flag) {
    if (argument.empty()) return Answer(*flag ? "1" : "0");
    const int value = Number(argument, 0, 1);
    if (value >= 0) *flag = value == 1;
  };
  if (name == "ver") {
    Answer(ethernet_ ? "Prologix GPIB-ETHERNET Controller version 01.06.06.00"
                     : "Prologix GPIB-USB Controller version 6.107");
  } else if (name == "mode") {
    setFlag(&controllerMode_);
  } else if (name == "addr") {
    if (argument.empty()) return Answer(std::to_string(address_));
    const int value = Number(argument.substr(0, argument.find(' ')), 0, 30);
    if (value >= 0) address_ = value;
  } else if (name == "auto") {
    setFlag(&autoRead_);
  } else if (name == "eoi") {
    setFlag(&eoi_);
  } else if (name == "savecfg") {
    setFlag(&saveConfig_);
  } else if (name == "eos") {
    if (argument.empty()) return Answer(std::to_string(eos_));
    const int value = Number(argument, 0, 3);
    if (value >= 0) eos_ = value;
  } else if (name == "read_tmo_ms") {
    if (argument.empty()) return Answer(std::to_string(readTimeoutMs_));
    const int value = Number(argument, 1, 3000);
    if (value >= 0) readTimeoutMs_ = value;
  } else if (name == "read") {
    ReadReply();
  }
  // ++ifc, ++clr, ++loc, ++rst and the rest: nothing the simulated bus needs.
}
