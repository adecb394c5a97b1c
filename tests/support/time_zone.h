// A time zone other than the machine's for the length of a test, so local and UTC time differ.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace velmora::test {

// Sets TZ to a POSIX rule (no time-zone database needed: "JST-9" is nine
// hours east of UTC) and restores the previous TZ, or its absence, after.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* rule) {
        if (const char* old = std::getenv("TZ"))
            saved_ = old;
        ::setenv("TZ", rule, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (saved_)
            ::setenv("TZ", saved_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> saved_;
};

} // namespace velmora::test
