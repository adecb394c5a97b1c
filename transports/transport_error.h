// Why a network or adapter line to a meter could not be had, in words for the port error box.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

class TransportError : public std::runtime_error {
public:
    enum class Reason {
        Refused,       // nothing listens there, or the meter takes one connection only
        UnknownHost,   // the name does not resolve
        TimedOut,      // no answer to the connection within its time
        Unreachable,   // no route, network down
        AdapterSilent, // a GPIB adapter that does not answer "++ver"
        BadResource,   // the name cannot be a resource ("port 0")
        Other,
    };

    TransportError(Reason reason, const std::string& what, int systemError = 0)
        : std::runtime_error(what)
        , reason_(reason)
        , systemError_(systemError) {}

    Reason reason() const { return reason_; }
    int systemError() const { return systemError_; }
    // Worth trying again while waiting for a lost line to return.
    bool passing() const {
        return reason_ == Reason::Refused || reason_ == Reason::TimedOut ||
               reason_ == Reason::Unreachable || reason_ == Reason::AdapterSilent;
    }

private:
    Reason reason_;
    int systemError_;
};

} // namespace velmora
