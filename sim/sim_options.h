// What a simulated SourceMeter 2400 is set up with: the device on its
// terminals, its line speed, the faults tests ask for, and where its command
// log goes. The interpreter and the pty server both read it.
#pragma once

#include <cstddef>
#include <string>

struct SimOptions {
  // Device under test.
  double ohms = 1e6;   // resistor (default 1 MOhm)
  bool diode = false;  // a diode instead of the resistor
  double noise = 0.0;  // standard deviation of Gaussian noise on the current, amperes
  unsigned seed = 1;   // noise seed

  int baud = 9600;  // the instrument's RS-232 speed (one of kBaudRates, serial/baud_rates.h)

  // Fault modes, for tests.
  bool silent = false;        // never answer :READ?
  bool garbage = false;       // answer :READ? with text that holds no number
  bool oneNumber = false;     // answer :READ? with the voltage only
  bool longReply = false;     // answer :READ? with more than 100 bytes
  int slowReplyMs = 0;        // extra delay before every :READ? answer
  int splitReplyAfter = -1;   // pause kSplitPauseMs after this many bytes of every :READ? answer,
                              // -1 never: the reader's interval time-out cuts the reply in two
  int hangUpAfterReads = -1;  // hang up (close the terminal) after this many :READ?, -1 never:
                              // the next :READ? gets half a reply, then the line drops

  // How many of the latest received commands stay in memory for
  // ReceivedCommands(); older ones are dropped, so a run of days stays small.
  // The --log file keeps them all.
  std::size_t keptCommands = 4096;

  std::string logPath;     // when set, every received command with a time stamp, one per line
                           // (format in sim/simulated_instrument.h: "<s.mmm>\t<escaped bytes>\n")
  std::string devicePath;  // serve this device instead of a new pseudo-terminal
};
