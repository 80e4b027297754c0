// The simulator's record of every command it received (--log FILE).
//
// One line per received command, written and flushed as soon as the command's
// terminator (CR or LF) arrives:
//
//   <seconds>\t<bytes>\n
//
// <seconds> is the time since the simulator started, printf "%.3f".
// <bytes> are the exact bytes received for the command, terminator included,
// escaped so that a line holds no control character: CR as \r, LF as \n, TAB
// as \t, backslash as \\, every other byte outside 0x20..0x7E as \xNN (two
// upper-case hex digits). Example: a client that sends ":OUTP OFF" and CR gives
//
//   12.345	:OUTP OFF\r
//
// A CR LF pair is two commands, the second one empty ("\n"). Bytes still
// without a terminator when the simulator stops are written as a last line.
#pragma once

#include <cstdio>
#include <string>

// The escaped form of `bytes` used in the log.
std::string EscapeCommandBytes(const std::string& bytes);

class CommandLog {
 public:
  CommandLog() = default;
  ~CommandLog();
  CommandLog(const CommandLog&) = delete;
  CommandLog& operator=(const CommandLog&) = delete;

  // Creates (truncates) the file. False when it cannot be created.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  void Write(double seconds, const std::string& bytes);

 private:
  std::FILE* file_ = nullptr;
};
