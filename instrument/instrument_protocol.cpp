#include "instrument/instrument_protocol.h"

#include <cmath>
#include <cstring>

#include "decimal/decimal_text.h"
#include "instrument/instrument_link.h"
#include "process/clock.h"

bool SendByte(InstrumentLink& link, unsigned char byte) { return link.Write(&byte, 1); }

bool SendCommand(InstrumentLink& link, const char* command) {
  const std::size_t length = std::strlen(command);
  bool all = true;
  for (std::size_t i = 0; i < length; ++i) {
    // A failed byte does not stop the rest.
    all = SendByte(link, static_cast<unsigned char>(command[i])) && all;
  }
  return all;
}

int ReadResponse(InstrumentLink& link, Clock& clock, char* buffer) {
  clock.DelayMs(kReplyWaitMs);
  int received = link.Read(buffer, kMaxReplyBytes);
  // The zero byte goes right after what arrived; never outside the 101 bytes.
  if (received < 0) received = 0;
  if (received > kMaxReplyBytes) received = kMaxReplyBytes;
  buffer[received] = '\0';
  return received;
}

std::string FormatSetVoltageCommand(double volts) {
  return ":SOUR:VOLT " + FormatFixed(volts, 5) + "\r";
}

namespace {

bool IsNumberByte(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'E' || c == 'e';
}
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
// What may stand before a reply and after its line end.
bool IsPadding(char c) { return c == ' ' || c == '\t' || c == '\0' || IsLineEnd(c); }
bool IsSeparator(char c) { return c == ',' || c == ';'; }
// Text of the instrument's own alphabet: a byte outside it can only be damage.
bool IsPrintable(char c) { return c > ' ' && c < 0x7f; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum class NumberKind { Number, NotANumber, TooLarge };

// Reads `text` as exactly one number: an optional sign, digits with an
// optional "." (at least one digit), an optional exponent with its digits.
NumberKind ReadNumber(const std::string& text, double& value) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return NumberKind::NotANumber;
  bool negativeExponent = false;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    std::size_t exponentDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return NumberKind::NotANumber;
  }
  if (i != text.size()) return NumberKind::NotANumber;
  std::size_t pos = 0;
  if (ParseDecimal(text, pos, value)) return NumberKind::Number;
  // Well-formed but beyond a double: far too large, or so small that it is zero.
  if (negativeExponent) {
    value = text[0] == '-' ? -0.0 : 0.0;
    return NumberKind::Number;
  }
  return NumberKind::TooLarge;
}

// One comma-separated element of a reply: its number bytes and what follows them.
struct Element {
  std::string text;
  bool dataEnded = false;  // the received bytes ended right after `text`
  char follower = '\0';    // the byte after `text` unless the data ended
};

class ReplyReader {
 public:
  ReplyReader(const char* bytes, int size) : bytes_(bytes), size_(size) {}

  void SkipPadding() {
    while (pos_ < size_ && IsPadding(bytes_[pos_])) ++pos_;
  }
  bool AtEnd() const { return pos_ >= size_; }

  // Reads the number bytes from here; stops on the byte after them, unread.
  Element Next() {
    Element element;
    while (pos_ < size_ && IsNumberByte(bytes_[pos_])) element.text.push_back(bytes_[pos_++]);
    element.dataEnded = pos_ >= size_;
    if (!element.dataEnded) element.follower = bytes_[pos_];
    return element;
  }
  void Step() { ++pos_; }

  // The bytes after the line end that are more than padding.
  int StaleAfterLineEnd() {
    ++pos_;  // the line end
    SkipPadding();
    return size_ - pos_;
  }

 private:
  const char* bytes_;
  int size_;
  int pos_ = 0;
};

bool IsOverflow(double value) { return !std::isfinite(value) || std::fabs(value) >= kOverflowMark; }

// The instrument's status word, when its element is a whole number that fits.
bool StatusWord(const std::string& text, long long& word) {
  double value = 0.0;
  if (ReadNumber(text, value) != NumberKind::Number || value < 0 || value > 1e15) return false;
  word = static_cast<long long>(value);
  return static_cast<double>(word) == value;
}

constexpr int kStatusElement = 5;  // voltage, current, resistance, time stamp, status
constexpr long long kComplianceBit = 8;

}  // namespace

ReplyVerdict JudgeReply(const char* reply, int received, LatestReading& reading, int* staleBytes) {
  if (staleBytes != nullptr) *staleBytes = 0;
  if (received <= 0) return ReplyVerdict::NoReply;
  // A reply broken off where more could follow: cut short by a pause, unless the read was full.
  const ReplyVerdict cut = received >= kMaxReplyBytes ? ReplyVerdict::NoReading : ReplyVerdict::Incomplete;
  ReplyReader reader(reply, received);
  reader.SkipPadding();
  if (reader.AtEnd()) {
    bool lineEnd = false;
    for (int i = 0; i < received; ++i) lineEnd = lineEnd || IsLineEnd(reply[i]);
    return lineEnd ? ReplyVerdict::NoReading : cut;
  }

  double values[2] = {0.0, 0.0};
  bool tooLarge = false;
  Element element;
  for (int i = 0; i < 2; ++i) {
    element = reader.Next();
    if (element.text.empty()) {
      if (element.dataEnded) return cut;
      // Text where a number belongs is no reading; a byte the instrument never sends is damage.
      return IsPrintable(element.follower) ? ReplyVerdict::NoReading : ReplyVerdict::Garbled;
    }
    // The current may also be cut inside its exponent; the voltage has its comma to come.
    if (element.dataEnded) return i == 1 ? ReplyVerdict::Incomplete : cut;
    const bool endsElement = element.follower == ',' || (i == 1 && (element.follower == ';' || IsLineEnd(element.follower)));
    if (!endsElement && !IsSeparator(element.follower) && !IsLineEnd(element.follower)) return ReplyVerdict::Garbled;
    const NumberKind kind = ReadNumber(element.text, values[i]);
    if (kind == NumberKind::NotANumber || !endsElement) return ReplyVerdict::NoReading;
    tooLarge = tooLarge || kind == NumberKind::TooLarge;
    if (i == 0) reader.Step();
  }

  // The further elements: bytes of the alphabet up to the line end, the status among them.
  bool inCompliance = false;
  for (int index = 3; IsSeparator(element.follower); ++index) {
    reader.Step();
    element = reader.Next();
    if (element.dataEnded) break;
    if (!IsSeparator(element.follower) && !IsLineEnd(element.follower)) return ReplyVerdict::Garbled;
    long long word = 0;
    if (index == kStatusElement && StatusWord(element.text, word)) inCompliance = (word & kComplianceBit) != 0;
  }
  if (!element.dataEnded && IsLineEnd(element.follower) && staleBytes != nullptr) {
    *staleBytes = reader.StaleAfterLineEnd();
  }

  if (tooLarge || IsOverflow(values[0]) || IsOverflow(values[1])) return ReplyVerdict::Overflow;
  reading.voltage = values[0];
  reading.current = values[1];
  reading.inCompliance = inCompliance;
  return ReplyVerdict::Reading;
}
