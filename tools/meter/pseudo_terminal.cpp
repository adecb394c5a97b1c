// Pseudo-terminal pair with a raw master and a slave as the kernel creates it.
#include "tools/meter/pseudo_terminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0)
        Fail("posix_openpt");
    char name[128];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name)) {
        const int error = errno;
        Close();
        throw std::system_error(error, std::generic_category(), "pseudo-terminal slave");
    }
    slavePath_ = name;
    // No line settings here: on the master they would set the slave's.
    heldSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (heldSlave_ < 0) {
        const int error = errno;
        Close();
        throw std::system_error(error, std::generic_category(), "open pseudo-terminal slave");
    }
}

PseudoTerminal::~PseudoTerminal() {
    Close();
}

bool PseudoTerminal::Write(std::string_view bytes, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        if (master_ < 0)
            return false;
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd out{master_, POLLOUT, 0};
        if (::poll(&out, 1, MillisecondsLeft(deadline)) == 0)
            return false;
    }
    return true;
}

std::string PseudoTerminal::Read(size_t count, std::chrono::milliseconds timeout) {
    std::string bytes;
    const auto deadline = Clock::now() + timeout;
    while (master_ >= 0 && bytes.size() < count) {
        char buffer[4096];
        const size_t want = std::min(sizeof buffer, count - bytes.size());
        const ssize_t n = ::read(master_, buffer, want);
        if (n > 0) {
            bytes.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            break;
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0)
            break;
        pollfd in{master_, POLLIN, 0};
        if (::poll(&in, 1, wait) == 0)
            break;
        if (!(in.revents & POLLIN))
            ::poll(nullptr, 0, 1); // hung up (no slave open): do not spin
    }
    return bytes;
}

std::string PseudoTerminal::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    std::string bytes;
    for (;;) {
        std::string more = Read(4096, quiet);
        if (more.empty())
            return bytes;
        bytes += more;
    }
}

void PseudoTerminal::Close() {
    if (master_ >= 0)
        ::close(master_);
    if (heldSlave_ >= 0)
        ::close(heldSlave_);
    master_ = -1;
    heldSlave_ = -1;
}

} // namespace velmora
