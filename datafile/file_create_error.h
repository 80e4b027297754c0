// Why an output file could not be created, as the system told it.
#pragma once

#include <string>

enum class FileCreateProblem {
  None,
  EmptyName,           // no path was given
  IsDirectory,         // the path names a folder
  NoSuchFolder,        // a folder on the way does not exist
  PermissionDenied,    // no right to write there
  ReadOnlyFileSystem,  // the drive is mounted read-only
  InUse,               // a running measurement holds the file's lock
  Other,
};

struct FileCreateError {
  FileCreateProblem problem = FileCreateProblem::None;
  int systemError = 0;  // errno, when the system gave one
};

// The problem behind a failed open of `path` with errno `systemError`.
FileCreateProblem ClassifyFileCreateError(const std::string& path, int systemError);
