#include "sim/line_speed.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kBitsPerCharacter = 11;  // start, 8 data, 2 stop

// The sender's line level, in ticks of 1/(2 * senderBaud * receiverBaud) s:
// a sender bit lasts 2 * receiverBaud ticks and a receiver bit 2 * senderBaud
// ticks, so that every sampling instant (half bits included) is a whole tick.
class SenderLine {
 public:
  SenderLine(const std::string& sent, int receiverBaud)
      : sent_(sent), bitTicks_(2 * static_cast<std::int64_t>(receiverBaud)) {}

  bool High(std::int64_t tick) const {
    if (tick < 0) return true;
    const std::int64_t bit = tick / bitTicks_;
    const std::int64_t character = bit / kBitsPerCharacter;
    if (character >= static_cast<std::int64_t>(sent_.size())) return true;  // idle after the last stop bit
    const int position = static_cast<int>(bit % kBitsPerCharacter);
    if (position == 0) return false;  // start bit
    if (position > 8) return true;    // stop bits
    const auto byte = static_cast<unsigned char>(sent_[static_cast<std::size_t>(character)]);
    return ((byte >> (position - 1)) & 1) != 0;
  }

  // The first falling edge at or after `tick`, or -1 when the line stays high.
  std::int64_t NextFallingEdge(std::int64_t tick) const {
    const std::int64_t lastBit = static_cast<std::int64_t>(sent_.size()) * kBitsPerCharacter;
    for (std::int64_t bit = std::max<std::int64_t>(0, (tick + bitTicks_ - 1) / bitTicks_); bit < lastBit; ++bit) {
      const std::int64_t edge = bit * bitTicks_;
      if (!High(edge) && High(edge - 1)) return edge;
    }
    return -1;
  }

 private:
  const std::string& sent_;
  std::int64_t bitTicks_;
};

}  // namespace

std::string ReceivedAtWrongSpeed(const std::string& sent, int senderBaud, int receiverBaud) {
  if (senderBaud == receiverBaud || senderBaud <= 0 || receiverBaud <= 0) return sent;
  const SenderLine line(sent, receiverBaud);
  const std::int64_t halfBit = senderBaud;  // half a receiver bit, in ticks
  std::string received;
  for (std::int64_t edge = line.NextFallingEdge(0); edge >= 0;) {
    unsigned byte = 0;
    for (int i = 0; i < 8; ++i) {
      if (line.High(edge + (3 + 2 * i) * halfBit)) byte |= 1u << i;
    }
    received += static_cast<char>(byte);
    // Ready for the next character once the stop bit has been sampled.
    edge = line.NextFallingEdge(edge + 19 * halfBit);
  }
  return received;
}
