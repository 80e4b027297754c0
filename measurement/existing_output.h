// An output file that already holds data: how many lines, and the question
// that asks before a run replaces them.
#pragma once

#include <string>

// The lines in `path` when it is a regular file with something in it (a last
// line without its line end counts); 0 when it is missing, empty or no
// regular file (a device), which a run may take without asking.
long long ExistingLineCount(const std::string& path);

// "<path> already holds N lines. Replace it?"
std::string ReplaceQuestion(const std::string& path, long long lines);

// "<path> already holds N lines" (or "1 line").
std::string HoldsLinesText(const std::string& path, long long lines);
