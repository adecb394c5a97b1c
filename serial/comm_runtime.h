// Settings the worker threads read while the port is open.
#pragma once

#include <atomic>
#include <cstdint>

namespace velmora {

// The five timeouts, in milliseconds, with the meanings serial drivers
// have long given them: a read ends when `readIntervalTimeout` passes
// after a byte without another (0 = no interval limit) or when
// multiplier x requested bytes + constant has passed (both 0 = no limit);
// a write call likewise gets multiplier x bytes + constant.
struct CommTimeouts {
    uint32_t readIntervalTimeout = 100;
    uint32_t readTotalTimeoutMultiplier = 0;
    uint32_t readTotalTimeoutConstant = 0;
    uint32_t writeTotalTimeoutMultiplier = 0;
    uint32_t writeTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

// Written by the main thread when timeouts or line settings are applied,
// read by the workers at every wait; each value stands alone, so plain
// atomics suffice.
struct PortRuntime {
    std::atomic<uint32_t> readInterval{0};
    std::atomic<uint32_t> readMultiplier{0};
    std::atomic<uint32_t> readConstant{0};
    std::atomic<uint32_t> writeMultiplier{0};
    std::atomic<uint32_t> writeConstant{0};
    std::atomic<bool> ignoreNullChar{false};
    // A read also ends at a line feed (a reply's last byte), without
    // waiting for the read interval to pass.
    std::atomic<bool> endReadAtLineFeed{false};

    void Apply(const CommTimeouts& t) {
        readInterval = t.readIntervalTimeout;
        readMultiplier = t.readTotalTimeoutMultiplier;
        readConstant = t.readTotalTimeoutConstant;
        writeMultiplier = t.writeTotalTimeoutMultiplier;
        writeConstant = t.writeTotalTimeoutConstant;
    }
};

} // namespace velmora
