// The SCPI commands the program sends to the SourceMeter 2400, each with the
// "\r" that ends it on the RS-232 line. The set-voltage command carries a
// number and is made by FormatSetVoltageCommand.
#pragma once

inline constexpr const char* kResetCommand = "*RST\r";
inline constexpr const char* kOutputOnCommand = ":OUTP ON\r";
inline constexpr const char* kOutputOffCommand = ":OUTP OFF\r";
inline constexpr const char* kReadCommand = ":READ?\r";
inline constexpr const char* kErrorQueryCommand = ":SYST:ERR?\r";
