// The RS-232 line speeds the SourceMeter 2400 offers, slowest first: the one
// list that the program's checks, its dialogs and the simulator all read.
#pragma once

#include <algorithm>
#include <iterator>

inline constexpr int kBaudRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};

inline bool IsInstrumentBaudRate(int baud) {
  return std::find(std::begin(kBaudRates), std::end(kBaudRates), baud) != std::end(kBaudRates);
}
