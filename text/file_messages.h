// The messages about the output file: why it could not be created ("Can't
// create file : <path>" first, then the reason and what to do about it), and
// the question before a run replaces the lines it already holds.
#pragma once

#include <string>

#include "datafile/file_create_error.h"

// The whole message, the path escaped.
std::string FileCreateFailureMessage(const std::string& path, const FileCreateError& error);

// "<path> already holds N lines. Replace it?"
std::string ReplaceQuestion(const std::string& path, long long lines);

// "<path> already holds N lines" (or "1 line").
std::string HoldsLinesText(const std::string& path, long long lines);
