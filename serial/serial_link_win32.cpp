// The serial link on the Windows communications interface. The driver applies
// the time-outs itself (COMMTIMEOUTS), so Read and Write are single calls.
#include "serial/serial_link.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "serial/port_holder.h"
#include "serial/process_clock.h"

namespace {

// The one port handle; INVALID_HANDLE_VALUE when no port is open.
HANDLE g_handle = INVALID_HANDLE_VALUE;

// "COM10" and above open only through the device namespace; the prefix does no
// harm to COM1..COM9 either, but names given in full are left as they are.
std::string DeviceNamespacePath(const std::string& name) {
  if (name.size() > 3 && _strnicmp(name.c_str(), "COM", 3) == 0) return "\\\\.\\" + name;
  return name;
}

bool Fail(PortOpenError* error, const std::string& path, DWORD lastError) {
  if (error == nullptr) return false;
  error->path = path;
  error->systemError = static_cast<int>(lastError);
  switch (lastError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      error->problem = PortOpenProblem::NoSuchDevice;
      break;
    case ERROR_ACCESS_DENIED:  // what Windows says for a COM port another program holds
    case ERROR_SHARING_VIOLATION:
      error->problem = PortOpenProblem::Busy;
      error->holder = FindPortHolder(path);
      break;
    default:
      error->problem = PortOpenProblem::Other;
      break;
  }
  return false;
}

}  // namespace

bool SerialLink::Open(int portNumber, PortOpenError* error) {
  return Open(PortDevicePath(portNumber), error);
}

bool SerialLink::Open(const std::string& name, PortOpenError* error) {
  if (g_handle != INVALID_HANDLE_VALUE) Close();
  if (error != nullptr) *error = PortOpenError{};
  if (name.empty()) return Fail(error, name, ERROR_FILE_NOT_FOUND);

  // Share mode 0: exclusive use; a port held by another program fails here,
  // before any configuration.
  g_handle = CreateFileA(DeviceNamespacePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_handle == INVALID_HANDLE_VALUE) return Fail(error, name, GetLastError());
  if (GetFileType(g_handle) != FILE_TYPE_CHAR) {
    CloseHandle(g_handle);
    g_handle = INVALID_HANDLE_VALUE;
    if (error != nullptr) {
      error->problem = PortOpenProblem::NotATerminal;
      error->path = name;
    }
    return false;
  }

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
