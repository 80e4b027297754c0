// The RS-232 settings the SourceMeter 2400's menu offers: the one list that
// the program's checks, its dialogs, the serial link and the simulator read.
#pragma once

#include <algorithm>
#include <iterator>

// Line speeds, slowest first.
inline constexpr int kBaudRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};

inline bool IsInstrumentBaudRate(int baud) {
  return std::find(std::begin(kBaudRates), std::end(kBaudRates), baud) != std::end(kBaudRates);
}

// The character format: 8 data bits with no, even or odd parity, or 7 with
// even or odd ("no parity is only valid when using 8 data bits"). The factory
// setting is 8 bits without parity, which detects no bit error at all.
enum class Parity { None, Even, Odd };

struct LineFormat {
  Parity parity = Parity::None;
  int dataBits = 8;

  bool operator==(const LineFormat& other) const { return parity == other.parity && dataBits == other.dataBits; }
  bool operator!=(const LineFormat& other) const { return !(*this == other); }
};

inline bool IsInstrumentLineFormat(const LineFormat& format) {
  return format.dataBits == 8 || (format.dataBits == 7 && format.parity != Parity::None);
}
