#include "measurement/data_file.h"

#include <cstdio>

namespace {

// Text mode: on Windows every "\n" becomes CR LF on disk; POSIX has no text
// mode, and a "t" in the mode is not standard there.
#ifdef _WIN32
constexpr const char* kCreateMode = "wt";
constexpr const char* kAppendMode = "a+t";
#else
constexpr const char* kCreateMode = "w";
constexpr const char* kAppendMode = "a";
#endif

}  // namespace

bool CreateEmptyDataFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), kCreateMode);
  if (file == nullptr) return false;
  return std::fclose(file) == 0;
}

bool AppendDataLine(const std::string& path, const std::string& line) {
  std::FILE* file = std::fopen(path.c_str(), kAppendMode);
  if (file == nullptr) return false;
  // A full disk often shows only when the buffer is flushed, so every step's
  // result counts, the close included.
  bool written = std::fputs(line.c_str(), file) >= 0;
  written = std::fflush(file) == 0 && written;
  written = std::ferror(file) == 0 && written;
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}
