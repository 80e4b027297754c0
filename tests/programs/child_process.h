// Starting the real programs from a test: ivra-sim on its pseudo-terminal and
// ivra-run against it, with their output captured and their exit awaited.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ChildProcess {
  pid_t pid = -1;
};

// Starts `program` with `args`; its stdout goes to a pipe whose read end is
// returned in `stdoutFd` (when not null), its stderr to `stderrPath` (when not empty).
ChildProcess StartChild(const std::string& program, const std::vector<std::string>& args, int* stdoutFd,
                        const std::string& stderrPath);

// Starts `program` with its stderr on a new pseudo-terminal `columns` wide, as
// a user's terminal would be, but passing bytes through unchanged (no "\n" to
// "\r\n"). The terminal's master end is returned in `terminalFd`.
ChildProcess StartChildOnTerminal(const std::string& program, const std::vector<std::string>& args, int columns,
                                  int* terminalFd);

// Collects what the child writes to `terminalFd` until it ends (at most
// `timeoutMs`) into `output`; returns what WaitForChild returns.
int CollectTerminalUntilExit(ChildProcess& child, int terminalFd, int timeoutMs, std::string& output);

// Waits up to `timeoutMs` for the child to end. Returns its exit code, 128+n
// when a signal n ended it, or -1 on time-out (the child is then killed).
int WaitForChild(ChildProcess& child, int timeoutMs);

// Reads one line (without its newline) from `fd`, waiting up to `timeoutMs`.
std::string ReadLineFrom(int fd, int timeoutMs);

// The whole file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// The simulator running for one test; stopped (SIGTERM) on destruction.
class SimulatorProcess {
 public:
  SimulatorProcess(const std::string& program, const std::vector<std::string>& args);
  ~SimulatorProcess();
  const std::string& DevicePath() const { return devicePath_; }

 private:
  ChildProcess child_;
  int stdoutFd_ = -1;
  std::string devicePath_;
};
