#include "sim/command_log.h"

std::string EscapeCommandBytes(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(bytes.size() + 8);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '\r': escaped += "\\r"; break;
      case '\n': escaped += "\\n"; break;
      case '\t': escaped += "\\t"; break;
      case '\\': escaped += "\\\\"; break;
      default:
        if (byte >= 0x20 && byte <= 0x7E) {
          escaped += c;
        } else {
          escaped += "\\x";
          escaped += kHex[byte >> 4];
          escaped += kHex[byte & 0x0F];
        }
    }
  }
  return escaped;
}

CommandLog::~CommandLog() { Close(); }

bool CommandLog::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "w");
  return file_ != nullptr;
}

void CommandLog::Close() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
}

void CommandLog::Write(double seconds, const std::string& bytes) {
  if (file_ == nullptr) return;
  std::fprintf(file_, "%.3f\t%s\n", seconds, EscapeCommandBytes(bytes).c_str());
  std::fflush(file_);
}
