// EConvertError: raised when a text is not a valid number.
#pragma once

#include "text/exception.h"

namespace velmora {

// Thrown only by ParseReal and ParseInteger; the message quotes the rejected
// text exactly as it was passed in.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

} // namespace velmora
