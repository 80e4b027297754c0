#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "run/run_record_platform.h"

namespace {

// A renamed or new entry is on the disk only once its folder is.
void SyncFolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // a folder that can't be opened can't be synced either: the rename still stands
  fsync(fd);
  close(fd);
}

}  // namespace

std::tm LocalTimeWithOffset(std::time_t seconds, long& offsetSeconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  offsetSeconds = local.tm_gmtoff;
  return local;
}

bool SyncFileToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& error) {
  SyncFolderOf(from);
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  SyncFolderOf(to);
  return true;
}
