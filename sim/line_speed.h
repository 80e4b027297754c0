// The RS-232 line speed of the simulated SourceMeter, and what a UART makes of
// bytes sent at another speed than its own.
#pragma once

#include <string>

// The baud rates the instrument's RS-232 menu offers.
constexpr int kInstrumentBaudRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
constexpr int kDefaultBaudRate = 9600;

bool IsInstrumentBaudRate(int baud);

// The bytes a receiver set to `receiverBaud` takes from `sent`, put on the
// line back to back at `senderBaud` (a start bit, 8 data bits LSB first, no
// parity, 2 stop bits, idle high before and after). The receiver starts a
// character on each falling edge it sees while idle and samples every bit in
// the middle of its own bit time, so a wrong speed gives line noise: other
// bytes, often with the top bit set, and more or fewer of them. A framing
// error still delivers the sampled byte. At equal speeds `sent` comes back as
// it was.
std::string ReceivedAtWrongSpeed(const std::string& sent, int senderBaud, int receiverBaud);
