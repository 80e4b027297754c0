// A simulated Keithley SourceMeter 2400 on a pseudo-terminal.
//
// Serves the instrument's RS-232 command set on the slave side of a pty (or on
// a given device path) from a thread of its own, so that the program and the
// tests can run a real serial exchange with nothing attached. The executable
// ivra-sim runs one of these until it is killed.
//
// Commands end with CR (LF is accepted too); answers end with CR and go out at
// the line rate.
//
// The line runs at SimOptions::baud. On its own pseudo-terminal the simulator
// sees the speed its client set (the terminal's termios speed) and judges each
// crossing of the line as a UART would: a command that arrives while the
// speeds differ is line noise to the instrument, so it queues -113 (undefined
// header) and does nothing; a reply that leaves while they differ reaches the
// client as the bytes a UART at the client's speed makes of it (see
// sim/line_speed.h). A client at the wrong speed thus gets no answer, and one
// that changes its speed while a reply is due gets line noise. A served
// device (SimOptions::devicePath) is set to SimOptions::baud, and its own
// line does the rest.
//
// With SimOptions::logPath set, every received command is written to the file
// as one line, flushed at once (see sim/command_log.h); it holds the bytes the
// client sent, whatever the line speeds:
//
//   <seconds since Start, "%.3f">TAB<exact bytes, terminator included>
//
// where CR is shown as \r, LF as \n, TAB as \t, backslash as \\ and any other
// byte outside 0x20..0x7E as \xNN, e.g. "12.345<TAB>:OUTP OFF\r".
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct SimOptions {
  // Device under test.
  double ohms = 1e6;        // resistor (default 1 MOhm)
  bool diode = false;       // a diode instead of the resistor
  double noise = 0.0;       // standard deviation of Gaussian noise on the current, amperes
  unsigned seed = 1;        // noise seed

  int baud = 9600;          // the instrument's RS-232 speed (one of kInstrumentBaudRates)

  // Fault modes, for tests.
  bool silent = false;          // never answer :READ?
  bool garbage = false;         // answer :READ? with text that holds no number
  bool oneNumber = false;       // answer :READ? with the voltage only
  bool longReply = false;       // answer :READ? with more than 100 bytes
  int slowReplyMs = 0;          // extra delay before every :READ? answer
  int splitReplyAfter = -1;     // pause kSplitPauseMs after this many bytes of every :READ? answer,
                                // -1 never: the reader's interval time-out cuts the reply in two
  int hangUpAfterReads = -1;    // hang up (close the terminal) after this many :READ?, -1 never:
                                // the next :READ? gets half a reply, then the line drops

  // How many of the latest received commands stay in memory for
  // ReceivedCommands(); older ones are dropped, so a run of days stays small.
  // The --log file keeps them all.
  std::size_t keptCommands = 4096;

  std::string logPath;     // when set, every received command with a time stamp, one per line
                           // (format in sim/command_log.h: "<s.mmm>\t<escaped bytes>\n")
  std::string devicePath;  // serve this device instead of a new pseudo-terminal
};

class SimulatedInstrument {
 public:
  explicit SimulatedInstrument(SimOptions options = {});
  ~SimulatedInstrument();
  SimulatedInstrument(const SimulatedInstrument&) = delete;
  SimulatedInstrument& operator=(const SimulatedInstrument&) = delete;

  // Opens the terminal and starts serving. Returns false (with a reason in
  // Error()) when the terminal cannot be opened.
  bool Start();
  // Stops serving and closes the terminal.
  void Stop();

  // The device path clients open (the pty slave), valid after Start.
  const std::string& DevicePath() const;
  const std::string& Error() const;

  // Whether the simulated output is on (for tests and the demo).
  bool OutputOn() const;

  // The programmed source voltage and current compliance.
  double SourceVolts() const;
  double ComplianceA() const;
  // Number of :READ? requests received (answered or not).
  int ReadRequests() const;
  // The latest commands received (at most SimOptions::keptCommands): their
  // exact bytes, terminator (CR or LF) included, in arrival order.
  std::vector<std::string> ReceivedCommands() const;
  // Number of commands received since Start, kept or not.
  std::size_t ReceivedCount() const;
  // Waits until at least `count` commands have arrived; false on time-out.
  bool WaitForCommands(std::size_t count, int timeoutMs) const;
  // True while the server thread serves the line (false after a hang-up).
  bool Serving() const;
  // True once the simulated line has been dropped (hang-up fault).
  bool HungUp() const;

  // Time one byte takes on the line at 9600 baud with 8 data and 2 stop bits.
  static constexpr double kByteTimeMs = 11.0 / 9.6;
  // The same at `baud`.
  static constexpr double ByteTimeMs(int baud) { return 11000.0 / baud; }
  // The bytes a PC's UART gathers before it hands them on (a 16550's receive
  // trigger level); fewer once the line goes quiet.
  static constexpr std::size_t kFifoTriggerBytes = 14;
  // The pause inside a split reply: longer than the link's 200 ms interval time-out.
  static constexpr int kSplitPauseMs = 250;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
