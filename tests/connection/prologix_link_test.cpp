#include "connection/prologix_link.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "serial/serial_link.h"

namespace {

// A controller that answers "++ver" (unless silent) and hands out the
// instrument's reply after "++read eoi". It keeps every line it was sent.
class ScriptedController final : public InstrumentLink {
 public:
  struct State {
    bool silent = false;
    bool open = false;
    std::string instrumentReply = "+1.0E0\n";
    std::string written;
    std::deque<char> toRead;
    std::vector<std::string> Lines() const {
      std::vector<std::string> lines;
      std::string line;
      for (char c : written) {
        line += c;
        if (c == '\n' && (line.size() < 2 || line[line.size() - 2] != 27)) {
          lines.push_back(line);
          line.clear();
        }
      }
      return lines;
    }
  };
  explicit ScriptedController(std::shared_ptr<State> state) : state_(std::move(state)) {}
  bool Open(const std::string&, PortOpenError*) override { return state_->open = true; }
  bool Write(const void* bytes, int count) override {
    const std::string text(static_cast<const char*>(bytes), count);
    state_->written += text;
    if (text == "++ver\n" && !state_->silent) Queue("Prologix GPIB-USB Controller version 6.107\r\n");
    if (text == "++read eoi\n") Queue(state_->instrumentReply);
    return true;
  }
  int Read(void* buffer, int count) override {
    int got = 0;
    while (got < count && !state_->toRead.empty()) {
      static_cast<char*>(buffer)[got++] = state_->toRead.front();
      state_->toRead.pop_front();
    }
    return got;
  }
  int DiscardInput() override {
    const int n = static_cast<int>(state_->toRead.size());
    state_->toRead.clear();
    return n;
  }
  void Close() override { state_->open = false; }
  bool Lost() override { return false; }

 private:
  void Queue(const std::string& text) { state_->toRead.insert(state_->toRead.end(), text.begin(), text.end()); }
  std::shared_ptr<State> state_;
};

void SendByteByByte(InstrumentLink& link, const std::string& command) {
  for (char c : command) ASSERT_TRUE(link.Write(&c, 1));
}

}  // namespace

TEST(PrologixLink, SetsTheControllerUpWhateverItSavedAndReadsOnlyAfterAQuery) {
  auto state = std::make_shared<ScriptedController::State>();
  PrologixInstrumentLink link(std::make_unique<ScriptedController>(state), 24);
  PortOpenError error;
  ASSERT_TRUE(link.Open("/dev/ttyUSB0", &error));
  EXPECT_EQ(link.ControllerVersion(), "Prologix GPIB-USB Controller version 6.107");
  const std::vector<std::string> setup = {"++savecfg 0\n", "++ver\n",   "++mode 1\n", "++addr 24\n",
                                          "++auto 0\n",    "++eoi 1\n", "++eos 2\n",  "++read_tmo_ms 3000\n"};
  EXPECT_EQ(state->Lines(), setup);

  // A command that asks for nothing is passed on whole; a read after it does
  // not address the instrument to talk.
  state->written.clear();
  SendByteByByte(link, ":SOUR:VOLT +1.00000\r");
  char reply[100];
  EXPECT_EQ(link.Read(reply, sizeof reply), 0);
  EXPECT_EQ(state->written, ":SOUR:VOLT \x1b+1.00000\n");

  // A query: the first read asks for the reply, the next one doesn't ask again.
  state->written.clear();
  SendByteByByte(link, ":READ?\r");
  EXPECT_EQ(link.Read(reply, 3), 3);
  EXPECT_EQ(link.Read(reply + 3, sizeof reply - 3), 4);
  EXPECT_EQ(std::string(reply, 7), "+1.0E0\n");
  EXPECT_EQ(state->written, ":READ?\n++read eoi\n");
}

TEST(PrologixLink, EscapesWhatTheControllerWouldTakeForItsOwnAndFailsWhereNoControllerAnswers) {
  EXPECT_EQ(PrologixInstrumentLink::EscapedLine(std::string("a+b\x1b") + "c\rd\ne"),
            "a\x1b+b\x1b\x1b"
            "c\x1b\rd\x1b\ne\n");

  auto state = std::make_shared<ScriptedController::State>();
  state->silent = true;
  PrologixInstrumentLink link(std::make_unique<ScriptedController>(state), 5);
  PortOpenError error;
  EXPECT_FALSE(link.Open("/dev/ttyUSB1", &error));
  EXPECT_EQ(error.problem, PortOpenProblem::NoController);
  EXPECT_EQ(error.path, "/dev/ttyUSB1");
  EXPECT_FALSE(state->open);
  EXPECT_EQ(state->written.find("++addr"), std::string::npos);  // nothing was set on whatever answers there
}
