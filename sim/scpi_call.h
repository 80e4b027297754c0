// One command of a program message while the instrument serves it: the checks
// of its parameters, the replies it adds to the line's answer, and the error
// queue where the instrument puts what it refuses.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "sim/scpi_message.h"

namespace sourcemeter {

// A reading or a numeric setting as the instrument writes it: "+1.234560E-05".
std::string Field(double value);
// A count or a register: "12".
inline std::string Whole(long value) { return std::to_string(value); }

}  // namespace sourcemeter

// The instrument's error queue and the status registers its errors feed: the
// standard event status register (*ESR?) and the two enable registers that
// the status byte (*STB?) is judged by.
class ErrorQueue {
 public:
  static constexpr std::size_t kSize = 10;

  // Queues `code` and sets its class's event status bit. A full queue keeps
  // its oldest entries, and its last one reports the overflow.
  void Push(int code);
  // What :SYST:ERR? answers: the oldest entry, taken off the queue, or with
  // `all` every entry; with `codesOnly` the numbers alone. An empty queue
  // answers "0,\"No error\"".
  std::string Take(bool all, bool codesOnly);
  std::size_t Count() const { return entries_.size(); }
  const std::deque<std::string>& Entries() const { return entries_; }
  // :STAT:QUE:CLE empties the queue; *CLS also clears the event status.
  void Clear();
  void ClearStatus();

  void OperationComplete();
  // *ESR?: the event status register, which reading clears.
  int TakeEventStatus();
  int EventEnable() const { return eventEnable_; }
  int ServiceEnable() const { return serviceEnable_; }
  void SetEventEnable(int bits) { eventEnable_ = bits; }
  void SetServiceEnable(int bits) { serviceEnable_ = bits; }
  int StatusByte() const;

 private:
  std::string Pop();

  std::deque<std::string> entries_;
  std::deque<int> codes_;
  int eventStatus_ = 128;  // power on
  int eventEnable_ = 0;
  int serviceEnable_ = 0;
};

// What one command line builds up: the replies of its queries, the time they
// take, and how they go out.
struct LineAnswer {
  double now = 0.0;  // the instrument's time stamp clock, seconds
  std::vector<std::string> replies;
  int delayMs = 0;
  bool hangUp = false;
  std::string partial;                         // with hangUp: the bytes that go out before the line drops
  bool stop = false;                           // nothing more comes out for this line
  std::size_t pauseAfter = std::string::npos;  // split fault: where in the reply the pause falls
};

class ScpiCall {
 public:
  ScpiCall(const ScpiUnit& unit, LineAnswer& line, ErrorQueue& errors) : unit_(unit), line_(line), errors_(errors) {}

  bool IsQuery() const { return unit_.query; }
  const std::vector<std::string>& Params() const { return unit_.params; }
  double Now() const { return line_.now; }
  LineAnswer& Line() { return line_; }

  void Respond(const std::string& text) { line_.replies.push_back(text); }
  void Error(int code) { errors_.Push(code); }

  // Parameter checks: each queues the instrument's error and returns false.
  bool NoParams();
  bool OneParam();
  bool Number(double low, double high, double byDefault, double& value);
  bool Boolean(bool& value);
  bool Choice(const std::vector<const char*>& choices, std::size_t& index);
  // A query, or a command, without parameters; the other form is an unknown
  // header.
  bool Query();
  bool Command();

  // Settings with a query; the setting changes only for a valid value.
  void BooleanSetting(bool& setting);
  void NumberSetting(double& setting, double low, double high, double byDefault);
  void NumberQuery(double value, double low, double high, double byDefault);
  void ChoiceSetting(const std::vector<const char*>& choices, const std::vector<const char*>& answers,
                     std::size_t& setting);

 private:
  const ScpiUnit& unit_;
  LineAnswer& line_;
  ErrorQueue& errors_;
};
