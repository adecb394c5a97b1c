// The control interface's error entries, in the form a meter's error queue gives them.
#pragma once

#include <string>

namespace velmora {

struct ControlError {
    int code = 0;
    std::string detail; // after the standard text and a ';', when there is one
};

// -113,"Undefined header" or -221,"Settings conflict;meter commands are off".
std::string ErrorEntry(const ControlError& error);

} // namespace velmora
