// The serial component's error: raised only when a port cannot be opened.
#pragma once

#include "text/exception.h"

namespace velmora {

// Carries one of the fixed OpenPort messages; callers show it in their own box.
class ECommsError : public Exception {
public:
    using Exception::Exception;
};

} // namespace velmora
