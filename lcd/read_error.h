// EReadError: a stored property stream that cannot be read.
#pragma once

#include "text/exception.h"

namespace velmora {

// Raised for truncated streams, unexpected markers and unknown property names;
// the reading of that stream ends there.
class EReadError : public Exception {
public:
    using Exception::Exception;
};

} // namespace velmora
