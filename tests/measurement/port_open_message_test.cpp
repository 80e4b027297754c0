// The words of a Start whose port would not open: each reason with its fix.
#include "text/port_open_message.h"

#include <gtest/gtest.h>

TEST(PortOpenMessage, EachReasonSaysWhatToDo) {
  PortOpenError error;
  error.path = "/dev/ttyUSB0";
  error.problem = PortOpenProblem::PermissionDenied;
  error.group = "dialout";
  EXPECT_EQ(PortOpenFailureMessage(error, {}),
            "Can't open serial port\n"
            "Port: /dev/ttyUSB0\n"
            "You are not allowed to use this port: it belongs to the group dialout.\n"
            "To join that group, run\n"
            "    sudo usermod -aG dialout $USER\n"
            "then log out and in again.");
  error.group = "root";  // joining root is no advice to give
  EXPECT_EQ(PortOpenFailureMessage(error, {}).find("usermod"), std::string::npos);

  error.problem = PortOpenProblem::Busy;
  error.holder.clear();
  EXPECT_EQ(PortOpenFailureMessage(error, {}),
            "Can't open serial port\nPort: /dev/ttyUSB0\n"
            "Another program is using this port. Close that program, then start again.");

  error.problem = PortOpenProblem::NotATerminal;
  error.path = "/tmp/data\n100.00\ts\t1\tuA";  // a path cannot forge a line of its own
  EXPECT_EQ(PortOpenFailureMessage(error, {}),
            "Can't open serial port\nPort: /tmp/data\\n100.00\\ts\\t1\\tuA\n"
            "This is not a serial port. Choose the port the instrument is connected to.");

  error.problem = PortOpenProblem::Other;
  error.path = "/dev/ttyS0";
  error.systemError = EINVAL;
  EXPECT_EQ(PortOpenFailureMessage(error, {}),
            "Can't open serial port\nPort: /dev/ttyS0\nThe system could not open it (Invalid argument).");
}

TEST(PortOpenMessage, AMissingPortListsThePortsThereAre) {
  PortOpenError error;
  error.path = "/dev/ttyUSB0";
  error.problem = PortOpenProblem::NoSuchDevice;
  const std::string none = PortOpenFailureMessage(error, {});
  EXPECT_NE(none.find("There is no such device."), std::string::npos);
  EXPECT_NE(none.find("\nNo serial ports were found on this computer."), std::string::npos);

  std::vector<SerialPortInfo> detected(2);
  detected[0].device = "/dev/ttyS0";
  detected[1].device = "/dev/ttyUSB1";
  detected[1].manufacturer = "FTDI";
  detected[1].product = "FT232R USB UART";
  detected[1].serialNumber = "A50285BI";
  const std::string some = PortOpenFailureMessage(error, detected);
  EXPECT_NE(some.find("\nSerial ports found on this computer:\n"
                      "    /dev/ttyS0\n"
                      "    /dev/ttyUSB1 - FTDI FT232R USB UART (A50285BI)"),
            std::string::npos)
      << some;
}
