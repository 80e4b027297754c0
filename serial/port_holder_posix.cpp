#include "serial/port_holder.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

// Whether process `pid` has an open descriptor on the character device `rdev`.
bool ProcessHoldsDevice(const std::string& pid, dev_t rdev) {
  const std::string fdDir = "/proc/" + pid + "/fd";
  DIR* dir = opendir(fdDir.c_str());
  if (dir == nullptr) return false;  // gone, or not ours to look at
  bool holds = false;
  while (dirent* entry = readdir(dir)) {
    if (!AllDigits(entry->d_name)) continue;
    struct stat st {};
    // stat follows the descriptor's link to the object it has open.
    if (stat((fdDir + "/" + entry->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev) {
      holds = true;
      break;
    }
  }
  closedir(dir);
  return holds;
}

std::string ProcessName(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "a program" : name;
}

// The process with a flock on the device node, from /proc/locks, whose lines
// read "1: FLOCK  ADVISORY  WRITE 4711 00:05:123 0 EOF". Another serial program
// that locks the port is named even where a third process keeps it open too.
std::string FlockHolderPid(const struct stat& device, const std::string& self) {
  std::ifstream locks("/proc/locks");
  std::string line;
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(device.st_dev), minor(device.st_dev),
                static_cast<unsigned long long>(device.st_ino));
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, id;
    if (!(fields >> number >> kind)) continue;
    if (kind == "->") fields >> kind;  // a waiter's line
    if (kind != "FLOCK" || !(fields >> mode >> access >> pid >> id)) continue;
    if (id == wanted && pid != self && AllDigits(pid.c_str())) return pid;
  }
  return std::string();
}

}  // namespace

std::string FindPortHolder(const std::string& devicePath) {
  struct stat device {};
  if (stat(devicePath.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return std::string();
  const std::string self = std::to_string(getpid());
  const std::string locker = FlockHolderPid(device, self);
  if (!locker.empty()) return ProcessName(locker) + " (pid " + locker + ")";
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return std::string();
  std::string holder;
  while (dirent* entry = readdir(proc)) {
    if (!AllDigits(entry->d_name) || self == entry->d_name) continue;
    if (ProcessHoldsDevice(entry->d_name, device.st_rdev)) {
      holder = ProcessName(entry->d_name) + " (pid " + entry->d_name + ")";
      break;
    }
  }
  closedir(proc);
  return holder;
}

std::string DeviceGroupName(const std::string& devicePath) {
  struct stat st {};
  if (stat(devicePath.c_str(), &st) != 0) return std::string();
  group entry{};
  group* found = nullptr;
  char buffer[4096];
  if (getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr) {
    return std::to_string(st.st_gid);
  }
  return found->gr_name;
}
