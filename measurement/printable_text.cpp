#include "measurement/printable_text.h"

#include <cstdio>

std::string PrintableText(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\n': shown += "\\n"; break;
      case '\r': shown += "\\r"; break;
      case '\t': shown += "\\t"; break;
      case '\\': shown += "\\\\"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          char escaped[5];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
          shown += escaped;
        } else {
          shown += c;
        }
    }
  }
  return shown;
}
