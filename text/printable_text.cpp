#include "text/printable_text.h"

#include <cstdio>

std::string PrintableText(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    // U+0080..U+009F in UTF-8: CSI (U+009B) and its kin steer many terminals.
    if (byte == 0xc2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(text[++i]));
      shown += escaped;
      continue;
    }
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
