#include <cstdlib>
#include <string>

#include "recovery/unfinished_runs.h"

std::string RunStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  // An XDG path must be absolute; a relative one is to be ignored.
  if (state != nullptr && state[0] == '/') return std::string(state) + "/ivra/runs";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/.local/state/ivra/runs";
}
