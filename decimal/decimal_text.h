// Decimal numbers as text with a "." decimal point whatever the C locale says.
//
// The desktop toolkit may switch LC_NUMERIC to the user's locale (a decimal
// comma in much of Europe), which would change what printf and sscanf write and
// accept. The instrument and the output file always use ".", so these helpers
// go through std::to_chars / std::from_chars, which never look at the locale.
#pragma once

#include <cstddef>
#include <string>

// Like printf "%.{decimals}f".
std::string FormatFixed(double value, int decimals);

// Like printf "%g" (six significant digits, trailing zeros dropped, exponent
// form below 1e-4 and from 1e6 on, at least two exponent digits).
std::string FormatGeneral(double value);

// Reads one number the way scanf "%lf" does over text without blanks or
// letters other than E/e: an optional sign, digits with an optional ".", an
// optional exponent. On success stores it, advances `pos` past it and returns
// true; otherwise leaves both alone. A value out of the range of double counts
// as no number.
bool ParseDecimal(const std::string& text, std::size_t& pos, double& value);
