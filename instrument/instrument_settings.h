// The instrument settings a bench may change beyond the output voltage: the
// current limit (compliance), the current range, the integration time (NPLC),
// auto-zero, and the serial line's baud rate and character format.
//
// Each has the value the SourceMeter 2400 takes after *RST as its default. A
// value left at its default sends nothing, so a run at defaults sends the same
// bytes as a run before these settings existed. The baud rate and the format
// change only the line settings, never a command.
#pragma once

#include "serial/line_settings.h"

enum class AutoZero { On, Once, Off };  // On after *RST

struct InstrumentSettings {
  double currentLimit = 105e-6;  // amperes; the 2400's compliance after *RST
  double currentRange = 0.0;     // amperes; 0 means Auto (the default)
  double nplc = 1.0;             // power-line cycles per conversion
  AutoZero autoZero = AutoZero::On;
  int baud = 9600;        // the instrument's RS-232 setting must match
  LineFormat lineFormat;  // 8 bits, no parity; parity makes the line check every byte

  bool operator==(const InstrumentSettings& other) const {
    return currentLimit == other.currentLimit && currentRange == other.currentRange && nplc == other.nplc &&
           autoZero == other.autoZero && baud == other.baud && lineFormat == other.lineFormat;
  }
  bool operator!=(const InstrumentSettings& other) const { return !(*this == other); }
};

// The allowed values, as the checks and the dialog offer them.
constexpr double kMaxCurrentLimit = 1.05;  // amperes
constexpr double kMinNplc = 0.01;
constexpr double kMaxNplc = 10.0;
// The 2400's fixed current ranges, smallest first.
constexpr double kCurrentRanges[] = {1e-6, 10e-6, 100e-6, 1e-3, 10e-3, 100e-3, 1.0};
