// SerialLink over a real pseudo-terminal, with the test on the master side.
#include "serial/serial_link.h"

#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "process/stop_request.h"
#include "pty_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    path_ = peer_.SlavePath();
  }
  void TearDown() override { link_.Close(); }
  std::string ReadString(int count) {
    std::string buffer(static_cast<std::size_t>(count), '\0');
    const int got = link_.Read(&buffer[0], count);
    buffer.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return buffer;
  }

  PtyPeer peer_;
  std::string path_;
  SerialLink link_;
};

TEST_F(SerialLinkTest, OpenSettlesAndAppliesRawLineSettings) {
  // Cooked settings beforehand, to see that Open replaces them.
  termios before{};
  ASSERT_EQ(tcgetattr(peer_.SlaveFd(), &before), 0);
  before.c_lflag |= ICANON | ECHO | ISIG;
  before.c_oflag |= OPOST | ONLCR;
  before.c_iflag |= ICRNL | IXON;
  cfsetospeed(&before, B38400);
  ASSERT_EQ(tcsetattr(peer_.SlaveFd(), TCSANOW, &before), 0);

  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(link_.Open(path_));
  EXPECT_GE(MsSince(start), 299.0);  // the settle time
  EXPECT_TRUE(link_.IsOpen());

  termios tio{};
  ASSERT_EQ(tcgetattr(peer_.SlaveFd(), &tio), 0);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (CSTOPB | CREAD | CLOCAL), static_cast<tcflag_t>(CSTOPB | CREAD | CLOCAL));
  EXPECT_EQ(tio.c_cflag & (PARENB | CRTSCTS), 0u);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));

  // Another of the instrument's rates when asked; one it does not offer stays at 9600.
  for (const auto& [baud, speed] :
       {std::pair<int, speed_t>{300, B300}, {57600, B57600}, {19200, B19200}, {115200, B9600}}) {
    ASSERT_TRUE(link_.Open(path_, nullptr, baud));
    ASSERT_EQ(tcgetattr(peer_.SlaveFd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed) << baud;
    EXPECT_EQ(cfgetispeed(&tio), speed) << baud;
  }
  ASSERT_TRUE(link_.Open(path_));

  // CR and LF cross unchanged both ways.
  const std::string bytes = "a\r\nb\n\rc";
  ASSERT_TRUE(link_.Write(bytes.data(), static_cast<int>(bytes.size())));
  EXPECT_EQ(peer_.Receive(300), bytes);
  peer_.Send(bytes);
  EXPECT_EQ(ReadString(static_cast<int>(bytes.size())), bytes);
}

TEST_F(SerialLinkTest, OpenFailsForUnknownPortsAndMissingDevices) {
  PortOpenError error;
  EXPECT_FALSE(link_.Open("", &error));
  EXPECT_EQ(error.problem, PortOpenProblem::NoSuchDevice);
  EXPECT_FALSE(link_.Open("/dev/ivra-no-such-port", &error));
  EXPECT_EQ(error.problem, PortOpenProblem::NoSuchDevice);
  EXPECT_EQ(error.path, "/dev/ivra-no-such-port");
  EXPECT_FALSE(link_.IsOpen());
  // Nothing open: every call is harmless.
  char c = 'x';
  EXPECT_FALSE(link_.Write(&c, 1));
  EXPECT_EQ(link_.Read(&c, 1), 0);
  link_.Close();
}

TEST_F(SerialLinkTest, ReadWithNothingArrivingTimesOutAfterTheTotal) {
  ASSERT_TRUE(link_.Open(path_));
  char buffer[5];
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(link_.Read(buffer, 5), 0);
  const double elapsed = MsSince(start);
  EXPECT_GE(elapsed, 1099.0);  // 200 * 5 + 100
  EXPECT_LT(elapsed, 3000.0);
}

