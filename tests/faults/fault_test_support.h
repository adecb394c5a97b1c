// Shared pieces of the soak and fault tests: short or long form, process figures, a hang guard.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace velmora::test {

// Every fault test has a short form for CI (a few seconds) and a long form
// that scripts/soak selects by setting VELMORA_SOAK_SECONDS. Counts can be
// set one by one as well (VELMORA_SOAK_READINGS, VELMORA_SOAK_CYCLES).
bool LongForm();
// The variable's value when it is a positive number, else `shortValue`, or
// `longValue` in the long form.
int64_t SoakSetting(const char* variable, int64_t shortValue, int64_t longValue);
// Seconds for tests that run for a while: VELMORA_SOAK_SECONDS, else `shortSeconds`.
int64_t SoakSeconds(int64_t shortSeconds);

// What the process holds right now, from /proc/self.
struct ProcessFigures {
    int64_t residentKb = 0; // VmRSS
    int64_t peakKb = 0;     // VmHWM
    int descriptors = 0;    // entries of /proc/self/fd
    int threads = 0;        // entries of /proc/self/task
};
ProcessFigures SampleProcess();
std::string Describe(const ProcessFigures& figures);

// True when built with a sanitizer, whose own bookkeeping makes memory
// figures meaningless as bounds.
constexpr bool kUnderSanitizer =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// Aborts the process with a message when it is not disarmed (destroyed) in
// time: a hung close must fail the run, not stall it. Only a guard; nothing
// is measured with it.
class HangGuard {
public:
    HangGuard(std::chrono::seconds limit, std::string what);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    std::thread watchdog_;
};

} // namespace velmora::test
