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
// Replies go out in the character form of SimOptions::parity and dataBits
// (7-bit characters with 7 data bits). With SimOptions::lineNoise each bit of
// a reply flips at that rate, and with parity a byte whose parity comes out
// wrong reaches the client marked as a UART marks it (sim/line_speed.h).
// The marks belong on the pty: a served device would send them as bytes,
// since its UART makes its own parity bit (ivra-sim refuses the two together).
//
// With SimOptions::logPath set (ivra-sim --log FILE), every received command
// is written to the file as one line, written and flushed as soon as the
// command's terminator (CR or LF) arrives; it holds the bytes the client sent,
// whatever the line speeds:
//
//   <seconds>TAB<bytes>
//
// <seconds> is the time since Start, printf "%.3f". <bytes> are the exact
// bytes received for the command, terminator included, escaped so that a line
// holds no control character: CR as \r, LF as \n, TAB as \t, backslash as \\,
// every other byte outside 0x20..0x7E as \xNN (two upper-case hex digits).
// Example: a client that sends ":OUTP OFF" and CR gives
//
//   12.345<TAB>:OUTP OFF\r
//
// A CR LF pair is two commands, the second one empty ("\n"). Bytes still
// without a terminator when the simulator stops are written as a last line.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sim/line_speed.h"
#include "sim/sim_options.h"

// The escaped form of `bytes` used in the command log.
std::string EscapeCommandBytes(const std::string& bytes);

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
  // What the noisy line did to the replies sent so far (all zero but the
  // reply and bit counts without SimOptions::lineNoise).
  LineNoiseCounts LineNoise() const;

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
