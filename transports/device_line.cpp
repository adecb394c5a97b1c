// Opening a terminal device raw, for an adapter that speaks lines over it.
#include "transports/device_line.h"

#include "transports/transport_error.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora {

DeviceLine::DeviceLine(std::string path, QObject* parent)
    : StreamLine(parent)
    , path_(std::move(path)) {}

int DeviceLine::openDescriptor() {
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const bool away = error == ENOENT || error == ENXIO || error == ENODEV || error == EIO;
        const TransportError::Reason reason = away             ? TransportError::Reason::Unreachable
                                              : error == EBUSY ? TransportError::Reason::Refused
                                                               : TransportError::Reason::Other;
        throw TransportError(reason, path_ + ": " + std::strerror(error), error);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        throw TransportError(TransportError::Reason::Other, path_ + ": " + std::strerror(error),
                             error);
    }
    termios line{};
    if (::tcgetattr(fd, &line) != 0) {
        const int error = errno;
        ::close(fd);
        throw TransportError(TransportError::Reason::Other,
                             path_ + " is not a serial device: " + std::strerror(error), error);
    }
    // Raw bytes, no echo, no flow control; at least one byte a read, so an
    // empty read means the other end is gone, not "nothing yet".
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cflag &= ~CRTSCTS;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    ::cfsetspeed(&line, B115200);
    if (::tcsetattr(fd, TCSANOW, &line) != 0) {
        const int error = errno;
        ::close(fd);
        throw TransportError(TransportError::Reason::Other, path_ + ": " + std::strerror(error),
                             error);
    }
    ::tcflush(fd, TCIOFLUSH); // nothing from before this program's time
    return fd;
}

} // namespace velmora
