// Conversions from doubles and wide integers to 32-bit device coordinates.
// A plain cast is undefined for NaN and for values outside the int range; the
// instrument's "no value" (9.91E+37) and empty or infinite ranges produce such
// values, so every conversion of the plot goes through these.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Truncates toward zero, saturating at the int range; NaN gives 0.
inline int ToDeviceCoordinate(double value) {
  constexpr int kLowest = std::numeric_limits<int>::min();
  constexpr int kHighest = std::numeric_limits<int>::max();
  if (std::isnan(value)) return 0;
  // Both limits are exact doubles; any double inside them truncates into range.
  if (value <= static_cast<double>(kLowest)) return kLowest;
  if (value >= static_cast<double>(kHighest)) return kHighest;
  return static_cast<int>(value);
}

// Clamps a wide integer to the int range.
inline int SaturateToInt(std::int64_t value) {
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

// a + b and a - b on device coordinates, saturating instead of overflowing.
inline int AddCoordinates(int a, std::int64_t b) { return SaturateToInt(static_cast<std::int64_t>(a) + b); }
inline int SubtractCoordinates(int a, std::int64_t b) { return SaturateToInt(static_cast<std::int64_t>(a) - b); }
