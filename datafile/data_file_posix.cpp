#include "datafile/data_file.h"

#include <cerrno>
#include <cstddef>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// O_NONBLOCK: a FIFO without a reader fails instead of hanging the run.
constexpr int kOpenFlags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// False only when another run holds the lock. A file system without locks
// must not stop a measurement: it runs unguarded there.
bool LockOrShare(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK; }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

bool DataFile::Create(const std::string& path, FileCreateError* error) {
  Release();
  auto fail = [&](FileCreateProblem problem, int systemError) {
    if (error != nullptr) *error = FileCreateError{problem, systemError};
    return false;
  };
  // No O_TRUNC: the file is emptied only once the lock says no other run writes it.
  const int fd = open(path.c_str(), kOpenFlags, 0666);
  if (fd < 0) {
    const int openError = errno;
    return fail(ClassifyFileCreateError(path, openError), openError);
  }
  struct stat info {};
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (!LockOrShare(fd)) {
    close(fd);
    return fail(FileCreateProblem::InUse, 0);
  }
  if (regular && ftruncate(fd, 0) != 0) {
    const int truncateError = errno;
    close(fd);
    return fail(ClassifyFileCreateError(path, truncateError), truncateError);
  }
  lockFd_ = fd;
  path_ = path;
  return true;
}

bool DataFile::Append(const std::string& line) {
  const int fd = open(path_.c_str(), kOpenFlags | O_APPEND, 0666);
  if (fd < 0) return false;
  struct stat info {};
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);

  // A file removed during the run and made anew here is locked too, unless
  // another run has taken the path meanwhile: then the line is not ours to add.
  struct stat locked {};
  if (regular && !(lockFd_ >= 0 && fstat(lockFd_, &locked) == 0 && SameFile(info, locked))) {
    if (!LockOrShare(fd)) {
      close(fd);
      return false;
    }
    const int keep = dup(fd);  // the lock belongs to the open file, which the duplicate keeps
    if (keep >= 0) {
      Release();
      lockFd_ = keep;
    }
  }

  const off_t before = regular ? info.st_size : 0;
  bool written = true;
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = write(fd, line.data() + done, line.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (!(n < 0 && errno == EINTR)) {
      written = false;
      break;
    }
  }
  if (!written && regular && ftruncate(fd, before) != 0) {
    // Nothing more to try: the lost count tells the user.
  }
  if (close(fd) != 0 && written) {
    // A network file system may report the failed write only here.
    written = false;
    if (regular && truncate(path_.c_str(), before) != 0) {
      // As above.
    }
  }
  return written;
}

void DataFile::Release() {
  if (lockFd_ >= 0) close(lockFd_);  // the last descriptor of the open file gives the lock up
  lockFd_ = -1;
}

bool DataFile::Continue(const std::string& path, FileCreateError* error, long long* cutBytes) {
  Release();
  if (cutBytes != nullptr) *cutBytes = 0;
  auto fail = [&](FileCreateProblem problem, int systemError) {
    if (error != nullptr) *error = FileCreateError{problem, systemError};
    return false;
  };
  // Read too: the end of the file tells whether its last line was finished.
  const int fd = open(path.c_str(), (kOpenFlags & ~O_WRONLY) | O_RDWR, 0666);
  if (fd < 0) {
    const int openError = errno;
    return fail(ClassifyFileCreateError(path, openError), openError);
  }
  if (!LockOrShare(fd)) {
    close(fd);
    return fail(FileCreateProblem::InUse, 0);
  }
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    // Back from the end to the last line end: what follows it is a line the crash cut short.
    off_t end = info.st_size;
    char block[4096];
    off_t keep = 0;
    bool found = false;
    while (end > 0 && !found) {
      const off_t from = end > static_cast<off_t>(sizeof block) ? end - static_cast<off_t>(sizeof block) : 0;
      const ssize_t n = pread(fd, block, static_cast<std::size_t>(end - from), from);
      if (n <= 0) break;
      for (ssize_t i = n; i > 0; --i) {
        if (block[i - 1] == '\n') {
          keep = from + i;
          found = true;
          break;
        }
      }
      end = from;
    }
    if (keep < info.st_size) {
      if (ftruncate(fd, keep) != 0) {
        const int truncateError = errno;
        close(fd);
        return fail(ClassifyFileCreateError(path, truncateError), truncateError);
      }
      fdatasync(fd);
      if (cutBytes != nullptr) *cutBytes = static_cast<long long>(info.st_size - keep);
    }
  }
  lockFd_ = fd;
  path_ = path;
  return true;
}

// The appends went through descriptors of their own, but to the same file:
// its data reach the disk through the one the lock holds.
bool DataFile::Sync() { return lockFd_ >= 0 && fdatasync(lockFd_) == 0; }

bool DataFileLocked(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);  // lets a lock taken here go at once
  return held;
}
