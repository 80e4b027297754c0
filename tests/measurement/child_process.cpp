#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

ChildProcess StartChild(const std::string& program, const std::vector<std::string>& args,
                        int* stdoutFd, const std::string& stderrPath) {
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
