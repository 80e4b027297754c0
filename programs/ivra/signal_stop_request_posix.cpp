#include "programs/ivra/signal_stop_request.h"

#include <csignal>

#include "process/stop_request.h"

namespace {

constexpr int kMaxSignal = 65;
// The handlers that were there before ours (wx's), which ours passes the
// signal on to. At namespace scope because a signal handler must reach it;
// written before our handler is installed, only read afterwards.
struct sigaction g_previous[kMaxSignal];

extern "C" void RequestStopAndForward(int signalNumber) {
  RequestStop(signalNumber);
  const struct sigaction& previous = g_previous[signalNumber];
  if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signalNumber);
  }
}

}  // namespace

bool ForwardStopSignalsToStopRequest(std::initializer_list<int> signalNumbers) {
  if (!InstallStopRequest()) return false;
  for (int signalNumber : signalNumbers) {
    if (signalNumber <= 0 || signalNumber >= kMaxSignal) continue;
    struct sigaction action {};
    action.sa_handler = RequestStopAndForward;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, &g_previous[signalNumber]);
  }
  return true;
}
