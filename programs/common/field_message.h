// How ivra-run names a bad value: the Setup dialog's field label before the
// dialog's own words, "Measurement time: please enter an integer."
#pragma once

#include <string>

// `message` ("Please enter ...") with its first letter made small, after "<label>: ".
std::string FieldMessage(const char* label, std::string message);
