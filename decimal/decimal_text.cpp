#include "decimal/decimal_text.h"

#include <cctype>
#include <charconv>
#include <system_error>

namespace {

std::string ToChars(double value, std::chars_format format, int precision) {
  char text[400];  // enough for any double in fixed form with a few decimals
  const auto result = std::to_chars(text, text + sizeof text, value, format, precision);
  if (result.ec != std::errc()) return {};
  return std::string(text, result.ptr);
}

}  // namespace

std::string FormatFixed(double value, int decimals) { return ToChars(value, std::chars_format::fixed, decimals); }

std::string FormatGeneral(double value) { return ToChars(value, std::chars_format::general, 6); }

bool ParseDecimal(const std::string& text, std::size_t& pos, double& value) {
  std::size_t at = pos;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  // from_chars takes a "-" of its own but no "+"; one sign only, as scanf.
  // A number starts with a digit or "." (from_chars would also take a second
  // "-", "inf" and "nan", which scanf over such text never sees).
  if (at >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.')) {
    return false;
  }
  double parsed = 0.0;
  const char* first = text.data() + at;
  const char* last = text.data() + text.size();
  const auto result = std::from_chars(first, last, parsed, std::chars_format::general);
  if (result.ec != std::errc()) return false;
  value = negative ? -parsed : parsed;
  pos = static_cast<std::size_t>(result.ptr - text.data());
  return true;
}
