#include "serial/port_table.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

class PortTableTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetPortTable(); }
};

TEST_F(PortTableTest, DefaultsAreTheFirstFourSerialDevices) {
  EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(PortDevicePath(3), "/dev/ttyS2");
  EXPECT_EQ(PortDevicePath(4), "/dev/ttyS3");
  EXPECT_EQ(PortDevicePath(0), "");
  EXPECT_EQ(PortDevicePath(5), "");
  EXPECT_EQ(PortDevicePath(-1), "");
}

TEST_F(PortTableTest, PortsCanBePointedElsewhereAndReset) {
  EXPECT_TRUE(SetPortDevicePath(2, "/dev/ttyUSB0"));
  EXPECT_FALSE(SetPortDevicePath(5, "/dev/ttyUSB1"));
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
  ResetPortTable();
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyS1");
}

TEST_F(PortTableTest, PortOptionsAreRecognisedStrictly) {
  EXPECT_TRUE(ApplyPortOption("--com3=/dev/serial/by-id/usb-FTDI_x-if00-port0"));
  EXPECT_EQ(PortDevicePath(3), "/dev/serial/by-id/usb-FTDI_x-if00-port0");
  EXPECT_TRUE(ApplyPortOption("--com1=/dev/pts/7"));
  EXPECT_EQ(PortDevicePath(1), "/dev/pts/7");

  for (const char* bad : {"--com0=/dev/x", "--com5=/dev/x", "--com12=/dev/x", "--com1=", "--com1",
                          "--com=/dev/x", "--comX=/dev/x", "-com1=/dev/x", "--COM1=/dev/x", ""}) {
    EXPECT_FALSE(ApplyPortOption(bad)) << bad;
  }
  EXPECT_FALSE(ApplyPortOption(nullptr));
  EXPECT_EQ(PortDevicePath(1), "/dev/pts/7");
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyS1");
}

TEST_F(PortTableTest, ConsumeRemovesPortOptionsAndKeepsTheRestInOrder) {
  std::vector<std::string> words = {"ivra", "--com2=/dev/ttyUSB0", "--simulate", "--com5=/dev/x",
                                    "file.txt", "--com4=/dev/pts/3"};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  int argc = static_cast<int>(words.size());

  EXPECT_EQ(ConsumePortOptions(argc, argv.data()), 2);
  ASSERT_EQ(argc, 4);
  EXPECT_STREQ(argv[0], "ivra");
  EXPECT_STREQ(argv[1], "--simulate");
  EXPECT_STREQ(argv[2], "--com5=/dev/x");
  EXPECT_STREQ(argv[3], "file.txt");
  EXPECT_EQ(argv[4], nullptr);
  EXPECT_EQ(PortDevicePath(2), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath(4), "/dev/pts/3");
}

}  // namespace
