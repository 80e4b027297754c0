// What a UART makes of bytes sent at another speed than its own: the line
// noise between the simulated SourceMeter and a client whose line runs at
// another of the instrument's speeds (kBaudRates, serial/baud_rates.h).
#pragma once

#include <string>

// The bytes a receiver set to `receiverBaud` takes from `sent`, put on the
// line back to back at `senderBaud` (a start bit, 8 data bits LSB first, no
// parity, 2 stop bits, idle high before and after). The receiver starts a
// character on each falling edge it sees while idle and samples every bit in
// the middle of its own bit time, so a wrong speed gives line noise: other
// bytes, often with the top bit set, and more or fewer of them. A framing
// error still delivers the sampled byte. At equal speeds `sent` comes back as
// it was.
std::string ReceivedAtWrongSpeed(const std::string& sent, int senderBaud, int receiverBaud);
