// Shared pieces of the soak and fault tests.
#include "tests/faults/fault_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace velmora::test {

namespace {

int64_t PositiveNumber(const char* variable) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') {
        return 0;
    }
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    return (*end == '\0' && value > 0) ? value : 0;
}

int CountEntries(const char* folder) {
    DIR* dir = ::opendir(folder);
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            ++count;
        }
    }
    ::closedir(dir);
    return count - (std::string(folder) == "/proc/self/fd" ? 1 : 0); // opendir's own
}

int64_t StatusKb(const std::string& status, const char* key) {
    const size_t at = status.find(key);
    return at == std::string::npos
               ? -1
               : std::strtoll(status.c_str() + at + std::string(key).size(), nullptr, 10);
}

} // namespace

bool LongForm() {
    return PositiveNumber("VELMORA_SOAK_SECONDS") > 0;
}

int64_t SoakSetting(const char* variable, int64_t shortValue, int64_t longValue) {
    if (const int64_t value = PositiveNumber(variable)) {
        return value;
    }
    return LongForm() ? longValue : shortValue;
}

int64_t SoakSeconds(int64_t shortSeconds) {
    const int64_t seconds = PositiveNumber("VELMORA_SOAK_SECONDS");
    return seconds > 0 ? seconds : shortSeconds;
}

ProcessFigures SampleProcess() {
    std::ifstream in("/proc/self/status");
    std::stringstream text;
    text << in.rdbuf();
    const std::string status = text.str();
    ProcessFigures figures;
    figures.residentKb = StatusKb(status, "VmRSS:");
    figures.peakKb = StatusKb(status, "VmHWM:");
    figures.descriptors = CountEntries("/proc/self/fd");
    figures.threads = CountEntries("/proc/self/task");
    return figures;
}

std::string Describe(const ProcessFigures& figures) {
    std::ostringstream out;
    out << "resident " << figures.residentKb / 1024.0 << " MB (peak " << figures.peakKb / 1024.0
        << " MB), " << figures.descriptors << " descriptors, " << figures.threads << " threads";
    return out.str();
}

HangGuard::HangGuard(std::chrono::seconds limit, std::string what) {
    watchdog_ = std::thread([this, limit, what = std::move(what)] {
        std::unique_lock lock(mutex_);
        if (!disarmed_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "hang guard: %s did not finish within %lld s\n", what.c_str(),
                         static_cast<long long>(limit.count()));
            std::abort();
        }
    });
}

HangGuard::~HangGuard() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    disarmed_.notify_all();
    watchdog_.join();
}

} // namespace velmora::test
