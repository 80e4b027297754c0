// The serial link on the Windows communications interface. The driver applies
// the time-outs itself (COMMTIMEOUTS), so Read and Write are single calls.
#include "serial/serial_link.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "serial/process_clock.h"

namespace {

// The one port handle; INVALID_HANDLE_VALUE when no port is open.
HANDLE g_handle = INVALID_HANDLE_VALUE;

}  // namespace

bool SerialLink::Open(int portNumber) {
  if (g_handle != INVALID_HANDLE_VALUE) Close();
  const std::string name = PortDevicePath(portNumber);
  if (name.empty()) return false;

  // Share mode 0: exclusive use; a port held by another program fails here,
  // before any configuration.
  g_handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_handle == INVALID_HANDLE_VALUE) return false;

  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  COMMTIMEOUTS timeouts;
  GetCommTimeouts(g_handle, &timeouts);
  dcb.DCBlength = sizeof(DCB);
  GetCommState(g_handle, &dcb);

  timeouts.ReadIntervalTimeout = kReadIntervalTimeoutMs;
  timeouts.ReadTotalTimeoutMultiplier = kReadTotalMultiplierMs;
  timeouts.ReadTotalTimeoutConstant = kReadTotalConstantMs;
  timeouts.WriteTotalTimeoutMultiplier = kWriteTotalMultiplierMs;
  timeouts.WriteTotalTimeoutConstant = kWriteTotalConstantMs;

  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fParity = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.EvtChar = 0;

  SetCommState(g_handle, &dcb);
  SetCommTimeouts(g_handle, &timeouts);
  SetupComm(g_handle, 8192, 1024);

  DelayMs(kSettleTimeMs);

  DWORD errors = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  ClearCommError(g_handle, &errors, &status);
  if (status.cbInQue > 0) {
    char drain[kDrainBufferSize];
    const DWORD want = std::min<DWORD>(status.cbInQue, static_cast<DWORD>(kDrainBufferSize));
    Read(drain, static_cast<int>(want));
  }
  return true;
}

bool SerialLink::Write(const void* bytes, int count) {
  if (g_handle == INVALID_HANDLE_VALUE || count < 0) return false;
  DWORD written = 0;
  return WriteFile(g_handle, bytes, static_cast<DWORD>(count), &written, nullptr) != FALSE;
}

int SerialLink::Read(void* buffer, int count) {
  if (g_handle == INVALID_HANDLE_VALUE || count <= 0) return 0;
  DWORD got = 0;
  ReadFile(g_handle, buffer, static_cast<DWORD>(count), &got, nullptr);
  return static_cast<int>(got);
}

void SerialLink::Close() {
  if (g_handle == INVALID_HANDLE_VALUE) return;
  // Queued output (":OUTP OFF\r") must leave the port before it is released.
  FlushFileBuffers(g_handle);
  CloseHandle(g_handle);
  g_handle = INVALID_HANDLE_VALUE;
}

bool SerialLink::IsOpen() { return g_handle != INVALID_HANDLE_VALUE; }

void SerialLink::SetReadAbortDescriptor(int) {}
