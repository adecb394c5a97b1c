// The settings file's error: a write that the file system refused.
#pragma once

#include "text/exception.h"

namespace velmora {

// Raised by IniFile::writeValue with the message "Unable to write to <path>",
// where <path> is the path the IniFile was created for.
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

} // namespace velmora
