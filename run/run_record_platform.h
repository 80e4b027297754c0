// What the run record needs of the platform: the local time with its zone
// offset, a file's data on the disk, and a file moved over another for good. One implementation per platform:
// run_record_posix.cpp, run_record_win32.cpp.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

// `seconds` as local time; `offsetSeconds` is the zone's offset from UTC then.
std::tm LocalTimeWithOffset(std::time_t seconds, long& offsetSeconds);

// Sends what has been written (and flushed) to `file` through to the disk.
bool SyncFileToDisk(std::FILE* file);

// Renames `from` over `to` so that the new name survives a power cut: the
// folder is synced before and after the rename (MOVEFILE_WRITE_THROUGH on
// Windows). On failure returns false with the reason in `error`.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string& error);
