// The simulated SourceMeter's numbers: its limits and ranges, and the way it
// writes numbers in its replies. Shared by the interpreter and its command
// table.
#pragma once

#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

namespace instrument {

constexpr double kOverflow = 9.91e37;  // the instrument's "no value" (NAN) and over-range marker
constexpr double kMaxVolts = 210.0;
constexpr double kMaxAmps = 1.05;
constexpr double kMaxDelaySeconds = 999.9999;
constexpr double kMinArmTimerSeconds = 0.001;
constexpr double kMaxArmTimerSeconds = 99999.99;
constexpr int kMaxReadings = 2500;
constexpr double kRangeTop = 1.05;        // a range's settings reach 105 % of its name
constexpr double kRangeFullScale = 1.055;  // its readings reach 105.5 %; beyond that they overflow
constexpr double kVoltRanges[] = {0.2, 2, 20, 200};
constexpr double kAmpRanges[] = {1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1};

// A reading or a numeric setting: "+1.234560E-05".
inline std::string Field(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.6E", value);
  return text;
}

// A range as the instrument names it in a reply: its top, "1.050000E-04" for
// the 100 uA range.
inline std::string RangeField(double range) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6E", range * kRangeTop);
  return text;
}

inline std::string Whole(long value) { return std::to_string(value); }

// The smallest range that holds `value`; the largest when none does.
inline double RangeFor(double value, bool amps) {
  const double* first = amps ? std::begin(kAmpRanges) : std::begin(kVoltRanges);
  const double* last = amps ? std::end(kAmpRanges) : std::end(kVoltRanges);
  for (const double* range = first; range != last; ++range) {
    // The tolerance keeps a range's own top ("1.05e-4", as a driver writes
    // it back) in that range despite rounding.
    if (std::fabs(value) <= *range * kRangeTop * (1 + 1e-9)) return *range;
  }
  return *(last - 1);
}

}  // namespace instrument
