// Port discovery: the order, the words a user sees and the phantom-UART rule.
#include "serial/port_discovery.h"

#include <gtest/gtest.h>

TEST(PortDiscovery, DeviceNamesCompareInNaturalOrder) {
  EXPECT_TRUE(NaturalLess("/dev/ttyS2", "/dev/ttyS10"));
  EXPECT_FALSE(NaturalLess("/dev/ttyS10", "/dev/ttyS2"));
  EXPECT_TRUE(NaturalLess("/dev/ttyACM0", "/dev/ttyS0"));
  EXPECT_TRUE(NaturalLess("COM9", "COM10"));
  EXPECT_TRUE(NaturalLess("/dev/ttyUSB1", "/dev/ttyUSB1a"));
  EXPECT_FALSE(NaturalLess("/dev/ttyUSB1", "/dev/ttyUSB1"));
}

TEST(PortDiscovery, AUsbAdapterIsDescribedByMakerProductAndSerialNumber) {
  SerialPortInfo ftdi;
  ftdi.device = "/dev/ttyUSB0";
  ftdi.description = "FT232R USB UART - FT232R USB UART";
  ftdi.usbVendorId = 0x0403;
  ftdi.usbProductId = 0x6001;
  ftdi.manufacturer = "FTDI";
  ftdi.product = "FT232R USB UART";
  ftdi.serialNumber = "A50285BI";
  ftdi.stableName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  EXPECT_EQ(PortDescription(ftdi), "FTDI FT232R USB UART (A50285BI)");
  EXPECT_EQ(PortListLine(ftdi),
            "/dev/ttyUSB0\tFTDI FT232R USB UART (A50285BI)\tUSB 0403:6001\t"
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\tpossibly a Prologix GPIB controller");

  SerialPortInfo prolific = ftdi;  // the maker repeated in the product string is said once
  prolific.manufacturer = "Prolific";
  prolific.product = "Prolific USB-Serial Controller";
  prolific.serialNumber.clear();
  EXPECT_EQ(PortDescription(prolific), "Prolific USB-Serial Controller");
  prolific.usbVendorId = 0x067b;
  EXPECT_FALSE(MayBePrologixController(prolific));
  EXPECT_EQ(PortListLine(prolific).find("Prologix"), std::string::npos);

  SerialPortInfo builtIn;
  builtIn.device = "/dev/ttyS0";
  builtIn.description = "ttyS0";
  EXPECT_EQ(PortListLine(builtIn), "/dev/ttyS0\tttyS0");
  builtIn.description.clear();
  EXPECT_EQ(PortListLine(builtIn), "/dev/ttyS0");

  EXPECT_TRUE(IsPhantomUartType("0\n"));
  EXPECT_FALSE(IsPhantomUartType("4\n"));  // a 16550A
  EXPECT_FALSE(IsPhantomUartType("10"));
  EXPECT_FALSE(IsPhantomUartType(""));
}