TEST_F(SerialLinkTest, BurstIsReturnedAfterTheIntervalOfQuiet) {
  ASSERT_TRUE(link_.Open(path_));
  const std::string burst(70, 'B');
  std::thread sender([this, &burst] {
    SleepMs(100);
    peer_.Send(burst);
  });
  const Clock::time_point start = Clock::now();
  const std::string got = ReadString(100);  // would time out only after 20.1 s
  const double elapsed = MsSince(start);
  sender.join();
  EXPECT_EQ(got, burst);
  EXPECT_GE(elapsed, 290.0);  // burst at ~100 ms + 200 ms of quiet
  EXPECT_LT(elapsed, 3000.0);
}

TEST_F(SerialLinkTest, StopRequestEndsAWaitingReadButNotAReplyUnderWay) {
  ASSERT_TRUE(InstallStopRequest());
  ASSERT_TRUE(link_.Open(path_));

  // Nothing arrives: the stop ends the read long before its 20.1 s time-out.
  std::thread stopper([&] {
    SleepMs(150);
    RequestStop();
  });
  Clock::time_point start = Clock::now();
  EXPECT_EQ(ReadString(100), "");
  const double stopped = MsSince(start);
  stopper.join();
  EXPECT_GE(stopped, 140.0);
  EXPECT_LT(stopped, 5000.0);

  // With the stop still pending, a reply that has begun is read to its end.
  // The first part is sent before the read, so a slow thread start on a
  // loaded machine cannot turn this into a read that has received nothing.
  peer_.Send("+1.0E+00,");
  std::thread sender([this] {
    SleepMs(100);
    peer_.Send("-2.0E-06\r");
  });
  SleepMs(20);
  EXPECT_EQ(ReadString(100), "+1.0E+00,-2.0E-06\r");
  sender.join();

  ClearStopRequest();
  EXPECT_FALSE(WaitForStopRequest(0));
}

TEST_F(SerialLinkTest, TricklingBytesKeepTheReadGoingUntilQuiet) {
  ASSERT_TRUE(link_.Open(path_));
  // One byte every 100 ms: each gap is shorter than the interval time-out.
  std::thread sender([this] {
    for (int i = 0; i < 6; ++i) {
      SleepMs(100);
      peer_.Send(std::string(1, static_cast<char>('0' + i)));
    }
  });
  const Clock::time_point start = Clock::now();
  const std::string got = ReadString(50);
  const double elapsed = MsSince(start);
  sender.join();
  EXPECT_EQ(got, "012345");
  EXPECT_GE(elapsed, 790.0);
  EXPECT_LT(elapsed, 5000.0);
}

TEST_F(SerialLinkTest, ReadReturnsAsSoonAsTheCountHasArrived) {
  ASSERT_TRUE(link_.Open(path_));
  peer_.Send("0123456789");
  // More bytes keep coming; a read that waited for quiet would run to its
  // 900 ms total.
  std::thread sender([this] {
    for (int i = 0; i < 20; ++i) {
      SleepMs(50);
      peer_.Send("x");
    }
  });
  const Clock::time_point start = Clock::now();
  const std::string got = ReadString(4);
  const double elapsed = MsSince(start);
  sender.join();
  EXPECT_EQ(got, "0123");
  EXPECT_LT(elapsed, 600.0);
  EXPECT_EQ(ReadString(6), "456789");
}

