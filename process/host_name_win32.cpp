#include <windows.h>

#include "process/host_name.h"

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size) || size == 0) return "bench";
  return std::string(name, size);
}

// Windows gives no boot id: a record's process id is then checked by its lock alone.
std::string BootId() { return {}; }

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }
