#include <windows.h>

#include "programs/common/host_name.h"

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size) || size == 0) return "bench";
  return std::string(name, size);
}
