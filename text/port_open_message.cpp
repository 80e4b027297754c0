#include "text/port_open_message.h"

#include <cstring>

#include "connection/connection_address.h"
#include "text/printable_text.h"
#include "text/setting_checks.h"

namespace {

std::string Reason(const PortOpenError& error, const std::vector<SerialPortInfo>& detected) {
  switch (error.problem) {
    case PortOpenProblem::PermissionDenied:
      if (error.group.empty() || error.group == "root") {
        return "You are not allowed to use this port. Ask the computer's administrator for access to it.";
      }
      return "You are not allowed to use this port: it belongs to the group " + PrintableText(error.group) +
             ".\nTo join that group, run\n    sudo usermod -aG " + PrintableText(error.group) +
             " $USER\nthen log out and in again.";
    case PortOpenProblem::Busy:
      if (!error.holder.empty()) {
        return "Another program is using this port: " + PrintableText(error.holder) +
               ".\nClose that program, then start again.";
      }
      return "Another program is using this port. Close that program, then start again.";
    case PortOpenProblem::NoSuchDevice: {
      std::string text =
          "There is no such device. Check that the cable or USB adapter is plugged in, then choose the port again.";
      if (detected.empty()) return text + "\nNo serial ports were found on this computer.";
      text += "\nSerial ports found on this computer:";
      for (const SerialPortInfo& port : detected) text += "\n    " + PortChoiceText(port);
      return text;
    }
    case PortOpenProblem::NotATerminal:
      return "This is not a serial port. Choose the port the instrument is connected to.";
    case PortOpenProblem::HostNotFound: {
      std::string text = "The host could not be found";
      if (!error.detail.empty()) text += " (" + PrintableText(error.detail) + ")";
      return text + ". Check the address, and that this computer reaches the network the serial bridge is on.";
    }
    case PortOpenProblem::Refused:
      return "The host answered, but nothing accepts connections on that port. Check the port number, and that the "
             "serial bridge or GPIB controller is switched on and set to that port.";
    case PortOpenProblem::TimedOut:
      return "Nothing answered within 3 seconds. Check that the serial bridge or GPIB controller is switched on and "
             "on the network, the address, and any firewall between this computer and it.";
    case PortOpenProblem::NoController:
      return "No Prologix GPIB controller answers on this port. Check that it is the controller's port (a GPIB-USB "
             "controller shows as a USB serial port, a GPIB-ETHERNET controller listens on port 1234), that the "
             "controller is plugged in and powered, and that no other program uses it. For an instrument on RS-232, "
             "choose no GPIB address.";
    case PortOpenProblem::Other:
    case PortOpenProblem::None: break;
  }
  std::string text = "The system could not open it";
  if (error.systemError != 0) text += std::string(" (") + std::strerror(error.systemError) + ")";
  return text + ".";
}

}  // namespace

std::string PortOpenFailureMessage(const PortOpenError& error, const std::vector<SerialPortInfo>& detected) {
  std::string message = "Can't open serial port";
  message += "\nPort: " + (error.path.empty() ? std::string("(none)") : PrintableText(error.path));
  message += "\n" + Reason(error, detected);
  return message;
}

std::string PortChoiceText(const SerialPortInfo& port) {
  const std::string description = PortDescription(port);
  const std::string device = PrintableText(port.device);
  return description.empty() ? device : device + " - " + PrintableText(description);
}

std::string PrintablePortListLine(const SerialPortInfo& port) {
  SerialPortInfo shown = port;
  for (std::string* field : {&shown.device, &shown.stableName, &shown.description, &shown.manufacturer, &shown.product,
                             &shown.serialNumber}) {
    *field = PrintableText(*field);
  }
  return PortListLine(shown);
}

std::optional<std::string> CheckNetworkAddress(const std::string& portText) {
  ConnectionAddress address;
  std::string problem;
  if (ParseConnectionAddress(portText, &address, &problem)) return std::nullopt;
  return std::string("Please enter a network address as ") + kNetworkAddressForm + ": this one " + problem + ".";
}

std::optional<std::string> CheckGpibAddress(const std::string& text, int& address) {
  static constexpr IntSettingRange kGpibAddressRange{"GPIB address", kLowestGpibAddress, kHighestGpibAddress};
  return CheckIntSetting(text, kGpibAddressRange, address);
}
