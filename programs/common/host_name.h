// The machine's name, the default bench name in published readings.
#pragma once

#include <string>

// "bench" when the system gives no name.
std::string HostName();
