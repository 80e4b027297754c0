#include "datafile/data_file.h"

#include <cerrno>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

// Windows locks are mandatory: a lock over the data would refuse our own
// appends through other handles. One byte far beyond any data stands for the
// whole file, and every run asks for the same byte.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;

// False only when another run holds the lock.
bool LockOrShare(int fd) {
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return true;
  return GetLastError() != ERROR_LOCK_VIOLATION;
}

int OpenForWriting(const std::string& path, int extraFlags) {
  int fd = -1;
  // Text mode: every "\n" becomes CR LF on disk.
  if (_sopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_TEXT | extraFlags, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
    return -1;
  return fd;
}

}  // namespace

bool DataFile::Create(const std::string& path, FileCreateError* error) {
  Release();
  auto fail = [&](FileCreateProblem problem, int systemError) {
    if (error != nullptr) *error = FileCreateError{problem, systemError};
    return false;
  };
  const int fd = OpenForWriting(path, 0);
  if (fd < 0) {
    const int openError = errno;
    return fail(ClassifyFileCreateError(path, openError), openError);
  }
  if (!LockOrShare(fd)) {
    _close(fd);
    return fail(FileCreateProblem::InUse, 0);
  }
  const int sizeError = _chsize_s(fd, 0);
  if (sizeError != 0) {
    _close(fd);
    return fail(ClassifyFileCreateError(path, sizeError), sizeError);
  }
  lockFd_ = fd;
  path_ = path;
  return true;
}

bool DataFile::Append(const std::string& line) {
  const int fd = OpenForWriting(path_, _O_APPEND);
  if (fd < 0) return false;
  const __int64 before = _filelengthi64(fd);
  bool written = before >= 0 && _write(fd, line.data(), static_cast<unsigned>(line.size())) >= 0;
  if (written && _filelengthi64(fd) < before + static_cast<__int64>(line.size())) written = false;
  if (!written && before >= 0) _chsize_s(fd, before);
  return _close(fd) == 0 && written;
}

void DataFile::Release() {
  if (lockFd_ >= 0) _close(lockFd_);  // closing the handle gives its lock up
  lockFd_ = -1;
}

bool DataFile::Continue(const std::string& path, FileCreateError* error, long long* cutBytes) {
  Release();
  if (cutBytes != nullptr) *cutBytes = 0;
  auto fail = [&](FileCreateProblem problem, int systemError) {
    if (error != nullptr) *error = FileCreateError{problem, systemError};
    return false;
  };
  int fd = -1;
  // Binary: the end is looked at byte by byte; the lines are written in text mode as before.
  if (_sopen_s(&fd, path.c_str(), _O_RDWR | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0) {
    const int openError = errno;
    return fail(ClassifyFileCreateError(path, openError), openError);
  }
  if (!LockOrShare(fd)) {
    _close(fd);
    return fail(FileCreateProblem::InUse, 0);
  }
  const __int64 size = _filelengthi64(fd);
  __int64 keep = 0;
  __int64 end = size;
  char block[4096];
  bool found = false;
  while (end > 0 && !found) {
    const __int64 from = end > static_cast<__int64>(sizeof block) ? end - static_cast<__int64>(sizeof block) : 0;
    if (_lseeki64(fd, from, SEEK_SET) != from) break;
    const int n = _read(fd, block, static_cast<unsigned>(end - from));
    if (n <= 0) break;
    for (int i = n; i > 0; --i) {
      if (block[i - 1] == '\n') {
        keep = from + i;
        found = true;
        break;
      }
    }
    end = from;
  }
  if (size > 0 && keep < size) {
    const int sizeError = _chsize_s(fd, keep);
    if (sizeError != 0) {
      _close(fd);
      return fail(ClassifyFileCreateError(path, sizeError), sizeError);
    }
    _commit(fd);
    if (cutBytes != nullptr) *cutBytes = size - keep;
  }
  lockFd_ = fd;
  path_ = path;
  return true;
}

bool DataFile::Sync() { return lockFd_ >= 0 && _commit(lockFd_) == 0; }

bool DataFileLocked(const std::string& path) {
  int fd = -1;
  if (_sopen_s(&fd, path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYNO, _S_IREAD) != 0) return false;
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  bool held = false;
  if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    UnlockFileEx(handle, 0, 1, 0, &at);
  } else {
    held = GetLastError() == ERROR_LOCK_VIOLATION;
  }
  _close(fd);
  return held;
}
