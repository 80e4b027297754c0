// The stop request on POSIX: a self-pipe whose write end a signal handler may
// reach. It is the one piece of mutable state at namespace scope in this
// library, since a handler cannot be handed an object.
#include "process/stop_request.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Written once by InstallStopRequest before any request can come; read by the
// handler. sig_atomic_t keeps the handler's reads whole.
volatile std::sig_atomic_t g_pipeRead = -1;
volatile std::sig_atomic_t g_pipeWrite = -1;
volatile std::sig_atomic_t g_signalNumber = 0;

}  // namespace

bool InstallStopRequest() {
  if (g_pipeRead >= 0) return true;
  int fds[2];
  if (pipe(fds) != 0) return false;
  for (int fd : fds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  g_pipeWrite = fds[1];
  g_pipeRead = fds[0];
  return true;
}

void RequestStop(int signalNumber) {
  const int savedErrno = errno;
  if (signalNumber != 0 && g_signalNumber == 0) g_signalNumber = signalNumber;
  const int fd = g_pipeWrite;
  if (fd >= 0) {
    const char byte = 1;
    // Non-blocking: a full pipe is readable already.
    [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
  }
  errno = savedErrno;
}

int StopSignalNumber() { return g_signalNumber; }

bool WaitForStopRequest(long long milliseconds) {
  const int fd = g_pipeRead;
  if (fd < 0) {
    if (milliseconds > 0) poll(nullptr, 0, static_cast<int>(milliseconds));
    return false;
  }
  pollfd pfd{fd, POLLIN, 0};
  const int timeout = milliseconds <= 0 ? 0 : static_cast<int>(milliseconds);
  for (;;) {
    const int ready = poll(&pfd, 1, timeout);
    if (ready < 0 && errno == EINTR) {
      // A signal that asked for a stop has written the pipe by now.
      pfd.revents = 0;
      if (poll(&pfd, 1, 0) > 0) return true;
      continue;
    }
    return ready > 0 && (pfd.revents & POLLIN) != 0;
  }
}

void ClearStopRequest() {
  const int fd = g_pipeRead;
  if (fd < 0) return;
  char drained[64];
  while (read(fd, drained, sizeof drained) > 0) {
  }
}

int StopRequestDescriptor() { return g_pipeRead; }
