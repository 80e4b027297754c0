#include "simadapter/prologix_controller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Bench {
  std::vector<std::string> toInstrument;
  std::string toHost;
  std::string reply = "+1.0E0\r";
  int reads = 0;
  PrologixController controller{PrologixBus{[this](const std::string& b) { toInstrument.push_back(b); },
                                            [this](int) {
                                              ++reads;
                                              return reply;
                                            },
                                            [this](const std::string& b) { toHost += b; }},
                                24, false};
};

}  // namespace

TEST(PrologixController, PowersUpAsAUsedAdapterAndTakesNothingForTheInstrumentUntilSetUp) {
  Bench bench;
  bench.controller.Take("++ver\r\n++mode\n++addr\n++auto\n");
  EXPECT_EQ(bench.toHost, "Prologix GPIB-USB Controller version 6.107\r\n0\r\n5\r\n1\r\n");
  bench.controller.Take(":READ?\n");  // device mode: nobody addresses it, it goes nowhere
  EXPECT_TRUE(bench.toInstrument.empty());

  bench.controller.Take("++mode 1\n++addr 7\n:READ?\n");  // nobody listens at 7
  EXPECT_TRUE(bench.toInstrument.empty());
  EXPECT_EQ(bench.controller.DataLinesDropped(), 2);

  // At the instrument's address with read-after-write still on, the reply
  // comes unasked, with the GPIB line end.
  bench.toHost.clear();
  bench.controller.Take("++addr 24\r:READ?\r");
  ASSERT_EQ(bench.toInstrument, std::vector<std::string>{":READ?\r\n"});
  EXPECT_EQ(bench.toHost, "+1.0E0\n");
}

TEST(PrologixController, EscapedBytesAreDataAndTheTerminatorIsTheOneSet) {
  Bench bench;
  bench.controller.Take("++mode 1\n++addr 24\n++auto 0\n++eos 2\n");
  bench.controller.Take(":SOUR:VOLT \x1b+1.0\n\x1b+\x1b+rst\n");  // "++" escaped is data, not a command
  EXPECT_EQ(bench.toInstrument, (std::vector<std::string>{":SOUR:VOLT +1.0\n", "++rst\n"}));
  EXPECT_EQ(bench.reads, 0);  // no read-after-write
  bench.controller.Take("++eos 3\n:READ?\n++read eoi\n");
  EXPECT_EQ(bench.toInstrument.back(), ":READ?\n");  // EOI alone ends it
  EXPECT_EQ(bench.toHost, "+1.0E0\n");
  bench.controller.Take("++eos 9\n++eos\n++read_tmo_ms 0\n++read_tmo_ms\n");
  EXPECT_EQ(bench.toHost, "+1.0E0\n3\r\n500\r\n");  // values out of range change nothing
}
