#include "app/signal_read_abort.h"

#ifdef __unix__
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "serial/serial_link.h"

namespace {

constexpr int kMaxSignal = 65;
struct sigaction g_previous[kMaxSignal];
int g_pipe[2] = {-1, -1};

extern "C" void MarkAndForward(int signalNumber) {
  const int savedErrno = errno;
  const char byte = 1;
  // Non-blocking: a full pipe already reads as "stop".
  [[maybe_unused]] const ssize_t ignored = write(g_pipe[1], &byte, 1);
  errno = savedErrno;
  const struct sigaction& previous = g_previous[signalNumber];
  if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signalNumber);
  }
}

}  // namespace

bool AbortSerialReadsOnSignals(std::initializer_list<int> signalNumbers) {
  if (g_pipe[0] < 0) {
    if (pipe(g_pipe) != 0) return false;
    for (int fd : g_pipe) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  for (int signalNumber : signalNumbers) {
    if (signalNumber <= 0 || signalNumber >= kMaxSignal) continue;
    struct sigaction action {};
    action.sa_handler = MarkAndForward;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, &g_previous[signalNumber]);
  }
  // Nothing drains the pipe: once a stop has come, the program is closing.
  SerialLink::SetReadAbortDescriptor(g_pipe[0]);
  return true;
}

#else

bool AbortSerialReadsOnSignals(std::initializer_list<int>) { return false; }

#endif
