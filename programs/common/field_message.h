// How ivra-run names a bad value: the option before the Setup dialog's own
// words, "--time: please enter an integer."
#pragma once

#include <string>

// `message` ("Please enter ...") with its first letter made small, after "<option>: ".
std::string FieldMessage(const char* option, std::string message);
