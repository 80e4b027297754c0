// The serial link on the Windows communications interface. The driver applies
// the time-outs itself (COMMTIMEOUTS). The port is opened for overlapped I/O
// only so that a read can also wait on the stop event: every Read and Write is
// still one platform call that the caller waits for.
#include "serial/serial_link.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "process/clock.h"
#include "process/stop_request.h"
#include "serial/line_settings.h"
#include "serial/port_holder.h"

struct SerialLink::Port {
  // INVALID_HANDLE_VALUE when no port is open.
  HANDLE handle = INVALID_HANDLE_VALUE;
  // Held while the port is open: not every Windows layer enforces the driver's
  // exclusive open (Wine lets a second CreateFile on a COM port succeed), so
  // Ivra programs also agree through a named mutex per port.
  HANDLE claim = nullptr;
  // Completion event of the current overlapped operation.
  HANDLE ioDone = nullptr;
  // The open port was found gone (see SerialLink::Lost).
  bool lost = false;

  ~Port() {
    if (ioDone != nullptr) CloseHandle(ioDone);
  }
};

namespace {

using Port = SerialLink::Port;

// What a removed USB adapter or a closed port answers with.
bool IsLossError(DWORD error) {
  return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED || error == ERROR_ACCESS_DENIED ||
         error == ERROR_GEN_FAILURE || error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE ||
         error == ERROR_DEVICE_NOT_CONNECTED;
}

// How long Close waits for queued output to leave the port at most.
constexpr ULONGLONG kCloseDrainLimitMs = 2000;

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
    case ERROR_PATH_NOT_FOUND: error->problem = PortOpenProblem::NoSuchDevice; break;
    case ERROR_ACCESS_DENIED:  // what Windows says for a COM port another program holds
    case ERROR_SHARING_VIOLATION:
      error->problem = PortOpenProblem::Busy;
      error->holder = FindPortHolder(path);
      break;
    default: error->problem = PortOpenProblem::Other; break;
  }
  return false;
}

// Claims the port for this process; false when another Ivra program has it.
bool ClaimPort(Port& port, const std::string& name) {
  std::string claimName = "Local\\Ivra.SerialPort.";
  for (char c : name) claimName += (c == '\\') ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  HANDLE claim = CreateMutexA(nullptr, FALSE, claimName.c_str());
  if (claim == nullptr) return true;  // no claim possible: the driver alone decides
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(claim);
    return false;
  }
  port.claim = claim;
  return true;
}

void ReleaseClaim(Port& port) {
  if (port.claim != nullptr) CloseHandle(port.claim);
  port.claim = nullptr;
}

// Waits for the overlapped operation to end and returns the bytes moved. A
// read (`abortable`) also ends when the abort event is signalled: it is then
// cancelled, keeping whatever had arrived.
DWORD Finish(Port& port, OVERLAPPED& op, bool completed, bool abortable) {
  if (!completed) {
    if (GetLastError() != ERROR_IO_PENDING) return 0;  // the port is gone
    HANDLE stop = static_cast<HANDLE>(StopRequestEvent());
    if (abortable && stop != nullptr) {
      HANDLE waits[2] = {op.hEvent, stop};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) CancelIoEx(port.handle, &op);
    }
  }
  DWORD done = 0;
  GetOverlappedResult(port.handle, &op, &done, TRUE);
  return done;
}

OVERLAPPED FreshOperation(Port& port) {
  OVERLAPPED op;
  ZeroMemory(&op, sizeof op);
  op.hEvent = port.ioDone;
  ResetEvent(port.ioDone);
  return op;
}

DWORD BaudRateFor(int baud) {
  for (const int rate : kBaudRates) {
    if (rate == baud) return static_cast<DWORD>(baud);
  }
  return CBR_9600;
}

void ConfigureLine(HANDLE port, int baud, const LineFormat& format) {
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  COMMTIMEOUTS timeouts;
  ZeroMemory(&timeouts, sizeof timeouts);
  GetCommTimeouts(port, &timeouts);
  dcb.DCBlength = sizeof(DCB);
  GetCommState(port, &dcb);

  timeouts.ReadIntervalTimeout = SerialLink::kReadIntervalTimeoutMs;
  timeouts.ReadTotalTimeoutMultiplier = SerialLink::kReadTotalMultiplierMs;
  timeouts.ReadTotalTimeoutConstant = SerialLink::kReadTotalConstantMs;
  timeouts.WriteTotalTimeoutMultiplier = SerialLink::kWriteTotalMultiplierMs;
  timeouts.WriteTotalTimeoutConstant = SerialLink::kWriteTotalConstantMs;

  dcb.BaudRate = BaudRateFor(baud);
  dcb.ByteSize = format.dataBits == 7 ? 7 : 8;
  dcb.Parity = format.parity == Parity::Even ? EVENPARITY : format.parity == Parity::Odd ? ODDPARITY : NOPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fParity = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.EvtChar = 0;
  // Raw bytes both ways, whatever a previous program left on the port: binary
  // mode (Windows knows no other), no XON/XOFF, no NUL stripping, and no
  // abort-on-error, which would fail every later read and
  // write after one framing error until the error is cleared.
  dcb.fBinary = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  // With parity, a byte received with a parity error becomes 0xFF, a byte
  // the instrument never sends: the reader counts it as a line error.
  dcb.fErrorChar = format.parity != Parity::None ? TRUE : FALSE;
  dcb.ErrorChar = static_cast<char>(0xFF);
  dcb.fAbortOnError = FALSE;

  SetCommState(port, &dcb);
  SetCommTimeouts(port, &timeouts);
  SetupComm(port, 8192, 1024);
}

}  // namespace

