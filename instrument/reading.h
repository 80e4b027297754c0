// One reading as the instrument reported it, stamped with the run's time.
#pragma once

struct LatestReading {
  double time = 0.0;          // seconds since the start of the measurement
  double current = 0.0;       // amperes, as the instrument reports it
  double voltage = 0.0;       // volts, as the instrument measures it
  double aux3 = 0.0;          // always 0.0
  double aux4 = 0.0;          // always 0.0
  bool inCompliance = false;  // the instrument held the current at its limit (status bit 3)
};
