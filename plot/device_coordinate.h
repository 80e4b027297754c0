// Conversions from doubles and wide integers to 32-bit device coordinates.
// A plain cast is undefined for NaN and for values outside the int range; the
// instrument's "no value" (9.91E+37) and empty or infinite ranges produce such
// values, so every conversion of the plot goes through these.
#pragma once

#include <cstdint>

// Truncates toward zero, saturating at the int range; NaN gives 0.
int ToDeviceCoordinate(double value);

// Clamps a wide integer to the int range.
int SaturateToInt(std::int64_t value);

// a + b and a - b on device coordinates, saturating instead of overflowing.
inline int AddCoordinates(int a, std::int64_t b) { return SaturateToInt(static_cast<std::int64_t>(a) + b); }
inline int SubtractCoordinates(int a, std::int64_t b) { return SaturateToInt(static_cast<std::int64_t>(a) - b); }
