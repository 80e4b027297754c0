#include <io.h>
#include <windows.h>

#include <system_error>

#include "run/run_record_platform.h"

std::tm LocalTimeWithOffset(std::time_t seconds, long& offsetSeconds) {
  std::tm local{};
  localtime_s(&local, &seconds);
  std::tm copy = local;
  offsetSeconds = static_cast<long>(_mkgmtime(&copy) - seconds);
  return local;
}

bool SyncFileToDisk(std::FILE* file) { return _commit(_fileno(file)) == 0; }

// Write-through: the call returns once the move is on the disk, Windows' way of syncing the folder.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  error = std::system_category().message(static_cast<int>(GetLastError()));
  return false;
}
