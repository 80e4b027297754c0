#include "app/signal_read_abort.h"

#ifdef __unix__
#include <csignal>

#include "serial/read_abort.h"

namespace {

constexpr int kMaxSignal = 65;
struct sigaction g_previous[kMaxSignal];

extern "C" void MarkAndForward(int signalNumber) {
  RequestReadAbort();
  const struct sigaction& previous = g_previous[signalNumber];
  if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signalNumber);
  }
}

}  // namespace

bool AbortSerialReadsOnSignals(std::initializer_list<int> signalNumbers) {
  if (!InstallReadAbort()) return false;
  for (int signalNumber : signalNumbers) {
    if (signalNumber <= 0 || signalNumber >= kMaxSignal) continue;
    struct sigaction action {};
    action.sa_handler = MarkAndForward;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, &g_previous[signalNumber]);
  }
  return true;
}

#else

bool AbortSerialReadsOnSignals(std::initializer_list<int>) { return false; }

#endif
