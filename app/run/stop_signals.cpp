#include "app/run/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;
int g_wakePipe[2] = {-1, -1};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int signalNumber) {
  const int savedErrno = errno;
  if (g_stopSignal == 0) g_stopSignal = signalNumber;
  const char byte = 1;
  // Non-blocking: a full pipe already holds a wake-up.
  [[maybe_unused]] const ssize_t ignored = write(g_wakePipe[1], &byte, 1);
  errno = savedErrno;
}

bool MakeWakePipe() {
  if (pipe(g_wakePipe) != 0) return false;
  for (int fd : g_wakePipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  return true;
}

}  // namespace

bool InstallStopSignals() {
  if (!MakeWakePipe()) return false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kStopSignals) sigaction(signalNumber, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}

void BlockStopSignals(bool blocked) {
  sigset_t set;
  sigemptyset(&set);
  for (int signalNumber : kStopSignals) sigaddset(&set, signalNumber);
  pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

int StopSignalDescriptor() { return g_wakePipe[0]; }

int StopSignalNumber() { return g_stopSignal; }

bool WaitForStopSignal(long long milliseconds) {
  if (g_stopSignal != 0) return true;
  pollfd wake{g_wakePipe[0], POLLIN, 0};
  const int timeout = milliseconds > 60000 ? 60000 : static_cast<int>(milliseconds < 0 ? 0 : milliseconds);
  if (poll(&wake, 1, timeout) > 0) {
    char drained[16];
    while (read(g_wakePipe[0], drained, sizeof drained) > 0) {
    }
  }
  return g_stopSignal != 0;
}
