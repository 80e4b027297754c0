#include "fuzz/reply_oracle.h"

#include <cmath>
#include <vector>

#include "fuzz/oracles.h"

namespace {

bool AtOverflow(double value) { return !std::isfinite(value) || std::fabs(value) >= kOverflowMark; }

// Whether an element other than the voltage and the current holds a value the instrument sends.
bool Possible(ReplyElement kind, double value) {
  switch (kind) {
    case ReplyElement::Resistance: return AtOverflow(value) || std::fabs(value) <= kMaxMeasuredOhms;
    case ReplyElement::Time: return value >= 0.0 && value <= kMaxTimeStamp;
    case ReplyElement::Status: return value >= 0.0 && value < kStatusWordLimit && std::floor(value) == value;
    case ReplyElement::Voltage:
    case ReplyElement::Current: break;
  }
  return true;
}

}  // namespace

ReplyContent RereadReply(std::string_view reply, const ReplyForm& form) {
  ReplyContent content;
  if (form.lineMarksErrors && reply.find('\xff') != std::string_view::npos) {
    content.kind = ReplyContent::LineError;
    return content;
  }
  const std::size_t start = reply.find_first_not_of(std::string_view(" \t\r\n\0", 5));
  if (start == std::string_view::npos) return content;
  const std::size_t lineEnd = reply.find_first_of("\r\n", start);
  if (lineEnd == std::string_view::npos) return content;
  const std::vector<std::string_view> fields = Split(reply.substr(start, lineEnd - start), ",");
  if (fields.size() != form.elements.size()) return content;

  bool possible = true;
  bool overflow = false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!IsDecimalNumber(fields[i], true)) return content;
    const double value = DecimalValue(fields[i]);
    const ReplyElement kind = form.elements[i];
    if (kind == ReplyElement::Voltage) content.voltage = value;
    if (kind == ReplyElement::Current) content.current = value;
    if (kind == ReplyElement::Status && Possible(kind, value)) {
      content.inCompliance = (static_cast<long long>(value) & 8) != 0;
    }
    if (kind == ReplyElement::Voltage || kind == ReplyElement::Current) {
      overflow = overflow || AtOverflow(value);
    } else {
      possible = possible && Possible(kind, value);
    }
  }
  if (!possible) return content;
  if (overflow) {
    content.kind = ReplyContent::Overflow;
    return content;
  }
  const double amperes = std::fabs(content.current);
  if (std::fabs(content.voltage) > kMaxMeasuredVolts || amperes > form.maxCurrent ||
      (amperes != 0.0 && amperes < kMinNonzeroCurrent)) {
    return content;
  }
  content.kind = ReplyContent::Reading;
  return content;
}
