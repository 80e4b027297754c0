// The SCPI commands the program sends to the SourceMeter 2400, each with the
// "\r" that ends it on the RS-232 line. The set-voltage command carries a
// number and is made by FormatSetVoltageCommand.
#pragma once

inline constexpr const char* kResetCommand = "*RST\r";
inline constexpr const char* kOutputOnCommand = ":OUTP ON\r";
inline constexpr const char* kOutputOffCommand = ":OUTP OFF\r";
inline constexpr const char* kReadCommand = ":READ?\r";
inline constexpr const char* kErrorQueryCommand = ":SYST:ERR?\r";
// Below a second: the reply shortened to what the run uses (the status word
// keeps compliance in sight), and the line frequency that NPLC counts in.
inline constexpr const char* kShortReplyCommand = ":FORM:ELEM VOLT,CURR,STAT\r";
inline constexpr const char* kLineFrequencyQuery = ":SYST:LFR?\r";
