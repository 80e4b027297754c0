// The ivra-sim program as a user or a script starts it.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/port_table.h"
#include "serial/serial_link.h"

namespace {

struct Child {
  pid_t pid = -1;
  int out = -1;  // its stdout
};

Child Spawn(std::vector<std::string> args) {
  args.insert(args.begin(), IVRA_SIM_PATH);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  return {pid, pipeFds[0]};
}

// Reads up to and without the first newline, for at most `timeoutMs`.
std::string FirstLine(int fd, int timeoutMs) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 100) <= 0) continue;
    char c;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

int WaitExit(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST(IvraSimProgramTest, PrintsItsDeviceServesAReadingAndEndsOnSigterm) {
  Child sim = Spawn({"--ohms", "2e6"});
  ASSERT_GT(sim.pid, 0);
  const std::string device = FirstLine(sim.out, 5000);
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;

  ASSERT_TRUE(SetPortDevicePath(1, device));
  ASSERT_TRUE(SerialLink::Open(1));
  for (const char* command : {"*RST\r", ":OUTP ON\r", ":SOUR:VOLT 1.00000\r", ":READ?\r"}) {
    for (const char* p = command; *p != '\0'; ++p) SerialLink::Write(p, 1);
  }
  char reply[101] = {};
  ASSERT_GT(SerialLink::Read(reply, 100), 0);
  double volts = 0, amps = 0;
  EXPECT_EQ(std::sscanf(reply, "%lf,%lf", &volts, &amps), 2) << reply;
  EXPECT_DOUBLE_EQ(volts, 1.0);
  EXPECT_DOUBLE_EQ(amps, 5e-7);
  SerialLink::Close();
  ResetPortTable();

  kill(sim.pid, SIGTERM);
  EXPECT_EQ(WaitExit(sim.pid), 0);
  close(sim.out);
}

TEST(IvraSimProgramTest, HelpSucceedsAndABadOptionFails) {
  Child help = Spawn({"--help"});
  EXPECT_EQ(FirstLine(help.out, 5000).rfind("Usage: ", 0), 0u);
  EXPECT_EQ(WaitExit(help.pid), 0);
  close(help.out);

  Child bad = Spawn({"--ohms", "zero"});
  EXPECT_EQ(WaitExit(bad.pid), 2);
  close(bad.out);
}

TEST(IvraSimProgramTest, EndsByItselfAfterAHangUp) {
  Child sim = Spawn({"--hang-up-after", "0"});
  const std::string device = FirstLine(sim.out, 5000);
  ASSERT_TRUE(SetPortDevicePath(1, device));
  ASSERT_TRUE(SerialLink::Open(1));
  for (const char* p = ":READ?\r"; *p != '\0'; ++p) SerialLink::Write(p, 1);
  char reply[101] = {};
  EXPECT_EQ(SerialLink::Read(reply, 100), 35);
  SerialLink::Close();
  ResetPortTable();
  EXPECT_EQ(WaitExit(sim.pid), 0);
  close(sim.out);
}

}  // namespace
