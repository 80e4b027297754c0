// The line from the simulated SourceMeter to its client, as the client's UART
// receives it: what a UART makes of bytes sent at another speed than its own
// (a client whose line runs at another of the instrument's speeds, kBaudRates
// in serial/line_settings.h), and the replies' character form (data bits,
// parity) with the bits a long cable or a poor adapter flips.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "sim/sim_options.h"

// The bytes a receiver set to `receiverBaud` takes from `sent`, put on the
// line back to back at `senderBaud` (a start bit, 8 data bits LSB first, no
// parity, 2 stop bits, idle high before and after). The receiver starts a
// character on each falling edge it sees while idle and samples every bit in
// the middle of its own bit time, so a wrong speed gives line noise: other
// bytes, often with the top bit set, and more or fewer of them. A framing
// error still delivers the sampled byte. At equal speeds `sent` comes back as
// it was.
std::string ReceivedAtWrongSpeed(const std::string& sent, int senderBaud, int receiverBaud);

// What the line did to one reply (or to the part of it sent so far).
struct ReplyNoise {
  std::uint64_t bits = 0;         // data and parity bits sent, each of which could flip
  std::uint64_t flippedBits = 0;  // of those, flipped
  bool marked = false;            // the client's line sees an error in at least one byte
  bool wrongUnmarked = false;     // a byte arrives wrong without a mark
};

// The line's totals since the simulator started.
struct LineNoiseCounts {
  std::uint64_t replies = 0;            // replies sent
  std::uint64_t disturbedReplies = 0;   // with at least one flipped bit
  std::uint64_t markedReplies = 0;      // with a byte the client's line marks as an error
  std::uint64_t undetectedReplies = 0;  // wrong, and no mark in them: only their text can tell
  std::uint64_t bits = 0;
  std::uint64_t flippedBits = 0;

  void Add(const ReplyNoise& reply);
};

// The bytes a receiving UART set to `parity` and `dataBits` hands on for one
// character sent as `sent` with some of its bits flipped on the way: bit i of
// `flips` (i < dataBits) flips data bit i, bit `dataBits` flips the parity bit.
// Only the low `dataBits` bits of `sent` go out. A character whose parity
// comes out wrong (an odd number of flips) is marked as termios PARMRK marks
// a parity error: 0xFF 0x00 and the byte as received. An even number of flips
// passes the parity check and arrives wrong, unmarked. Without parity every
// character arrives as it is received.
std::string ReceivedCharacter(unsigned char sent, unsigned flips, SimParity parity, int dataBits);

class NoisyLine {
 public:
  // `rate` is the probability that a bit flips (0 to 0.5); the flips are the
  // same for the same seed.
  NoisyLine(double rate, unsigned seed, SimParity parity, int dataBits);

  // What the client receives for `sent`, character by character; adds to
  // `reply` what the line did. At rate 0 with 8 data bits `sent` comes back
  // as it is.
  std::string Transmit(const std::string& sent, ReplyNoise& reply);

 private:
  std::uint64_t threshold_;  // a flip when a draw falls below it: rate * 2^64
  std::mt19937_64 random_;
  SimParity parity_;
  int dataBits_;
};
