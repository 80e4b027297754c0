#include "fuzz/oracles.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::vector<std::string_view> Split(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find_first_of(separators, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

bool IsDecimalNumber(std::string_view text, bool plusAllowed) {
  std::size_t i = 0;
  const auto digitsFrom = [&](std::size_t& at) {
    const std::size_t first = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at - first;
  };
  if (i < text.size() && (text[i] == '-' || (plusAllowed && text[i] == '+'))) ++i;
  std::size_t digits = digitsFrom(i);
  if (i < text.size() && text[i] == '.') digits += digitsFrom(++i);
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digitsFrom(i) == 0) return false;
  }
  return i == text.size();
}

double DecimalValue(std::string_view text, bool* underflow) {
  const std::string copy(text);
  const double value = std::strtod(copy.c_str(), nullptr);
  if (underflow != nullptr) {
    const std::string_view mantissa = text.substr(0, text.find_first_of("Ee"));
    *underflow = value == 0.0 && mantissa.find_first_of("123456789") != std::string_view::npos;
  }
  return value;
}

DataLineContent RereadDataLine(std::string_view line) {
  DataLineContent content;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::vector<std::string_view> fields = Split(line, "\t");
  if (fields.size() != 4 || fields[1] != "s" || fields[3] != "uA") return content;
  double values[2] = {0.0, 0.0};
  for (int i = 0; i < 2; ++i) {
    const std::string_view number = fields[2 * i];
    bool underflow = false;
    if (!IsDecimalNumber(number, false)) return content;
    values[i] = DecimalValue(number, &underflow);
    if (underflow || !std::isfinite(values[i])) return content;
  }
  content.isData = true;
  content.seconds = values[0];
  content.microamperes = values[1];
  return content;
}

bool HeaderNamesCommand(const std::string& pattern, const std::vector<std::string>& typed, bool anySuffix) {
  struct Node {
    std::string longForm, shortForm;
    bool optional = false, suffix = false;
  };
  std::vector<Node> nodes;
  bool inBrackets = false;
  for (const char c : pattern) {
    if (c == '[') {
      inBrackets = true;
      nodes.emplace_back();
      nodes.back().optional = true;
    } else if (c == ']') {
      inBrackets = false;
    } else if (c == ':') {
      if (!inBrackets || !nodes.back().longForm.empty()) nodes.emplace_back();
      nodes.back().optional = inBrackets;
    } else if (c == '#') {
      nodes.back().suffix = true;
    } else {
      if (nodes.empty()) nodes.emplace_back();
      if (std::isupper(static_cast<unsigned char>(c)) || IsDigit(c)) nodes.back().shortForm += c;
      nodes.back().longForm += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  const auto nodeMatches = [&](const std::string& text, const Node& node) {
    const std::string whole = Upper(text);
    if (whole == node.longForm || whole == node.shortForm) return true;
    std::size_t letters = 0;
    while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters]))) ++letters;
    const std::string name = whole.substr(0, letters);
    const std::string suffix = whole.substr(letters);
    if (name != node.longForm && name != node.shortForm) return false;
    return suffix.empty() || anySuffix || (node.suffix && suffix == "1");
  };
  std::size_t optionalCount = 0;
  for (const Node& node : nodes) optionalCount += node.optional ? 1 : 0;
  // Every choice of the optional nodes, each a plain list to compare node by node.
  for (unsigned long choice = 0; choice < (1ul << optionalCount); ++choice) {
    std::vector<const Node*> chosen;
    std::size_t optionalIndex = 0;
    for (const Node& node : nodes) {
      if (!node.optional || ((choice >> optionalIndex++) & 1) != 0) chosen.push_back(&node);
    }
    if (chosen.size() != typed.size()) continue;
    bool all = true;
    for (std::size_t i = 0; i < typed.size() && all; ++i) all = nodeMatches(typed[i], *chosen[i]);
    if (all) return true;
  }
  return false;
}
