// The device on the simulated SourceMeter's terminals: a resistor or a diode.
#pragma once

#include "sim/simulated_instrument.h"

class DeviceUnderTest {
 public:
  explicit DeviceUnderTest(const SimOptions& options) : diode_(options.diode), ohms_(options.ohms) {}

  // The current the device draws at `volts`: may be infinite far forward.
  double Current(double volts) const;
  // The voltage across the device when `amps` are forced through it: infinite
  // when it cannot carry that current (a diode in reverse beyond its leakage).
  double Voltage(double amps) const;

 private:
  bool diode_;
  double ohms_;
};
