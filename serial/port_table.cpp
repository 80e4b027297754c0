#include "serial/port_table.h"

#include <array>
#include <cstring>
#include <mutex>

namespace {

constexpr int kPortCount = kLastPortNumber - kFirstPortNumber + 1;

std::string DefaultDevicePath(int portNumber) {
#ifdef _WIN32
  return "COM" + std::to_string(portNumber);
#else
  return "/dev/ttyS" + std::to_string(portNumber - 1);
#endif
}

struct PortTable {
  std::mutex mutex;
  std::array<std::string, kPortCount> paths;
  PortTable() { Reset(); }
  void Reset() {
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) paths[n - kFirstPortNumber] = DefaultDevicePath(n);
  }
};

PortTable& Table() {
  static PortTable table;
  return table;
}

bool IsValidPortNumber(int portNumber) {
  return portNumber >= kFirstPortNumber && portNumber <= kLastPortNumber;
}

}  // namespace

std::string PortDevicePath(int portNumber) {
  if (!IsValidPortNumber(portNumber)) return std::string();
  PortTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  return table.paths[portNumber - kFirstPortNumber];
}

bool SetPortDevicePath(int portNumber, const std::string& path) {
  if (!IsValidPortNumber(portNumber)) return false;
  PortTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.paths[portNumber - kFirstPortNumber] = path;
  return true;
}

void ResetPortTable() {
  PortTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.Reset();
}

bool ApplyPortOption(const char* arg) {
  static const char kPrefix[] = "--com";
  constexpr std::size_t kPrefixLength = sizeof(kPrefix) - 1;
  if (arg == nullptr || std::strncmp(arg, kPrefix, kPrefixLength) != 0) return false;
  const char* digit = arg + kPrefixLength;
  // Exactly one digit, then "=", then a non-empty path: "--com12=x" and
  // "--com1=" are not port options.
  if (*digit < '0' || *digit > '9' || digit[1] != '=') return false;
  const int portNumber = *digit - '0';
  const char* path = digit + 2;
  if (*path == '\0') return false;
  return SetPortDevicePath(portNumber, path);
}

int ConsumePortOptions(int& argc, char** argv) {
  if (argv == nullptr || argc <= 0) return 0;
  int applied = 0;
  int kept = 1;  // argv[0] is the program name
  for (int i = 1; i < argc; ++i) {
    if (ApplyPortOption(argv[i])) {
      ++applied;
    } else {
      argv[kept++] = argv[i];
    }
  }
  for (int i = kept; i < argc; ++i) argv[i] = nullptr;
  argc = kept;
  return applied;
}
