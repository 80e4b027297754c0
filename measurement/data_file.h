// The output data file: created empty at Start, one line appended per sample,
// opened and closed for every line so that it is always complete on disk.
#pragma once

#include <string>

// Creates `path` empty (truncating what is there). False when it cannot be
// created or closed.
bool CreateEmptyDataFile(const std::string& path);

// Appends `line` to `path` (creating the file when it has gone). False when
// the line did not reach the file: open, write, flush or close failed.
bool AppendDataLine(const std::string& path, const std::string& line);
