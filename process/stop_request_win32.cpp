// The stop request on Windows: a manual-reset event, which the console
// handler (another thread) and the link both reach.
#include "process/stop_request.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<HANDLE> g_event{nullptr};  // stays signalled until cleared
std::atomic<int> g_signalNumber{0};

}  // namespace

bool InstallStopRequest() {
  if (g_event.load() != nullptr) return true;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return false;
  HANDLE expected = nullptr;
  if (!g_event.compare_exchange_strong(expected, event)) CloseHandle(event);
  return true;
}

void RequestStop(int signalNumber) {
  int none = 0;
  if (signalNumber != 0) g_signalNumber.compare_exchange_strong(none, signalNumber);
  HANDLE event = g_event.load();
  if (event != nullptr) SetEvent(event);
}

int StopSignalNumber() { return g_signalNumber.load(); }

bool WaitForStopRequest(long long milliseconds) {
  HANDLE event = g_event.load();
  const DWORD timeout = milliseconds <= 0 ? 0 : static_cast<DWORD>(milliseconds);
  if (event == nullptr) {
    if (timeout > 0) Sleep(timeout);
    return false;
  }
  return WaitForSingleObject(event, timeout) == WAIT_OBJECT_0;
}

void ClearStopRequest() {
  HANDLE event = g_event.load();
  if (event != nullptr) ResetEvent(event);
}

int StopRequestDescriptor() { return -1; }

void* StopRequestEvent() { return g_event.load(); }
