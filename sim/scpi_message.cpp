#include "sim/scpi_message.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace {

constexpr std::size_t kMaxMnemonicLength = 12;
constexpr int kSyntaxError = -102;
constexpr int kMnemonicTooLong = -112;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Splits on `separator` outside quoted strings. `unbalanced` tells whether the
// text ends inside a string.
std::vector<std::string> SplitOutsideQuotes(const std::string& text, char separator, bool& unbalanced) {
  std::vector<std::string> parts(1);
  char quote = 0;
  for (const char c : text) {
    if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled quote closes and reopens: same text
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == separator) {
      parts.emplace_back();
      continue;
    }
    parts.back() += c;
  }
  unbalanced = quote != 0;
  return parts;
}

bool HasBlankOutsideQuotes(const std::string& text) {
  char quote = 0;
  for (const char c : text) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ' ' || c == '\t') {
      return true;
    }
  }
  return false;
}

int ReadHeader(std::string header, const std::vector<std::string>& path, ScpiUnit& unit) {
  if (header.size() > 1 && header[0] == ':' && header[1] == '*') header.erase(0, 1);
  if (!header.empty() && header.back() == '?') {
    unit.query = true;
    header.pop_back();
  }
  if (!header.empty() && header[0] == '*') {
    unit.common = true;
    unit.commonName = Upper(header.substr(1));
    if (unit.commonName.empty()) return kSyntaxError;
    for (const char c : unit.commonName) {
      if (!IsAlpha(c)) return kSyntaxError;
    }
    return 0;
  }
  const bool absolute = !header.empty() && header[0] == ':';
  if (absolute) header.erase(0, 1);
  if (!absolute) unit.nodes = path;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = header.find(':', start);
    const std::string node = header.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (node.empty() || !IsAlpha(node[0])) return kSyntaxError;
    std::size_t letters = 0;
    while (letters < node.size() && IsAlpha(node[letters])) ++letters;
    for (std::size_t i = letters; i < node.size(); ++i) {
      if (!IsDigit(node[i])) return kSyntaxError;
    }
    if (letters > kMaxMnemonicLength) return kMnemonicTooLong;
    unit.nodes.push_back(node);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return 0;
}

}  // namespace

std::vector<ScpiUnit> ReadProgramMessage(const std::string& line) {
  std::vector<ScpiUnit> units;
  std::vector<std::string> path;  // the subsystem a relative header continues in
  bool unbalanced = false;
  const std::vector<std::string> texts = SplitOutsideQuotes(line, ';', unbalanced);
  for (std::size_t t = 0; t < texts.size(); ++t) {
    const std::string text = Trim(texts[t]);
    if (text.empty()) continue;
    ScpiUnit unit;
    const std::size_t blank = text.find_first_of(" \t");
    unit.error = ReadHeader(text.substr(0, blank), path, unit);
    if (unit.error == 0 && blank != std::string::npos) {
      bool open = false;
      for (const std::string& raw : SplitOutsideQuotes(Trim(text.substr(blank)), ',', open)) {
        const std::string param = Trim(raw);
        if (param.empty() || HasBlankOutsideQuotes(param)) unit.error = kSyntaxError;
        unit.params.push_back(param);
      }
    }
    if (unit.error == 0 && t + 1 == texts.size() && unbalanced) unit.error = kSyntaxError;
    if (unit.error == 0 && !unit.common && !unit.nodes.empty()) {
      path.assign(unit.nodes.begin(), unit.nodes.end() - 1);
    }
    units.push_back(std::move(unit));
    if (units.back().error != 0) break;
  }
  return units;
}

HeaderPattern::HeaderPattern(const std::string& pattern) {
  std::size_t i = 0;
  while (i < pattern.size()) {
    Node node;
    if (pattern[i] == '[') {
      node.optional = true;
      ++i;
    }
    if (i < pattern.size() && pattern[i] == ':') ++i;
    // Digits belong to a mnemonic such as RS232; the numeric suffix is "#".
    while (i < pattern.size() && (IsAlpha(pattern[i]) || IsDigit(pattern[i]))) {
      const bool shortForm = std::isupper(static_cast<unsigned char>(pattern[i])) || IsDigit(pattern[i]);
      if (shortForm && node.longForm.size() == node.shortLength) ++node.shortLength;
      node.longForm += static_cast<char>(std::toupper(static_cast<unsigned char>(pattern[i])));
      ++i;
    }
    if (i < pattern.size() && pattern[i] == '#') {
      node.suffix = true;
      ++i;
    }
    if (i < pattern.size() && pattern[i] == ']') ++i;
    if (node.longForm.empty()) break;  // a malformed pattern: no endless loop
    nodes_.push_back(node);
  }
}

bool HeaderPattern::NodeMatches(const std::string& typed, const Node& node, bool anySuffix) {
  const std::string whole = Upper(typed);
  if (whole == node.longForm || whole == node.longForm.substr(0, node.shortLength)) return true;
  std::size_t letters = 0;
  while (letters < typed.size() && IsAlpha(typed[letters])) ++letters;
  const std::string name = Upper(typed.substr(0, letters));
  if (name != node.longForm && name != node.longForm.substr(0, node.shortLength)) return false;
  const std::string suffix = typed.substr(letters);
  return suffix.empty() || anySuffix || (node.suffix && suffix == "1");
}

bool HeaderPattern::Matches(const std::vector<std::string>& typed, std::size_t i, std::size_t j, bool anySuffix) const {
  if (j == nodes_.size()) return i == typed.size();
  if (nodes_[j].optional && Matches(typed, i, j + 1, anySuffix)) return true;
  return i < typed.size() && NodeMatches(typed[i], nodes_[j], anySuffix) && Matches(typed, i + 1, j + 1, anySuffix);
}

HeaderMatch HeaderPattern::Match(const std::vector<std::string>& typed) const {
  if (Matches(typed, 0, 0, false)) return HeaderMatch::kYes;
  if (Matches(typed, 0, 0, true)) return HeaderMatch::kBadSuffix;
  return HeaderMatch::kNo;
}

bool IsMnemonic(const std::string& text, const std::string& pattern) {
  const HeaderPattern::Node node = HeaderPattern(pattern).nodes_.front();
  return !text.empty() && IsAlpha(text[0]) && HeaderPattern::NodeMatches(text, node, false) &&
         Upper(text).find_first_of("0123456789") == std::string::npos;
}

bool ParseDecimal(const std::string& text, double& value) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t mantissa = i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (i != text.size()) return false;
  // from_chars reads the C locale's format whatever the process locale is.
  const auto result = std::from_chars(text.data() + mantissa, text.data() + text.size(), value);
  if (result.ec != std::errc() || !std::isfinite(value)) return false;
  if (text[0] == '-') value = -value;
  return true;
}

bool Unquote(const std::string& text, std::string& contents) {
  if (text.size() < 2 || (text[0] != '"' && text[0] != '\'') || text.back() != text[0]) return false;
  const char quote = text[0];
  contents.clear();
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == quote) {
      if (i + 2 >= text.size() || text[i + 1] != quote) return false;  // a lone quote inside
      ++i;
    }
    contents += text[i];
  }
  return true;
}
