#include <unistd.h>

#include <fstream>

#include "process/host_name.h"

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "bench";
  return name;
}

std::string BootId() {
  std::ifstream file("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(file, id);
  return id;
}

int ProcessId() { return static_cast<int>(getpid()); }
