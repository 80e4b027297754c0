// Second readings of the texts the fuzz targets feed to the project's parsers,
// written from what the parsers' headers promise rather than from their code,
// so that the two can be compared on any input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits at any of `separators`; n separators give n + 1 parts.
std::vector<std::string_view> Split(std::string_view text, std::string_view separators);

// Exactly one decimal number: an optional sign ("+" only when `plusAllowed`),
// digits with an optional "." (at least one digit in all), an optional
// exponent "E"/"e" with an optional sign and at least one digit.
bool IsDecimalNumber(std::string_view text, bool plusAllowed);

// The value strtod gives a text that IsDecimalNumber accepts. `underflow`
// tells whether a number with a non-zero digit came out as zero.
double DecimalValue(std::string_view text, bool* underflow = nullptr);

// A data line (without "\n", with or without a "\r"): four tab-separated
// fields, a number, "s", a number, "uA", the numbers without "+" and finite.
struct DataLineContent {
  bool isData = false;
  double seconds = 0.0;
  double microamperes = 0.0;
};
DataLineContent RereadDataLine(std::string_view line);

// Whether the typed header nodes name the command `pattern` (the simulator's
// header notation: "[...]" optional node, upper case the short form, "#" the
// numeric suffix 1), tried on every choice of the optional nodes. With
// `anySuffix`, any numeric suffix is taken.
bool HeaderNamesCommand(const std::string& pattern, const std::vector<std::string>& typed, bool anySuffix);
