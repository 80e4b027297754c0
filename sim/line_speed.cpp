#include "sim/line_speed.h"

#include <algorithm>
#include <bitset>
#include <cmath>
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

void LineNoiseCounts::Add(const ReplyNoise& reply) {
  ++replies;
  bits += reply.bits;
  flippedBits += reply.flippedBits;
  if (reply.flippedBits > 0) ++disturbedReplies;
  if (reply.marked) ++markedReplies;
  if (reply.wrongUnmarked && !reply.marked) ++undetectedReplies;
}

std::string ReceivedCharacter(unsigned char sent, unsigned flips, SimParity parity, int dataBits) {
  const unsigned dataMask = (1u << dataBits) - 1;
  const auto received = static_cast<char>((sent ^ flips) & dataMask);
  if (parity == SimParity::None) return std::string(1, received);
  const unsigned characterMask = (1u << (dataBits + 1)) - 1;
  if (std::bitset<9>(flips & characterMask).count() % 2 == 1) return std::string("\xFF\x00", 2) + received;
  return std::string(1, received);
}

NoisyLine::NoisyLine(double rate, unsigned seed, SimParity parity, int dataBits)
    : threshold_(static_cast<std::uint64_t>(std::ldexp(rate, 64))), parity_(parity), dataBits_(dataBits) {
  // A stream of its own, apart from the current's Gaussian noise on the same seed.
  std::seed_seq sequence{seed, 0x6C696E65u};
  random_.seed(sequence);
}

std::string NoisyLine::Transmit(const std::string& sent, ReplyNoise& reply) {
  const int characterBits = dataBits_ + (parity_ == SimParity::None ? 0 : 1);
  reply.bits += sent.size() * static_cast<std::uint64_t>(characterBits);
  if (threshold_ == 0 && dataBits_ == 8) return sent;
  const unsigned dataMask = (1u << dataBits_) - 1;
  std::string received;
  received.reserve(sent.size());
  for (const char c : sent) {
    const auto byte = static_cast<unsigned char>(c);
    unsigned flips = 0;
    if (threshold_ > 0) {
      for (int bit = 0; bit < characterBits; ++bit) {
        if (random_() < threshold_) flips |= 1u << bit;
      }
    }
    const std::string arrived = ReceivedCharacter(byte, flips, parity_, dataBits_);
    reply.flippedBits += std::bitset<9>(flips).count();
    // With parity on, a client takes any 0xFF as a line error: the
    // instrument's text never holds one.
    if (arrived.size() > 1 || (parity_ != SimParity::None && arrived.back() == '\xFF')) {
      reply.marked = true;
    } else if (static_cast<unsigned char>(arrived.back()) != (byte & dataMask)) {
      reply.wrongUnmarked = true;
    }
    received += arrived;
  }
  return received;
}