SerialLink::SerialLink() : port_(std::make_unique<Port>()) {}

SerialLink::~SerialLink() { Close(); }

bool SerialLink::Open(const std::string& name, PortOpenError* error, int baud, const LineFormat& format) {
  if (port_->handle != INVALID_HANDLE_VALUE) Close();
  port_->lost = false;
  if (error != nullptr) *error = PortOpenError{};
  if (name.empty()) return Fail(error, name, ERROR_FILE_NOT_FOUND);
  if (!ClaimPort(*port_, name)) return Fail(error, name, ERROR_ACCESS_DENIED);

  // Share mode 0: exclusive use; a port held by another program fails here,
  // before any configuration.
  port_->handle = CreateFileA(DeviceNamespacePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (port_->handle == INVALID_HANDLE_VALUE) {
    const DWORD lastError = GetLastError();
    ReleaseClaim(*port_);
    return Fail(error, name, lastError);
  }
  if (GetFileType(port_->handle) != FILE_TYPE_CHAR) {
    CloseHandle(port_->handle);
    port_->handle = INVALID_HANDLE_VALUE;
    ReleaseClaim(*port_);
    if (error != nullptr) {
      error->problem = PortOpenProblem::NotATerminal;
      error->path = name;
    }
    return false;
  }
  if (port_->ioDone == nullptr) port_->ioDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);

  ConfigureLine(port_->handle, baud, format);
  ProcessClock().DelayMs(kSettleTimeMs);

  DWORD errors = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  ClearCommError(port_->handle, &errors, &status);
  if (status.cbInQue > 0) {
    char drain[kDrainBufferSize];
    const DWORD want = std::min<DWORD>(status.cbInQue, static_cast<DWORD>(kDrainBufferSize));
    Read(drain, static_cast<int>(want));
  }
  // More than the drain buffer held: the rest goes too.
  PurgeComm(port_->handle, PURGE_RXCLEAR);
  return true;
}

bool SerialLink::Write(const void* bytes, int count) {
  if (port_->handle == INVALID_HANDLE_VALUE || count < 0 || (count > 0 && bytes == nullptr)) return false;
  OVERLAPPED op = FreshOperation(*port_);
  DWORD written = 0;
  const bool completed = WriteFile(port_->handle, bytes, static_cast<DWORD>(count), &written, &op) != FALSE;
  // With flow control off, a write that fails or times out means the line is gone.
  if ((!completed && GetLastError() != ERROR_IO_PENDING) ||
      Finish(*port_, op, completed, false) != static_cast<DWORD>(count)) {
    port_->lost = true;
    return false;
  }
  return true;
}

int SerialLink::Read(void* buffer, int count) {
  if (port_->handle == INVALID_HANDLE_VALUE || count <= 0 || buffer == nullptr) return 0;
  OVERLAPPED op = FreshOperation(*port_);
  DWORD got = 0;
  const bool completed = ReadFile(port_->handle, buffer, static_cast<DWORD>(count), &got, &op) != FALSE;
  if (!completed && GetLastError() != ERROR_IO_PENDING && IsLossError(GetLastError())) port_->lost = true;
  return static_cast<int>(Finish(*port_, op, completed, true));
}

// A byte at a time under the port's own time-outs: the driver has no
// read-to-a-character of its own.
int SerialLink::ReadLine(void* buffer, int count, int timeoutMs) {
  auto* p = static_cast<char*>(buffer);
  const ULONGLONG quiet = static_cast<ULONGLONG>(timeoutMs < 1 ? 1 : timeoutMs);
  ULONGLONG deadline = GetTickCount64() + quiet;
  int got = 0;
  while (got < count && GetTickCount64() < deadline) {
    const int n = Read(p + got, 1);
    if (port_->lost) break;
    if (n <= 0) continue;
    got += n;
    if (p[got - 1] == '\r' || p[got - 1] == '\n') break;
    deadline = GetTickCount64() + quiet;
  }
  return got;
}

int SerialLink::DiscardInput() {
  if (port_->handle == INVALID_HANDLE_VALUE) return 0;
  DWORD errors = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  if (!ClearCommError(port_->handle, &errors, &status)) {
    if (IsLossError(GetLastError())) port_->lost = true;
    return 0;
  }
  if (status.cbInQue == 0) return 0;
  const int waiting = static_cast<int>(status.cbInQue);
  PurgeComm(port_->handle, PURGE_RXCLEAR);
  return waiting;
}

void SerialLink::Close() {
  if (port_->handle == INVALID_HANDLE_VALUE) return;
  // Queued output (":OUTP OFF\r") must leave the port before it is released.
  // FlushFileBuffers alone is not enough everywhere: Wine's returns at once on
  // a pseudo-terminal, and closing then can drop bytes the far side has not yet
  // read. So wait (bounded) until the driver's output queue is empty too.
  FlushFileBuffers(port_->handle);
  const ULONGLONG deadline = GetTickCount64() + kCloseDrainLimitMs;
  for (;;) {
    DWORD errors = 0;
    COMSTAT status;
    ZeroMemory(&status, sizeof status);
    if (!ClearCommError(port_->handle, &errors, &status) || status.cbOutQue == 0) break;
    if (GetTickCount64() >= deadline) {
      port_->lost = true;  // output that cannot leave: the line is gone
      break;
    }
    Sleep(2);
  }
  CloseHandle(port_->handle);
  port_->handle = INVALID_HANDLE_VALUE;
  ReleaseClaim(*port_);
}

bool SerialLink::IsOpen() const { return port_->handle != INVALID_HANDLE_VALUE; }

bool SerialLink::Lost() const { return port_->lost; }
