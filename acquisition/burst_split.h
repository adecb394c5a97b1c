// The readings of one burst reply: "+1.0E+00,+2.0E+00" -> {"+1.0E+00", "+2.0E+00"}.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// Split at every comma; an empty field stays (it is reported as no reading).
std::vector<std::string> SplitBurst(const std::string& reply);

} // namespace velmora
