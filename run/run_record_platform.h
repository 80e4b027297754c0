// What the run record needs of the platform: the local time with its zone
// offset, and a file's data on the disk. One implementation per platform:
// run_record_posix.cpp, run_record_win32.cpp.
#pragma once

#include <cstdio>
#include <ctime>

// `seconds` as local time; `offsetSeconds` is the zone's offset from UTC then.
std::tm LocalTimeWithOffset(std::time_t seconds, long& offsetSeconds);

// Sends what has been written (and flushed) to `file` through to the disk.
bool SyncFileToDisk(std::FILE* file);
