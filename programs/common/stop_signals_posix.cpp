#include "programs/common/stop_signals.h"

#include <pthread.h>

#include <cerrno>
#include <csignal>

#include "process/stop_request.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int signalNumber) {
  const int savedErrno = errno;
  RequestStop(signalNumber);
  errno = savedErrno;
}

}  // namespace

bool InstallStopSignals() {
  if (!InstallStopRequest()) return false;
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
