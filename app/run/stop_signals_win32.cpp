// The stop requests of a Windows console: Ctrl+C, Ctrl+Break and closing the
// console window. Windows runs the handler on a thread of its own; it records
// the request and signals an event that both the tick wait and a waiting
// serial read watch, so the main loop stops the run itself. For a closing
// console Windows ends the process once the handler returns, so the handler
// holds it until the run has stopped with the output off.
#include "app/run/stop_signals.h"

#include <windows.h>

#include <atomic>

#include "serial/serial_link_win32.h"

namespace {

// The POSIX signal numbers the exit status is made from, so that ivra-run ends
// with the same status on both systems: Ctrl+C is an interrupt (130), Ctrl+Break
// a termination request (143), a closed console a hang-up (129).
constexpr int kInterrupt = 2;
constexpr int kTerminate = 15;
constexpr int kHangUp = 1;

// How long a closing console is held for the output-off command at most;
// Windows itself gives a handler about 5 s.
constexpr DWORD kCloseHoldMs = 4500;

std::atomic<int> g_stopSignal{0};
HANDLE g_stopRequested = nullptr;  // manual reset: stays signalled
HANDLE g_runEnded = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
  int number = 0;
  switch (event) {
    case CTRL_C_EVENT: number = kInterrupt; break;
    case CTRL_BREAK_EVENT: number = kTerminate; break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: number = kHangUp; break;
    default: return FALSE;
  }
  int none = 0;
  g_stopSignal.compare_exchange_strong(none, number);
  SetEvent(g_stopRequested);
  if (number == kHangUp) WaitForSingleObject(g_runEnded, kCloseHoldMs);
  return TRUE;
}

// Lets a closing console go once main() is done with the port.
struct RunEndSignal {
  ~RunEndSignal() {
    if (g_runEnded != nullptr) SetEvent(g_runEnded);
  }
} g_runEndSignal;

}  // namespace

bool InstallStopSignals() {
  g_stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_runEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_stopRequested == nullptr || g_runEnded == nullptr) return false;
  // A console started without Ctrl+C processing (CREATE_NEW_PROCESS_GROUP)
  // would ignore Ctrl+C: switch it back on.
  SetConsoleCtrlHandler(nullptr, FALSE);
  if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE)) return false;
  SetSerialReadAbortEvent(g_stopRequested);
  return true;
}

// Windows delivers console events on a thread of their own: there is nothing
// to keep away from other threads.
void BlockStopSignals(bool) {}

// No descriptor on Windows: the serial link waits on the event instead.
int StopSignalDescriptor() { return -1; }

int StopSignalNumber() { return g_stopSignal.load(); }

bool WaitForStopSignal(long long milliseconds) {
  if (g_stopSignal.load() != 0) return true;
  const DWORD timeout = milliseconds > 60000 ? 60000 : static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds);
  WaitForSingleObject(g_stopRequested, timeout);
  return g_stopSignal.load() != 0;
}
