#include "datafile/existing_output.h"

#include <filesystem>
#include <fstream>
#include <system_error>

long long ExistingLineCount(const std::string& path) {
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  long long lines = 0;
  char last = '\n';
  char block[65536];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    const std::streamsize n = in.gcount();
    for (std::streamsize i = 0; i < n; ++i) {
      if (block[i] == '\n') ++lines;
    }
    last = block[n - 1];
  }
  return last == '\n' ? lines : lines + 1;
}
