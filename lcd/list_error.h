// EListError: an index outside a fixed list of the display (patterns, rows, positions).
#pragma once

#include "text/exception.h"

#include <string>

namespace velmora {

class EListError : public Exception {
public:
    using Exception::Exception;

    // "List index out of bounds (<index>)"
    static EListError OutOfBounds(long long index) {
        return EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
};

} // namespace velmora