TEST_F(SerialLinkTest, InputWaitingAtOpenIsDiscarded) {
  peer_.Send(std::string(40, 'w'));
  ASSERT_TRUE(link_.Open(path_));
  int waiting = -1;
  ASSERT_EQ(ioctl(peer_.SlaveFd(), FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 0);
  peer_.Send("LATER");
  EXPECT_EQ(ReadString(100), "LATER");
}

TEST_F(SerialLinkTest, MoreWaitingInputThanTheDrainBufferIsAlsoDiscarded) {
  peer_.Send(std::string(3000, 'w'));
  ASSERT_TRUE(link_.Open(path_));
  peer_.Send("LATER");
  EXPECT_EQ(ReadString(100), "LATER");
}

TEST_F(SerialLinkTest, PortHeldByAnotherProcessIsRefusedWithoutConfiguration) {
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SerialLink holder;
    const char ok = holder.Open(path_) ? '1' : '0';
    if (write(ready[1], &ok, 1) != 1) _exit(3);
    char done;
    if (read(release[0], &done, 1) < 0) _exit(4);
    holder.Close();
    _exit(0);
  }
  char childOpened = '?';
  ASSERT_EQ(read(ready[0], &childOpened, 1), 1);
  ASSERT_EQ(childOpened, '1');

  // Settings that Open would change, to see that it changes none of them.
  termios held{};
  ASSERT_EQ(tcgetattr(peer_.SlaveFd(), &held), 0);
  held.c_lflag |= ICANON | ECHO;
  cfsetospeed(&held, B38400);
  cfsetispeed(&held, B38400);
  ASSERT_EQ(tcsetattr(peer_.SlaveFd(), TCSANOW, &held), 0);
  ASSERT_EQ(tcgetattr(peer_.SlaveFd(), &held), 0);

  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(link_.Open(path_));
  EXPECT_LT(MsSince(start), 250.0);  // refused before the settle time
  EXPECT_FALSE(link_.IsOpen());
  termios after{};
  ASSERT_EQ(tcgetattr(peer_.SlaveFd(), &after), 0);
  EXPECT_EQ(after.c_lflag, held.c_lflag);
  EXPECT_EQ(after.c_cflag, held.c_cflag);
  EXPECT_EQ(after.c_iflag, held.c_iflag);
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&held));

  ASSERT_EQ(write(release[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);

  // Once the other process has let go, the port opens.
  EXPECT_TRUE(link_.Open(path_));
}

TEST_F(SerialLinkTest, CloseReleasesExclusiveUseAndTheLinkReopens) {
  // Opened first: once the link holds the port, only root could open it.
  const int other = open(peer_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_TRUE(link_.Open(path_));
  int exclusive = -1;
  ASSERT_EQ(ioctl(peer_.SlaveFd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  // A second lock attempt fails while the link holds the port.
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);

  const std::string command = ":OUTP OFF\r";
  for (char c : command) ASSERT_TRUE(link_.Write(&c, 1));
  link_.Close();
  EXPECT_FALSE(link_.IsOpen());
  EXPECT_EQ(peer_.Receive(300), command);

  // Our terminal stays open on the far side, so the flag would outlive the
  // link's descriptor unless Close cleared it.
  ASSERT_EQ(ioctl(peer_.SlaveFd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  flock(other, LOCK_UN);
  close(other);

  ASSERT_TRUE(link_.Open(path_));
  peer_.Send("again");
  EXPECT_EQ(ReadString(5), "again");
}

TEST_F(SerialLinkTest, HangUpMidReadReturnsWhatArrivedWithoutSpinning) {
  ASSERT_TRUE(link_.Open(path_));
  std::thread farSide([this] {
    SleepMs(100);
    peer_.Send("+5.0");
    // A hang-up discards input nobody has read yet: drop the line only once
    // the link has taken the bytes, however late it gets to run.
    int waiting = 1;
    for (int i = 0; i < 400 && waiting > 0; ++i) {
      if (ioctl(peer_.SlaveFd(), FIONREAD, &waiting) != 0) break;
      SleepMs(5);
    }
    SleepMs(20);
    peer_.HangUp();
  });
  const double cpuBefore = ProcessCpuMs();
  const Clock::time_point start = Clock::now();
  const std::string got = ReadString(100);
  const double elapsed = MsSince(start);
  farSide.join();
  EXPECT_EQ(got, "+5.0");
  EXPECT_LT(elapsed, 3000.0);
  EXPECT_TRUE(link_.Lost());

  // The port is gone: reads end at once with nothing, writes fail, close is quick.
  const Clock::time_point later = Clock::now();
  EXPECT_EQ(ReadString(100), "");
  EXPECT_LT(MsSince(later), 1000.0);
  const char c = 'x';
  EXPECT_FALSE(link_.Write(&c, 1));
  link_.Close();
  EXPECT_LT(MsSince(later), 2500.0);
  const double total = MsSince(start);
  EXPECT_LT(ProcessCpuMs() - cpuBefore, 0.5 * total + 50.0);
}

TEST_F(SerialLinkTest, HangUpWithNothingReceivedEndsTheReadEarly) {
  ASSERT_TRUE(link_.Open(path_));
  std::thread farSide([this] {
    SleepMs(150);
    peer_.HangUp();
  });
  const double cpuBefore = ProcessCpuMs();
  const Clock::time_point start = Clock::now();
  char buffer[100];
  EXPECT_EQ(link_.Read(buffer, 100), 0);
  const double elapsed = MsSince(start);
  farSide.join();
  EXPECT_LT(elapsed, 5000.0);  // the time-out would be 20.1 s
  EXPECT_LT(ProcessCpuMs() - cpuBefore, 0.5 * elapsed + 50.0);
  EXPECT_TRUE(link_.Lost());
}

TEST_F(SerialLinkTest, DiscardInputTakesWhatWaitsAndNothingMore) {
  ASSERT_TRUE(link_.Open(path_));
  EXPECT_EQ(link_.DiscardInput(), 0);
  peer_.Send(",+1.234567E+01,+2.150800E+04\r");
  SleepMs(100);
  EXPECT_EQ(link_.DiscardInput(), 29);
  EXPECT_EQ(link_.DiscardInput(), 0);
  EXPECT_EQ(peer_.Receive(50), "");  // it sends nothing
  peer_.Send("fresh\r");
  EXPECT_EQ(ReadString(6), "fresh\r");
  EXPECT_FALSE(link_.Lost());

  // More than the scratch buffer holds is discarded all the same.
  peer_.Send(std::string(3000, 'x'));
  SleepMs(100);
  EXPECT_EQ(link_.DiscardInput(), 3000);
  EXPECT_EQ(ReadString(1), "");
}

TEST_F(SerialLinkTest, ALineDroppedBetweenExchangesIsFoundByTheDiscardAndAReopenClearsIt) {
  ASSERT_TRUE(link_.Open(path_));
  peer_.HangUp();
  EXPECT_EQ(link_.DiscardInput(), 0);
  EXPECT_TRUE(link_.Lost());
  link_.Close();
  EXPECT_TRUE(link_.Lost());  // still known after the close

  // A new terminal at the port's path: the link opens it as new.
  PtyPeer again;
  ASSERT_TRUE(again.ok());
  ASSERT_TRUE(link_.Open(again.SlavePath()));
  EXPECT_FALSE(link_.Lost());
  const char c = 'y';
  EXPECT_TRUE(link_.Write(&c, 1));
  EXPECT_EQ(again.Receive(100), "y");
}

TEST_F(SerialLinkTest, AWriteToADroppedLineMarksThePortLost) {
  ASSERT_TRUE(link_.Open(path_));
  const char c = 'z';
  EXPECT_TRUE(link_.Write(&c, 1));
  EXPECT_FALSE(link_.Lost());
  peer_.HangUp();
  EXPECT_FALSE(link_.Write(&c, 1));
  EXPECT_TRUE(link_.Lost());
}

}  // namespace

namespace {

// Two ports at once, each with its own link: nothing of one leaks into the other.
TEST(SerialLinkInstances, TwoLinksDriveTwoPortsIndependently) {
  PtyPeer first;
  PtyPeer second;
  ASSERT_TRUE(first.ok() && second.ok());
  SerialLink a;
  SerialLink b;
  ASSERT_TRUE(a.Open(first.SlavePath()));
  ASSERT_TRUE(b.Open(second.SlavePath()));
  ASSERT_TRUE(a.Write("A", 1));
  ASSERT_TRUE(b.Write("B", 1));
  EXPECT_EQ(first.Receive(300), "A");
  EXPECT_EQ(second.Receive(300), "B");

  second.HangUp();
  EXPECT_EQ(b.DiscardInput(), 0);
  EXPECT_TRUE(b.Lost());
  EXPECT_FALSE(a.Lost());
  first.Send("ok\r");
  char reply[3] = {};
  EXPECT_EQ(a.Read(reply, 3), 3);
  b.Close();
  EXPECT_TRUE(a.IsOpen());
  EXPECT_FALSE(b.IsOpen());
}

}  // namespace
