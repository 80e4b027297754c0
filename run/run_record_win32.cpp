#include "run/run_record_platform.h"

#include <io.h>

std::tm LocalTimeWithOffset(std::time_t seconds, long& offsetSeconds) {
  std::tm local{};
  localtime_s(&local, &seconds);
  std::tm copy = local;
  offsetSeconds = static_cast<long>(_mkgmtime(&copy) - seconds);
  return local;
}

bool SyncFileToDisk(std::FILE* file) { return _commit(_fileno(file)) == 0; }
