// Drives the Windows serial link on COM1 for scripts/windows-test.sh, which
// runs it under Wine against ivra-sim and checks what it prints:
//   read-times N...   one Read of N bytes each, printing "read N: B bytes in T ms"
//   abort-read MS     a 100-byte Read that a stop event ends after MS ms
//   request-abort MS  the same through RequestReadAbort (the desktop program's
//                     Stop), then after ClearReadAbort a 1-byte Read that waits
//                     its time-out again
//   hold MS           keeps the port open for MS ms ("held" once open)
// Exit status 0, or 1 when COM1 cannot be opened ("cannot open COM1").
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "serial/read_abort.h"
#include "serial/serial_link.h"
#include "serial/serial_link_win32.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool OpenCom1() {
  if (SerialLink::Open(1)) return true;
  std::printf("cannot open COM1\n");
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: serial_link_probe read-times N... | abort-read MS | request-abort MS | hold MS\n");
    return 2;
  }
  const char* mode = argv[1];
  if (std::strcmp(mode, "read-times") == 0) {
    if (!OpenCom1()) return 1;
    for (int i = 2; i < argc; ++i) {
      const int count = std::atoi(argv[i]);
      char buffer[256];
      const Clock::time_point start = Clock::now();
      const int got = SerialLink::Read(buffer, count);
      std::printf("read %d: %d bytes in %lld ms\n", count, got, MsSince(start));
    }
  } else if (std::strcmp(mode, "abort-read") == 0) {
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetSerialReadAbortEvent(stop);
    if (!OpenCom1()) return 1;
    const int after = std::atoi(argv[2]);
    std::thread stopper([stop, after] {
      Sleep(static_cast<DWORD>(after));
      SetEvent(stop);
    });
    char buffer[100];
    const Clock::time_point start = Clock::now();
    const int got = SerialLink::Read(buffer, sizeof buffer);
    std::printf("aborted read: %d bytes in %lld ms\n", got, MsSince(start));
    stopper.join();
  } else if (std::strcmp(mode, "request-abort") == 0) {
    if (!InstallReadAbort() || !OpenCom1()) return 1;
    const int after = std::atoi(argv[2]);
    std::thread stopper([after] {
      Sleep(static_cast<DWORD>(after));
      RequestReadAbort();
    });
    char buffer[100];
    Clock::time_point start = Clock::now();
    int got = SerialLink::Read(buffer, sizeof buffer);
    std::printf("requested abort: %d bytes in %lld ms\n", got, MsSince(start));
    stopper.join();
    ClearReadAbort();
    start = Clock::now();
    got = SerialLink::Read(buffer, 1);
    std::printf("after clear: %d bytes in %lld ms\n", got, MsSince(start));
  } else if (std::strcmp(mode, "hold") == 0) {
    if (!OpenCom1()) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  }
  std::fflush(stdout);
  SerialLink::Close();
  return 0;
}
