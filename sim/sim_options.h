// What a simulated SourceMeter 2400 is set up with: the device on its
// terminals, its line speed, the faults tests ask for, and where its command
// log goes. The interpreter and the pty server both read it.
#pragma once

#include <cstddef>
#include <string>

// The parity of the instrument's RS-232 characters.
enum class SimParity { None, Even, Odd };

struct SimOptions {
  // Device under test.
  double ohms = 1e6;   // resistor (default 1 MOhm)
  bool diode = false;  // a diode instead of the resistor
  double noise = 0.0;  // standard deviation of Gaussian noise on the current, amperes
  unsigned seed = 1;   // seed of the noise on the current and of the line noise

  int baud = 9600;  // the instrument's RS-232 speed (one of kBaudRates, serial/line_settings.h)
  // The instrument's character form: 8N1 (its factory setting), 8E1, 8O1,
  // 7E1 or 7O1; no parity only with 8 data bits.
  SimParity parity = SimParity::None;
  int dataBits = 8;
  // Probability that the cable flips a bit of a reply, 0 (off) to 0.5; the
  // flips come from `seed`. Commands are not disturbed.
  double lineNoise = 0.0;

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
