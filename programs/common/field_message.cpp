#include "programs/common/field_message.h"

#include <cctype>

std::string FieldMessage(const char* option, std::string message) {
  if (!message.empty()) message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
  return std::string(option) + ": " + message;
}
