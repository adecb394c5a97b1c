// The real system calls behind the serial component's seam (termios2 lives in line_settings.cpp).
#include "serial/port_io.h"

#include "serial/line_settings.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

int SystemPortIo::Open(const char* path, int flags) {
    return ::open(path, flags);
}

int SystemPortIo::Close(int fd) {
    return ::close(fd);
}

int SystemPortIo::Lock(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB);
}

int SystemPortIo::Stat(int fd, struct stat* info) {
    return ::fstat(fd, info);
}

int SystemPortIo::SetExclusive(int fd) {
    return ::ioctl(fd, TIOCEXCL);
}

int SystemPortIo::ClearExclusive(int fd) {
    return ::ioctl(fd, TIOCNXCL);
}

int SystemPortIo::GetAttributes(int fd, TermAttributes* attributes) {
    return ReadTermios2(fd, *attributes);
}

int SystemPortIo::SetAttributes(int fd, const TermAttributes* attributes) {
    return WriteTermios2(fd, *attributes);
}

int SystemPortIo::Flush(int fd, FlushQueue queue) {
    // TCFLSH takes the same 0/1/2 selector as tcflush().
    const int selector = queue == FlushQueue::Input ? 0 : queue == FlushQueue::Output ? 1 : 2;
    return ::ioctl(fd, TCFLSH, selector);
}

int SystemPortIo::ModemBits(int fd, int* bits) {
    return ::ioctl(fd, TIOCMGET, bits);
}

int SystemPortIo::SetModemBits(int fd, int bits) {
    return ::ioctl(fd, TIOCMBIS, &bits);
}

int SystemPortIo::ClearModemBits(int fd, int bits) {
    return ::ioctl(fd, TIOCMBIC, &bits);
}

int SystemPortIo::Counters(int fd, LineCounters* counters) {
    serial_icounter_struct raw{};
    const int result = ::ioctl(fd, TIOCGICOUNT, &raw);
    if (result < 0)
        return result;
    counters->cts = raw.cts;
    counters->dsr = raw.dsr;
    counters->rng = raw.rng;
    counters->dcd = raw.dcd;
    counters->frame = raw.frame;
    counters->overrun = raw.overrun;
    counters->parity = raw.parity;
    counters->brk = raw.brk;
    counters->bufOverrun = raw.buf_overrun;
    return result;
}

int SystemPortIo::DropClosingWait(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) < 0)
        return -1;
    if (info.closing_wait == ASYNC_CLOSING_WAIT_NONE)
        return 0;
    info.closing_wait = ASYNC_CLOSING_WAIT_NONE;
    return ::ioctl(fd, TIOCSSERIAL, &info);
}

ssize_t SystemPortIo::Read(int fd, void* buffer, size_t count) {
    return ::read(fd, buffer, count);
}

ssize_t SystemPortIo::Write(int fd, const void* data, size_t count) {
    return ::write(fd, data, count);
}

int SystemPortIo::Poll(pollfd* fds, nfds_t count, const timespec* timeout) {
    return ::ppoll(fds, count, timeout, nullptr);
}

int SystemPortIo::CreateEvent() {
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

PortIo& DefaultPortIo() {
    static SystemPortIo io;
    return io;
}

} // namespace velmora
