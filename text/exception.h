// The project's base exception: every error the program reports carries a message only.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace velmora {

// Base of EConvertError, ECommsError and EIniFileException. The general error
// report shows message() to the user, so it must be a complete sentence.
class Exception : public std::exception {
public:
    explicit Exception(std::string message)
        : message_(std::move(message)) {}
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace velmora
