// The serial component's error: raised only when a port cannot be opened.
#pragma once

#include "text/exception.h"

#include <string>

namespace velmora {

// Carries one of the fixed OpenPort messages; callers show it in their own
// box. The system's error number of the step that failed (0 when there was
// none) lets a caller say why, e.g. that the user lacks the dialout group.
class ECommsError : public Exception {
public:
    explicit ECommsError(std::string message, int systemError = 0)
        : Exception(std::move(message))
        , systemError_(systemError) {}

    int systemError() const noexcept { return systemError_; }

private:
    int systemError_;
};

} // namespace velmora
