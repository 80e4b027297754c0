// The output data file of a running measurement: created empty at Start under
// an advisory lock that the run holds to its end, and one line appended per
// sample, opened and closed for every line so that it is always complete on
// disk. A line is there whole or not at all.
#pragma once

#include <string>

#include "datafile/file_create_error.h"

class DataFile {
 public:
  DataFile() = default;
  ~DataFile() { Release(); }
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Locks `path` for this run (flock; LockFileEx on Windows) and empties it.
  // False when it cannot be created, or when another measurement holds it:
  // then nothing has been truncated, and `error` (when given) says why.
  // Releases a file held before.
  bool Create(const std::string& path, FileCreateError* error = nullptr);

  // Appends `line` (creating the file anew when it has gone; the new file is
  // locked too). False when the line did not reach the file; the file is then
  // cut back to its length before, so that no fragment is left for the next
  // line to be glued onto.
  bool Append(const std::string& line);

  // Takes the lock of an existing file to append to it again, keeping its
  // lines: the file of an unfinished run. A last line without its line end is
  // cut off; `cutBytes` (when given) says how many bytes went. False, with
  // `error`, as for Create; a file held by a live run stays untouched.
  bool Continue(const std::string& path, FileCreateError* error = nullptr, long long* cutBytes = nullptr);

  // Sends the lines appended so far through to the disk (fdatasync of the
  // locked file; its commit on Windows). False when the system refused.
  bool Sync();

  // Gives the lock up; the file stays.
  void Release();

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int lockFd_ = -1;  // the descriptor that holds the lock (a CRT descriptor on Windows)
};

// Whether a run holds `path`'s lock now: the lock is tried without waiting and
// let go at once. False also when the file is not there.
bool DataFileLocked(const std::string& path);
