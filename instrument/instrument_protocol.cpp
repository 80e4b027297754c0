#include "instrument/instrument_protocol.h"

#include <algorithm>
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

bool SendCommandAtOnce(InstrumentLink& link, const char* command) {
  return link.Write(command, static_cast<int>(std::strlen(command)));
}

int ReadReplyLine(InstrumentLink& link, char* buffer, int timeoutMs) {
  int received = link.ReadLine(buffer, kMaxReplyBytes, timeoutMs);
  if (received < 0) received = 0;
  if (received > kMaxReplyBytes) received = kMaxReplyBytes;
  buffer[received] = '\0';
  return received;
}

std::string FormatSetVoltageCommand(double volts) { return ":SOUR:VOLT " + FormatFixed(volts, 5) + "\r"; }

namespace {

bool IsNumberByte(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'E' || c == 'e'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
// What may stand before a reply and after its line end.
bool IsPadding(char c) { return c == ' ' || c == '\t' || c == '\0' || IsLineEnd(c); }
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
  long long leadingZeros = 0;  // zeros before the first nonzero digit
  long long integerDigits = 0;
  bool nonzero = false;
  auto digit = [&](char c) {
    ++digits;
    if (!nonzero && c == '0') ++leadingZeros;
    nonzero = nonzero || c != '0';
  };
  while (i < text.size() && IsDigit(text[i])) digit(text[i++]), ++integerDigits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) digit(text[i++]);
  }
  if (digits == 0) return NumberKind::NotANumber;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::size_t exponentDigits = 0;
    while (i < text.size() && IsDigit(text[i])) {
      exponent = std::min(exponent * 10 + (text[i++] - '0'), 1000000000LL);  // beyond any double either way
      ++exponentDigits;
    }
    if (exponentDigits == 0) return NumberKind::NotANumber;
    if (negative) exponent = -exponent;
  }
  if (i != text.size()) return NumberKind::NotANumber;
  std::size_t pos = 0;
  if (ParseDecimal(text, pos, value)) return NumberKind::Number;
  // Well-formed but beyond a double: by the power of ten of its first nonzero
  // digit, far too large, or so small that it is zero.
  const long long magnitude = integerDigits - 1 - leadingZeros + exponent;
  if (!nonzero || magnitude < 0) {
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
bool StatusWord(double value, long long& word) {
  if (!(value >= 0 && value < kStatusWordLimit)) return false;
  word = static_cast<long long>(value);
  return static_cast<double>(word) == value;
}

constexpr long long kComplianceBit = 8;

// One element's number as read: its value, or that it was beyond a double.
struct ElementValue {
  double value = 0.0;
  bool tooLarge = false;
};

// Whether `value` of an element other than the voltage and the current is one
// the instrument can send.
bool Possible(ReplyElement kind, const ElementValue& element) {
  const double v = element.value;
  switch (kind) {
    case ReplyElement::Resistance: return element.tooLarge || IsOverflow(v) || std::fabs(v) <= kMaxMeasuredOhms;
    case ReplyElement::Time: return !element.tooLarge && v >= 0 && v <= kMaxTimeStamp;
    case ReplyElement::Status: {
      long long word = 0;
      return !element.tooLarge && StatusWord(v, word);
    }
    case ReplyElement::Voltage:
    case ReplyElement::Current: break;
  }
  return true;
}

}  // namespace

ReplyVerdict JudgeReply(const char* reply, int received, LatestReading& reading, int* staleBytes,
                        const ReplyForm& form) {
  if (staleBytes != nullptr) *staleBytes = 0;
  if (received <= 0) return ReplyVerdict::NoReply;
  if (form.lineMarksErrors && std::memchr(reply, '\xff', static_cast<std::size_t>(received)) != nullptr) {
    return ReplyVerdict::LineError;
  }
  // A reply broken off where more could follow: cut short by a pause, unless the read was full.
  const ReplyVerdict cut = received >= kMaxReplyBytes ? ReplyVerdict::NoReading : ReplyVerdict::Incomplete;
  ReplyReader reader(reply, received);
  reader.SkipPadding();
  if (reader.AtEnd()) {
    bool lineEnd = false;
    for (int i = 0; i < received; ++i) lineEnd = lineEnd || IsLineEnd(reply[i]);
    return lineEnd ? ReplyVerdict::NoReading : cut;
  }

  const std::size_t count = form.elements.size();
  std::vector<ElementValue> values(count);
  Element element;
  for (std::size_t i = 0; i < count; ++i) {
    // The voltage and the current come first after "*RST"; before both are
    // read, a reply that ends or holds text has no reading at all.
    const bool leading = i < 2;
    element = reader.Next();
    if (element.text.empty()) {
      if (element.dataEnded) return leading ? cut : ReplyVerdict::Incomplete;
      // Text where a number belongs is no reading; a byte the instrument never sends is damage.
      return leading && IsPrintable(element.follower) ? ReplyVerdict::NoReading : ReplyVerdict::Garbled;
    }
    if (element.dataEnded) return i == 0 ? cut : ReplyVerdict::Incomplete;
    const bool last = i + 1 == count;
    const bool ended = last ? IsLineEnd(element.follower) : element.follower == ',';
    if (!ended) {
      // A voltage alone is no reading; anything else is a missing or an extra element, or damage.
      const bool voltageAlone = i == 0 && (IsLineEnd(element.follower) || element.follower == ';');
      return voltageAlone ? ReplyVerdict::NoReading : ReplyVerdict::Garbled;
    }
    const NumberKind kind = ReadNumber(element.text, values[i].value);
    if (kind == NumberKind::NotANumber) return leading ? ReplyVerdict::NoReading : ReplyVerdict::Garbled;
    values[i].tooLarge = kind == NumberKind::TooLarge;
    if (!last) reader.Step();
  }
  if (staleBytes != nullptr) *staleBytes = reader.StaleAfterLineEnd();

  double volts = 0.0;
  double amperes = 0.0;
  bool overflow = false;
  bool possible = true;
  bool inCompliance = false;
  for (std::size_t i = 0; i < count; ++i) {
    const ReplyElement kind = form.elements[i];
    const ElementValue& v = values[i];
    if (kind == ReplyElement::Voltage || kind == ReplyElement::Current) {
      overflow = overflow || v.tooLarge || IsOverflow(v.value);
      (kind == ReplyElement::Voltage ? volts : amperes) = v.value;
    } else {
      possible = possible && Possible(kind, v);
    }
    long long word = 0;
    if (kind == ReplyElement::Status && StatusWord(v.value, word)) inCompliance = (word & kComplianceBit) != 0;
  }
  if (!possible) return ReplyVerdict::Garbled;
  if (overflow) return ReplyVerdict::Overflow;
  const double magnitude = std::fabs(amperes);
  if (std::fabs(volts) > kMaxMeasuredVolts || magnitude > form.maxCurrent ||
      (magnitude != 0 && magnitude < kMinNonzeroCurrent)) {
    return ReplyVerdict::Garbled;
  }
  reading.voltage = volts;
  reading.current = amperes;
  reading.inCompliance = inCompliance;
  return ReplyVerdict::Reading;
}
