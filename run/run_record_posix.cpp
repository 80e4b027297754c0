#include "run/run_record_platform.h"

#include <unistd.h>

std::tm LocalTimeWithOffset(std::time_t seconds, long& offsetSeconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  offsetSeconds = local.tm_gmtoff;
  return local;
}

bool SyncFileToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }
