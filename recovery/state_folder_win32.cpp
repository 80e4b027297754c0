#include <cstdlib>
#include <string>

#include "recovery/unfinished_runs.h"

std::string RunStateFolder() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local != nullptr && local[0] != '\0') return std::string(local) + "\\Ivra\\runs";
  const char* profile = std::getenv("USERPROFILE");
  return std::string(profile != nullptr ? profile : ".") + "\\AppData\\Local\\Ivra\\runs";
}
