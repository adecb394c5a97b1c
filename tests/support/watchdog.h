// A guard for a test that could hang: it ends the test program with a message
// when the test has not finished in time, well before the run's own limit, so
// a hang is reported as the failure it is.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace velmora::test {

class Watchdog {
public:
    Watchdog(const char* what, std::chrono::seconds limit)
        : done_(std::make_shared<std::atomic<bool>>(false)) {
        std::thread([done = done_, what, limit] {
            const auto until = std::chrono::steady_clock::now() + limit;
            while (!*done && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (!*done) {
                std::fprintf(stderr, "%s did not end in %lld s\n", what,
                             static_cast<long long>(limit.count()));
                std::_Exit(1);
            }
        }).detach();
    }
    ~Watchdog() { *done_ = true; }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::shared_ptr<std::atomic<bool>> done_;
};

} // namespace velmora::test
