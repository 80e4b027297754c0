#include "serial/read_abort.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "serial/serial_link.h"

namespace {
int g_pipe[2] = {-1, -1};
}  // namespace

bool InstallReadAbort() {
  if (g_pipe[0] >= 0) return true;
  int fds[2];
  if (pipe(fds) != 0) return false;
  for (int fd : fds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  g_pipe[1] = fds[1];
  g_pipe[0] = fds[0];
  SerialLink::SetReadAbortDescriptor(g_pipe[0]);
  return true;
}

void RequestReadAbort() {
  if (g_pipe[1] < 0) return;
  const int savedErrno = errno;
  const char byte = 1;
  // Non-blocking: a full pipe is readable already.
  [[maybe_unused]] const ssize_t ignored = write(g_pipe[1], &byte, 1);
  errno = savedErrno;
}

void ClearReadAbort() {
  if (g_pipe[0] < 0) return;
  char drained[64];
  while (read(g_pipe[0], drained, sizeof drained) > 0) {
  }
}

#else
#include <windows.h>

#include "serial/serial_link_win32.h"

namespace {
HANDLE g_event = nullptr;  // manual reset: stays signalled until cleared
}  // namespace

bool InstallReadAbort() {
  if (g_event != nullptr) return true;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return false;
  g_event = event;
  SetSerialReadAbortEvent(g_event);
  return true;
}

void RequestReadAbort() {
  if (g_event != nullptr) SetEvent(g_event);
}

void ClearReadAbort() {
  if (g_event != nullptr) ResetEvent(g_event);
}

#endif
