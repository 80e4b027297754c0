#include "datafile/file_create_error.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

FileCreateProblem ClassifyFileCreateError(const std::string& path, int systemError) {
  if (path.empty()) return FileCreateProblem::EmptyName;
  std::error_code ignored;
  // Windows says "permission denied" for a folder too: ask the file system.
  if (systemError == EISDIR || std::filesystem::is_directory(path, ignored)) return FileCreateProblem::IsDirectory;
  switch (systemError) {
    case ENOENT:
    case ENOTDIR: return FileCreateProblem::NoSuchFolder;
    case EACCES:
    case EPERM: return FileCreateProblem::PermissionDenied;
    case EROFS: return FileCreateProblem::ReadOnlyFileSystem;
    default: return FileCreateProblem::Other;
  }
}
