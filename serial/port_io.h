// The thin seam between the serial component and the kernel: every descriptor call it makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <sys/types.h>

struct stat;
struct timespec;

namespace velmora {

// The kernel's termios2 record, in a layout of our own so that headers need
// neither <termios.h> nor <asm/termbits.h> (the two clash). Flag values are
// the kernel's.
struct TermAttributes {
    uint32_t iflag = 0;
    uint32_t oflag = 0;
    uint32_t cflag = 0;
    uint32_t lflag = 0;
    uint8_t line = 0;
    uint8_t cc[19] = {};
    uint32_t ispeed = 0;
    uint32_t ospeed = 0;
};

// Running totals of line errors and modem transitions kept by a UART driver.
struct LineCounters {
    int cts = 0;
    int dsr = 0;
    int rng = 0;
    int dcd = 0;
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int brk = 0;
    int bufOverrun = 0;
};

enum class FlushQueue { Input, Output, Both };

// Every call returns what the system call returns: -1 with errno set on
// failure. The component and its threads use nothing else to reach the
// port, so a test can derive from SystemPortIo and inject EINTR, EAGAIN,
// EIO, ENOTTY or failing writes of the line settings. Implementations must
// be callable from the main thread and both worker threads at once.
class PortIo {
public:
    virtual ~PortIo() = default;

    virtual int Open(const char* path, int flags) = 0;
    virtual int Close(int fd) = 0;
    virtual int Lock(int fd) = 0; // exclusive, non-blocking advisory lock
    virtual int Stat(int fd, struct stat* info) = 0;
    virtual int SetExclusive(int fd) = 0;                                    // TIOCEXCL
    virtual int ClearExclusive(int fd) = 0;                                  // TIOCNXCL
    virtual int GetAttributes(int fd, TermAttributes* attributes) = 0;       // TCGETS2
    virtual int SetAttributes(int fd, const TermAttributes* attributes) = 0; // TCSETS2
    virtual int Flush(int fd, FlushQueue queue) = 0;
    virtual int ModemBits(int fd, int* bits) = 0;             // TIOCMGET
    virtual int SetModemBits(int fd, int bits) = 0;           // TIOCMBIS
    virtual int ClearModemBits(int fd, int bits) = 0;         // TIOCMBIC
    virtual int Counters(int fd, LineCounters* counters) = 0; // TIOCGICOUNT
    // TIOCGSERIAL then TIOCSSERIAL with no closing wait, so that close() does
    // not wait for a held line (needs CAP_SYS_ADMIN: EPERM otherwise).
    virtual int DropClosingWait(int fd) = 0;
    virtual ssize_t Read(int fd, void* buffer, size_t count) = 0;
    virtual ssize_t Write(int fd, const void* data, size_t count) = 0;
    // ppoll; a null timeout waits without limit.
    virtual int Poll(pollfd* fds, nfds_t count, const timespec* timeout) = 0;
    // A non-blocking, close-on-exec eventfd with counter 0.
    virtual int CreateEvent() = 0;
};

// The real system calls.
class SystemPortIo : public PortIo {
public:
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Lock(int fd) override;
    int Stat(int fd, struct stat* info) override;
    int SetExclusive(int fd) override;
    int ClearExclusive(int fd) override;
    int GetAttributes(int fd, TermAttributes* attributes) override;
    int SetAttributes(int fd, const TermAttributes* attributes) override;
    int Flush(int fd, FlushQueue queue) override;
    int ModemBits(int fd, int* bits) override;
    int SetModemBits(int fd, int bits) override;
    int ClearModemBits(int fd, int bits) override;
    int Counters(int fd, LineCounters* counters) override;
    int DropClosingWait(int fd) override;
    ssize_t Read(int fd, void* buffer, size_t count) override;
    ssize_t Write(int fd, const void* data, size_t count) override;
    int Poll(pollfd* fds, nfds_t count, const timespec* timeout) override;
    int CreateEvent() override;
};

// The process-wide instance used when a component is given no other.
PortIo& DefaultPortIo();

} // namespace velmora
