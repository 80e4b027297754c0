#include "serial/port_table.h"

#include <gtest/gtest.h>

namespace {

TEST(PortTableTest, DefaultsAreTheFirstFourSerialDevicesAndEachTableIsItsOwn) {
  PortTable table;
  EXPECT_EQ(table.DevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(table.DevicePath(3), "/dev/ttyS2");
  EXPECT_EQ(table.DevicePath(4), "/dev/ttyS3");
  for (int outside : {0, 5, -1}) EXPECT_EQ(table.DevicePath(outside), "") << outside;

  EXPECT_TRUE(table.SetDevicePath(2, "/dev/ttyUSB0"));
  EXPECT_FALSE(table.SetDevicePath(5, "/dev/ttyUSB1"));
  EXPECT_FALSE(table.SetDevicePath(0, "/dev/ttyUSB1"));
  EXPECT_EQ(table.DevicePath(2), "/dev/ttyUSB0");
  EXPECT_EQ(table.DevicePath(1), "/dev/ttyS0");

  const PortTable fresh;
  EXPECT_EQ(fresh.DevicePath(2), "/dev/ttyS1");
}

}  // namespace
