// Text from outside the program (a path, a device name) made safe to show: a
// control character in it must not start a line of its own in a message.
#pragma once

#include <string>

// Control characters (below 0x20, and 0x7f) become "\n", "\r", "\t", "\\" or
// "\xNN", and the C1 controls of UTF-8 (U+0080..U+009F) "\u00NN"; a backslash
// becomes "\\"; everything else, UTF-8 included, stays.
std::string PrintableText(const std::string& text);
