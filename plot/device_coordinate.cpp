#include "plot/device_coordinate.h"

#include <cmath>
#include <limits>

int ToDeviceCoordinate(double value) {
  constexpr int kLowest = std::numeric_limits<int>::min();
  constexpr int kHighest = std::numeric_limits<int>::max();
  if (std::isnan(value)) return 0;
  // Both limits are exact doubles; any double inside them truncates into range.
  if (value <= static_cast<double>(kLowest)) return kLowest;
  if (value >= static_cast<double>(kHighest)) return kHighest;
  return static_cast<int>(value);
}

int SaturateToInt(std::int64_t value) {
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}
