// Who has a serial device open, and which group owns it: the facts a "busy" or
// "permission denied" message needs to tell the user what to do.
#pragma once

#include <string>

// The first other process that has `devicePath` open, as "NAME (pid N)"; empty
// when none is found (or the system does not let us look).
std::string FindPortHolder(const std::string& devicePath);

// The name of the group that owns `devicePath`; empty when unknown.
std::string DeviceGroupName(const std::string& devicePath);
