// The ivra-sim program as a user or a script starts it.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
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

  PortTable ports;
  ASSERT_TRUE(ports.SetDevicePath(1, device));
  SerialLink link;
  ASSERT_TRUE(link.Open(ports.DevicePath(1)));
  for (const char* command : {"*RST\r", ":OUTP ON\r", ":SOUR:VOLT 1.00000\r", ":READ?\r"}) {
    for (const char* p = command; *p != '\0'; ++p) link.Write(p, 1);
  }
  char reply[101] = {};
  ASSERT_GT(link.Read(reply, 100), 0);
  double volts = 0, amps = 0;
  EXPECT_EQ(std::sscanf(reply, "%lf,%lf", &volts, &amps), 2) << reply;
  EXPECT_DOUBLE_EQ(volts, 1.0);
  EXPECT_DOUBLE_EQ(amps, 5e-7);
  link.Close();

  kill(sim.pid, SIGTERM);
  EXPECT_EQ(WaitExit(sim.pid), 0);
  close(sim.out);
}

TEST(IvraSimProgramTest, HelpAndVersionSucceedAndABadOptionFails) {
  Child help = Spawn({"--help"});
  EXPECT_EQ(FirstLine(help.out, 5000).rfind("Usage: ", 0), 0u);
  EXPECT_EQ(WaitExit(help.pid), 0);
  close(help.out);

  Child version = Spawn({"--version"});
  EXPECT_EQ(FirstLine(version.out, 5000), "ivra-sim " IVRA_VERSION);
  EXPECT_EQ(WaitExit(version.pid), 0);
  close(version.out);

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--ohms", "zero"}, {"--parity", "1"}, {"--data-bits", "7"}, {"--line-noise", "0.6"}}) {
    Child bad = Spawn(args);
    EXPECT_EQ(WaitExit(bad.pid), 2) << args[0];
    close(bad.out);
  }
}

TEST(IvraSimProgramTest, EndsByItselfAfterAHangUp) {
  Child sim = Spawn({"--hang-up-after", "0"});
  const std::string device = FirstLine(sim.out, 5000);
  PortTable ports;
  ASSERT_TRUE(ports.SetDevicePath(1, device));
  SerialLink link;
  ASSERT_TRUE(link.Open(ports.DevicePath(1)));
  for (const char* p = ":READ?\r"; *p != '\0'; ++p) link.Write(p, 1);
  char reply[101] = {};
  EXPECT_EQ(link.Read(reply, 100), 35);
  link.Close();
  EXPECT_EQ(WaitExit(sim.pid), 0);
  close(sim.out);
}

long ResidentKilobytes(pid_t pid) {
  std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
  if (status == nullptr) return -1;
  char line[256];
  long kilobytes = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmRSS: %ld kB", &kilobytes) == 1) break;
  }
  std::fclose(status);
  return kilobytes;
}

// Writes `count` set-voltage commands, then waits for the answer to *OPC? so
// that all of them have been taken.
bool SendVoltages(int fd, int count) {
  std::string block;
  for (int i = 0; i < 1000; ++i) block += ":SOUR:VOLT 0.50000\r";
  for (int sent = 0; sent < count; sent += 1000) {
    for (std::size_t done = 0; done < block.size();) {
      const ssize_t n = write(fd, block.data() + done, block.size() - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
  }
  if (write(fd, "*OPC?\r", 6) != 6) return false;
  std::string reply;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (reply.find('\r') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{fd, POLLIN, 0};
    char buffer[16];
    if (poll(&pfd, 1, 100) > 0) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) reply.append(buffer, static_cast<std::size_t>(n));
    }
  }
  return reply == "1\r";
}

// A run of days sends millions of commands; the simulator's memory must not
// grow with them (it used to keep every one).
TEST(IvraSimProgramTest, MemoryStaysBoundedOverManyCommands) {
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer holds freed memory back in quarantine, which would show
  // as growth; the child runs without it.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string saved = asan != nullptr ? asan : "";
  setenv("ASAN_OPTIONS", (saved + ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0").c_str(), 1);
  Child sim = Spawn({});
  setenv("ASAN_OPTIONS", saved.c_str(), 1);
#else
  Child sim = Spawn({});
#endif
  const std::string device = FirstLine(sim.out, 5000);
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0) << device;
  termios tio{};
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  cfmakeraw(&tio);
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);

  ASSERT_TRUE(SendVoltages(fd, 10000));  // fills the kept record
  const long before = ResidentKilobytes(sim.pid);
  ASSERT_TRUE(SendVoltages(fd, 150000));  // 2.9 MB of commands; kept, about 10 MB
  const long after = ResidentKilobytes(sim.pid);
  std::printf("ivra-sim resident: %ld kB after 10000 commands, %ld kB after 160000\n", before, after);
  EXPECT_GT(before, 0);
  EXPECT_LT(after - before, 2048);

  close(fd);
  kill(sim.pid, SIGTERM);
  EXPECT_EQ(WaitExit(sim.pid), 0);
  close(sim.out);
}

}  // namespace
