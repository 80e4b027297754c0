// Reading SCPI program messages the way the SourceMeter's parser does: one
// line holds program message units separated by ";", a header without a
// leading ":" continues in the subsystem of the unit before it, mnemonics are
// taken in their short or long form in any case, and some carry a numeric
// suffix.
#pragma once

#include <string>
#include <vector>

// One command or query of a program message.
struct ScpiUnit {
  bool common = false;             // "*IDN?", "*RST": not part of the header tree
  std::string commonName;          // upper case, without the "*"
  std::vector<std::string> nodes;  // the full header path as typed, path rule applied
  bool query = false;
  std::vector<std::string> params;  // trimmed; string data keeps its quotes
  int error = 0;                    // a command error (-1xx) found while reading the unit
};

// Splits a line (its terminator removed) into units. Reading stops after the
// first unit with a command error: the parser has lost its place in the line.
// Empty units, as from a ";" at the end of the line, are left out.
std::vector<ScpiUnit> ReadProgramMessage(const std::string& line);

enum class HeaderMatch { kNo, kYes, kBadSuffix };

// A command header of the instrument, such as
//   "[:SENSe#]:CURRent[:DC]:PROTection[:LEVel]"
// Upper-case letters of a mnemonic are its short form, the whole word its long
// form; "[...]" marks an optional node; "#" allows the numeric suffix 1.
class HeaderPattern {
 public:
  explicit HeaderPattern(const std::string& pattern);
  // kBadSuffix: it would match but for a numeric suffix the node cannot take.
  HeaderMatch Match(const std::vector<std::string>& typed) const;

 private:
  friend bool IsMnemonic(const std::string& text, const std::string& pattern);
  struct Node {
    std::string longForm;  // upper case
    std::size_t shortLength = 0;
    bool optional = false;
    bool suffix = false;
  };
  static bool NodeMatches(const std::string& typed, const Node& node, bool anySuffix);
  bool Matches(const std::vector<std::string>& typed, std::size_t i, std::size_t j, bool anySuffix) const;
  std::vector<Node> nodes_;
};

// Whether a parameter is `pattern` ("ON", "MAXimum", "VOLTage") in its short or
// long form, in any case.
bool IsMnemonic(const std::string& text, const std::string& pattern);

// A decimal numeric parameter: "1", "-0.5", "+2.5E-3", ".5". No "nan", "inf",
// hexadecimal or unit suffixes.
bool ParseDecimal(const std::string& text, double& value);

// Strips the quotes of string data ('..' or ".."); false when it is not one.
bool Unquote(const std::string& text, std::string& contents);
