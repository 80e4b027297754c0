// The stop requests of a Windows console: Ctrl+C, Ctrl+Break and closing the
// console window. Windows runs the handler on a thread of its own; it hands
// the request to the stop request, whose event both the tick wait and a
// waiting serial read watch, so the main loop stops the run itself. For a
// closing console Windows ends the process once the handler returns, so the
// handler holds it until the process is done with the port.
#include "programs/common/stop_signals.h"

#include <windows.h>

#include "process/stop_request.h"

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

// Signalled once main() has returned and the run with it has ended: lets a
// closing console go. The handler's thread must reach it, hence its scope;
// its destructor runs after main().
class ProcessEnd {
 public:
  ~ProcessEnd() {
    if (event_ != nullptr) SetEvent(event_);
  }
  bool Make() {
    if (event_ == nullptr) event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event_ != nullptr;
  }
  void Await(DWORD milliseconds) const { WaitForSingleObject(event_, milliseconds); }

 private:
  HANDLE event_ = nullptr;
};

ProcessEnd g_processEnd;

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
  RequestStop(number);
  if (number == kHangUp) g_processEnd.Await(kCloseHoldMs);
  return TRUE;
}

}  // namespace

bool InstallStopSignals() {
  if (!InstallStopRequest() || !g_processEnd.Make()) return false;
  // A console started without Ctrl+C processing (CREATE_NEW_PROCESS_GROUP)
  // would ignore Ctrl+C: switch it back on.
  SetConsoleCtrlHandler(nullptr, FALSE);
  return SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
}

// Windows delivers console events on a thread of their own: there is nothing
// to keep away from other threads.
void BlockStopSignals(bool) {}
