// The simulator's SCPI reading on any line. Only the last unit can carry an
// error; the units read are well formed; written out again with absolute
// headers they read back the same; and the helpers for parameters and headers
// agree with their plain descriptions.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/oracles.h"
#include "sim/scpi_message.h"

namespace {

constexpr std::size_t kUnitsForHelpers = 8;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}
std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasBlankOutsideQuotes(const std::string& text) {
  char quote = 0;
  for (const char c : text) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (IsBlank(c)) {
      return true;
    }
  }
  return false;
}

bool SameUnit(const ScpiUnit& a, const ScpiUnit& b) {
  return a.common == b.common && a.commonName == b.commonName && a.nodes == b.nodes && a.query == b.query &&
         a.params == b.params && a.error == b.error;
}

void CheckWellFormed(const ScpiUnit& unit) {
  if (unit.common) {
    FUZZ_CHECK(!unit.commonName.empty() && unit.nodes.empty());
    for (const char c : unit.commonName) FUZZ_CHECK(c >= 'A' && c <= 'Z');
  } else {
    FUZZ_CHECK(!unit.nodes.empty() && unit.commonName.empty());
    for (const std::string& node : unit.nodes) {
      std::size_t letters = 0;
      while (letters < node.size() && std::isalpha(static_cast<unsigned char>(node[letters]))) ++letters;
      FUZZ_CHECK(letters >= 1 && letters <= 12);
      for (std::size_t i = letters; i < node.size(); ++i) FUZZ_CHECK(node[i] >= '0' && node[i] <= '9');
    }
  }
  for (const std::string& param : unit.params) {
    FUZZ_CHECK(!param.empty() && !IsBlank(param.front()) && !IsBlank(param.back()));
    FUZZ_CHECK(!HasBlankOutsideQuotes(param));
  }
}

// Absolute headers, so that the path rule has nothing left to do.
std::string WriteUnit(const ScpiUnit& unit) {
  std::string text = unit.common ? "*" + unit.commonName : "";
  for (const std::string& node : unit.nodes) text += ":" + node;
  if (unit.query) text += "?";
  for (std::size_t i = 0; i < unit.params.size(); ++i) text += (i == 0 ? " " : ",") + unit.params[i];
  return text;
}

std::string Quote(const std::string& contents, char quote) {
  std::string text(1, quote);
  for (const char c : contents) {
    text += c;
    if (c == quote) text += c;
  }
  return text + quote;
}

void CheckParameterHelpers(const std::string& text) {
  double value = 0.0;
  bool underflow = false;
  const bool number = IsDecimalNumber(text, true);
  const double expected = number ? DecimalValue(text, &underflow) : 0.0;
  const bool decimal = ParseDecimal(text, value);
  FUZZ_CHECK(decimal == (number && std::isfinite(expected) && !underflow));
  if (decimal) FUZZ_CHECK(value == expected && std::signbit(value) == std::signbit(expected));

  std::string contents;
  if (Unquote(text, contents)) FUZZ_CHECK(text == Quote(contents, text[0]));
  for (const char quote : {'"', '\''}) {
    FUZZ_CHECK(Unquote(Quote(text, quote), contents) && contents == text);
  }

  static const char* const kMnemonics[] = {"ON", "OFF", "MINimum", "MAXimum", "DEFault", "DC", "MANual"};
  for (const std::string pattern : kMnemonics) {
    std::string shortForm;
    for (const char c : pattern) {
      if (c >= 'A' && c <= 'Z') shortForm += c;
    }
    const std::string typed = Upper(text);
    FUZZ_CHECK(IsMnemonic(text, pattern) == (typed == Upper(pattern) || typed == shortForm));
  }
}

void CheckHeaderPatterns(const std::vector<std::string>& nodes) {
  static const std::vector<std::string> kPatterns = {
      ":OUTPut#[:STATe]",
      ":SOURce#:VOLTage[:LEVel][:IMMediate][:AMPLitude]",
      "[:SENSe#]:CURRent[:DC]:PROTection[:LEVel]",
      "[:SENSe#]:FUNCtion[:ON]:ALL",
      ":FORMat:ELEMents[:SENSe#]",
      ":TRIGger[:SEQuence#]:COUNt",
      ":SYSTem:RS232:TERMinator",
      ":SYSTem:ERRor[:NEXT]",
      ":READ",
  };
  static const std::vector<HeaderPattern> kHeaders(kPatterns.begin(), kPatterns.end());
  std::vector<std::string> upper, lower;
  for (const std::string& node : nodes) upper.push_back(Upper(node)), lower.push_back(Lower(node));
  for (std::size_t i = 0; i < kPatterns.size(); ++i) {
    const HeaderMatch match = kHeaders[i].Match(nodes);
    FUZZ_CHECK((match == HeaderMatch::kYes) == HeaderNamesCommand(kPatterns[i], nodes, false));
    FUZZ_CHECK((match != HeaderMatch::kNo) == HeaderNamesCommand(kPatterns[i], nodes, true));
    // Mnemonics are taken in any case.
    FUZZ_CHECK(kHeaders[i].Match(upper) == match && kHeaders[i].Match(lower) == match);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::vector<ScpiUnit> units = ReadProgramMessage(line);

  std::size_t separators = 0;
  for (const char c : line) separators += c == ';' ? 1 : 0;
  FUZZ_CHECK(units.size() <= separators + 1);
  std::vector<ScpiUnit> good;
  std::string written;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const ScpiUnit& unit = units[i];
    // Reading stops at the first unit with an error.
    FUZZ_CHECK(unit.error == 0 || (i + 1 == units.size() && unit.error <= -100 && unit.error >= -199));
    if (unit.error != 0) break;
    CheckWellFormed(unit);
    good.push_back(unit);
    written += (written.empty() ? "" : ";") + WriteUnit(unit);
    // The helpers on the first units only: a long line of short units would be slow to check whole.
    if (i >= kUnitsForHelpers) continue;
    for (const std::string& param : unit.params) CheckParameterHelpers(param);
    if (!unit.common) CheckHeaderPatterns(unit.nodes);
  }
  const std::vector<ScpiUnit> again = ReadProgramMessage(written);
  FUZZ_CHECK(again.size() == good.size());
  for (std::size_t i = 0; i < good.size(); ++i) FUZZ_CHECK(SameUnit(again[i], good[i]));

  CheckParameterHelpers(line);
  return 0;
}
