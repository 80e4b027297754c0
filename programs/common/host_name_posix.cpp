#include <unistd.h>

#include "programs/common/host_name.h"

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "bench";
  return name;
}
