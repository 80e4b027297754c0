#include "sim/device_under_test.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kDiodeSaturationA = 1e-12;
constexpr double kDiodeIdeality = 1.5;
constexpr double kThermalVolts = 0.025852;  // kT/q at 300 K

}  // namespace

double DeviceUnderTest::Current(double volts) const {
  if (diode_) return kDiodeSaturationA * std::expm1(volts / (kDiodeIdeality * kThermalVolts));
  return volts / ohms_;
}

double DeviceUnderTest::Voltage(double amps) const {
  if (!diode_) return amps * ohms_;
  if (amps <= -kDiodeSaturationA) return -std::numeric_limits<double>::infinity();
  return kDiodeIdeality * kThermalVolts * std::log1p(amps / kDiodeSaturationA);
}
