// An output file that already holds data: how many lines it holds.
#pragma once

#include <string>

// The lines in `path` when it is a regular file with something in it (a last
// line without its line end counts); 0 when it is missing, empty or no
// regular file (a device), which a run may take without asking.
long long ExistingLineCount(const std::string& path);
