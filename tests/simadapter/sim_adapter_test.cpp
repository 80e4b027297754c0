#include "simadapter/sim_adapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "connection/connection_link.h"
#include "serial/serial_link.h"
#include "sim/simulated_instrument.h"

namespace {

// Sends `command`; for a query, returns the reply.
std::string Ask(InstrumentLink& link, const std::string& command) {
  link.Write(command.data(), static_cast<int>(command.size()));
  if (command.find('?') == std::string::npos) return "";
  char reply[200];
  const int n = link.ReadLine(reply, sizeof reply, 1000);  // as the protocol reads a reply
  return std::string(reply, n > 0 ? n : 0);
}

// Four numbers, then the status word, ended by the line end.
void ExpectReading(const std::string& reply, char lineEnd) {
  EXPECT_EQ(std::count(reply.begin(), reply.end(), ','), 4) << reply;
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply.back(), lineEnd);
}

}  // namespace

TEST(SimAdapter, APrologixControllerOnAPtyPassesTheInstrumentsRepliesAtItsAddressOnly) {
  SimulatedInstrument instrument;
  ASSERT_TRUE(instrument.Start()) << instrument.Error();
  SimAdapterOptions options;
  options.prologix = true;
  SimAdapter controller(options, instrument.DevicePath(), SimOptions());
  ASSERT_TRUE(controller.Start()) << controller.Error();

  ConnectionInstrumentLink link;
  link.SetGpibAddress(24);
  PortOpenError error;
  ASSERT_TRUE(link.Open(controller.ClientAddress(), &error)) << int(error.problem);
  Ask(link, ":OUTP ON\r");
  ExpectReading(Ask(link, ":READ?\r"), '\n');
  EXPECT_TRUE(instrument.OutputOn());
  link.Close();

  ConnectionInstrumentLink elsewhere;
  elsewhere.SetGpibAddress(5);
  ASSERT_TRUE(elsewhere.Open(controller.ClientAddress(), &error));
  const int readsBefore = instrument.ReadRequests();
  Ask(elsewhere, ":OUTP OFF\r");
  elsewhere.Write(":READ?\r", 7);
  char byte;
  EXPECT_EQ(elsewhere.Read(&byte, 1), 0);
  EXPECT_TRUE(instrument.OutputOn());
  EXPECT_EQ(instrument.ReadRequests(), readsBefore);  // nobody listens at 5
  EXPECT_GE(controller.DroppedDataLines(), 1);
}

TEST(SimAdapter, ABridgeOnTcpCarriesTheLineAndTakesTheNextClientWhenOneLeaves) {
  SimulatedInstrument instrument;
  ASSERT_TRUE(instrument.Start()) << instrument.Error();
  SimAdapterOptions options;
  options.listen = true;
  SimAdapter bridge(options, instrument.DevicePath(), SimOptions());
  ASSERT_TRUE(bridge.Start()) << bridge.Error();
  ASSERT_EQ(bridge.ClientAddress().rfind("tcp://127.0.0.1:", 0), 0u) << bridge.ClientAddress();

  for (int client = 0; client < 2; ++client) {
    ConnectionInstrumentLink link;
    PortOpenError error;
    ASSERT_TRUE(link.Open(bridge.ClientAddress(), &error)) << int(error.problem);
    Ask(link, ":OUTP ON\r");
    ExpectReading(Ask(link, ":READ?\r"), '\r');
    link.Close();
  }

  ConnectionInstrumentLink first, second;
  PortOpenError error;
  ASSERT_TRUE(first.Open(bridge.ClientAddress(), &error));
  ExpectReading(Ask(first, ":READ?\r"), '\r');
  ASSERT_TRUE(second.Open(bridge.ClientAddress(), &error));  // accepted, then turned away
  EXPECT_EQ(Ask(second, ":READ?\r"), "");
  EXPECT_TRUE(second.Lost());
}
