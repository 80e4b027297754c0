// Drives the Windows serial link on COM1 for scripts/windows-test.sh, which
// runs it under Wine against ivra-sim and checks what it prints:
//   read-times N...   one Read of N bytes each, printing "read N: B bytes in T ms"
//   request-abort MS  a 100-byte Read that a stop request (Ctrl+C, the desktop
//                     program's Stop) ends after MS ms, then after
//                     ClearStopRequest a 1-byte Read that waits its time-out again
//   hold MS           keeps the port open for MS ms ("held" once open)
// Exit status 0, or 1 when COM1 cannot be opened ("cannot open COM1").
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "process/stop_request.h"
#include "serial/serial_link.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool OpenCom1(SerialLink& link) {
  if (link.Open("COM1")) return true;
  std::printf("cannot open COM1\n");
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: serial_link_probe read-times N... | request-abort MS | hold MS\n");
    return 2;
  }
  const char* mode = argv[1];
  SerialLink link;
  if (std::strcmp(mode, "read-times") == 0) {
    if (!OpenCom1(link)) return 1;
    for (int i = 2; i < argc; ++i) {
      const int count = std::atoi(argv[i]);
      char buffer[256];
      const Clock::time_point start = Clock::now();
      const int got = link.Read(buffer, count);
      std::printf("read %d: %d bytes in %lld ms\n", count, got, MsSince(start));
    }
  } else if (std::strcmp(mode, "request-abort") == 0) {
    if (!InstallStopRequest() || !OpenCom1(link)) return 1;
    const int after = std::atoi(argv[2]);
    std::thread stopper([after] {
      Sleep(static_cast<DWORD>(after));
      RequestStop();
    });
    char buffer[100];
    Clock::time_point start = Clock::now();
    int got = link.Read(buffer, sizeof buffer);
    std::printf("requested abort: %d bytes in %lld ms\n", got, MsSince(start));
    stopper.join();
    ClearStopRequest();
    start = Clock::now();
    got = link.Read(buffer, 1);
    std::printf("after clear: %d bytes in %lld ms\n", got, MsSince(start));
  } else if (std::strcmp(mode, "hold") == 0) {
    if (!OpenCom1(link)) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  }
  std::fflush(stdout);
  link.Close();
  return 0;
}
