#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

ChildProcess StartChild(const std::string& program, const std::vector<std::string>& args, int* stdoutFd,
                        const std::string& stderrPath) {
  int out[2] = {-1, -1};
  if (stdoutFd != nullptr && pipe(out) != 0) return {};
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    if (stdoutFd != nullptr) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
    }
    if (!stderrPath.empty()) {
      const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, STDERR_FILENO);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (stdoutFd != nullptr) {
    close(out[1]);
    *stdoutFd = out[0];
  }
  return ChildProcess{pid};
}

ChildProcess StartChildOnTerminal(const std::string& program, const std::vector<std::string>& args, int columns,
                                  int* terminalFd) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return {};
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(slave, TIOCSWINSZ, &size);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(slave, STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(slave);
  *terminalFd = master;
  return ChildProcess{pid};
}

int CollectTerminalUntilExit(ChildProcess& child, int terminalFd, int timeoutMs, std::string& output) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  // Until the child's end closes the terminal's last slave descriptor (EIO).
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{terminalFd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = read(terminalFd, buffer, sizeof buffer);
    if (n <= 0) break;
    output.append(buffer, static_cast<std::size_t>(n));
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return WaitForChild(child, left.count() > 0 ? static_cast<int>(left.count()) : 0);
}

int WaitForChild(ChildProcess& child, int timeoutMs) {
  if (child.pid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (true) {
    const pid_t done = waitpid(child.pid, &status, WNOHANG);
    if (done == child.pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child.pid, SIGKILL);
      waitpid(child.pid, &status, 0);
      child.pid = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  child.pid = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::string ReadLineFrom(int fd, int timeoutMs) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char c = 0;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line.push_back(c);
  }
  return line;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

SimulatorProcess::SimulatorProcess(const std::string& program, const std::vector<std::string>& args) {
  child_ = StartChild(program, args, &stdoutFd_, "");
  if (stdoutFd_ >= 0) devicePath_ = ReadLineFrom(stdoutFd_, 10000);
}

SimulatorProcess::~SimulatorProcess() {
  if (child_.pid > 0) {
    kill(child_.pid, SIGTERM);
    WaitForChild(child_, 10000);
  }
  if (stdoutFd_ >= 0) close(stdoutFd_);
}
