// Builds termios2 records. The only file that includes the kernel's termios bits: they
// clash with glibc's <termios.h>, and only they offer TCGETS2/TCSETS2 and BOTHER.
#include "serial/line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

namespace velmora {

static_assert(sizeof(TermAttributes::cc) == NCCS, "termios2 control characters");

const uint32_t TermFlags::ParityEnable = PARENB;
const uint32_t TermFlags::ParityOdd = PARODD;
const uint32_t TermFlags::ParityStick = CMSPAR;
const uint32_t TermFlags::TwoStopBits = CSTOPB;
const uint32_t TermFlags::SizeMask = CSIZE;
const uint32_t TermFlags::Size7 = CS7;
const uint32_t TermFlags::Size8 = CS8;
const uint32_t TermFlags::HardwareFlow = CRTSCTS;
const uint32_t TermFlags::OutputXonXoff = IXON;
const uint32_t TermFlags::InputXonXoff = IXOFF;
const uint32_t TermFlags::InputParityCheck = INPCK;
const uint32_t TermFlags::Canonical = ICANON;
const uint32_t TermFlags::Echo = ECHO;
const uint32_t TermFlags::FreeSpeed = BOTHER;
const int TermFlags::StartCharIndex = VSTART;
const int TermFlags::StopCharIndex = VSTOP;

namespace {

uint32_t DataBits(TByteSize size) {
    switch (size) {
    case TByteSize::_5:
        return CS5;
    case TByteSize::_6:
        return CS6;
    case TByteSize::_7:
        return CS7;
    case TByteSize::_8:
        break;
    }
    return CS8;
}

uint32_t ParityBits(TParity parity) {
    switch (parity) {
    case TParity::None:
        break;
    case TParity::Odd:
        return PARENB | PARODD;
    case TParity::Even:
        return PARENB;
    case TParity::Mark: // stick parity: the parity bit is always 1
        return PARENB | CMSPAR | PARODD;
    case TParity::Space: // stick parity: always 0
        return PARENB | CMSPAR;
    }
    return 0;
}

termios2 ToKernel(const TermAttributes& a) {
    termios2 t{};
    t.c_iflag = a.iflag;
    t.c_oflag = a.oflag;
    t.c_cflag = a.cflag;
    t.c_lflag = a.lflag;
    t.c_line = a.line;
    std::memcpy(t.c_cc, a.cc, sizeof t.c_cc);
    t.c_ispeed = a.ispeed;
    t.c_ospeed = a.ospeed;
    return t;
}

} // namespace

void ComposeLineSettings(const LineConfig& config, TermAttributes& a) {
    // Raw mode: bytes pass untouched in both directions, no echo, no signals.
    a.iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                 INPCK | IUCLC | IMAXBEL);
    a.oflag &= ~OPOST;
    a.lflag &= ~(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);

    if (config.parityCheck)
        a.iflag |= INPCK;
    if (config.outxXonXoffFlow)
        a.iflag |= IXON;
    if (config.inxXonXoffFlow)
        a.iflag |= IXOFF;

    a.cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    a.cflag |= CREAD | CLOCAL | DataBits(config.byteSize) | ParityBits(config.parity);
    // Linux has no one-and-a-half stop bits; two is the nearest (a UART sends
    // 1.5 anyway when two are asked for with 5 data bits).
    if (config.stopBits != TStopBits::_1)
        a.cflag |= CSTOPB;
    if (config.outxCtsFlow || config.rtsControl == TRtsControl::RtsHandshake)
        a.cflag |= CRTSCTS;

    // Free-form speed for both directions (input bits 0 = same as output).
    a.cflag |= BOTHER;
    a.ospeed = config.baudRate;
    a.ispeed = config.baudRate;

    a.cc[VSTART] = static_cast<uint8_t>(config.xonChar);
    a.cc[VSTOP] = static_cast<uint8_t>(config.xoffChar);
    // Reads are non-blocking and timed by the receive thread itself.
    a.cc[VMIN] = 1;
    a.cc[VTIME] = 0;
}

void KeepLineSpeed(const TermAttributes& current, TermAttributes& composed) {
    const uint32_t speedBits = CBAUD | (CBAUD << IBSHIFT);
    composed.cflag = (composed.cflag & ~speedBits) | (current.cflag & speedBits);
    composed.ispeed = current.ispeed;
    composed.ospeed = current.ospeed;
}

int ReadTermios2(int fd, TermAttributes& a) {
    termios2 t{};
    const int result = ::ioctl(fd, TCGETS2, &t);
    if (result < 0)
        return result;
    a.iflag = t.c_iflag;
    a.oflag = t.c_oflag;
    a.cflag = t.c_cflag;
    a.lflag = t.c_lflag;
    a.line = t.c_line;
    std::memcpy(a.cc, t.c_cc, sizeof a.cc);
    a.ispeed = t.c_ispeed;
    a.ospeed = t.c_ospeed;
    return result;
}

int WriteTermios2(int fd, const TermAttributes& a) {
    const termios2 t = ToKernel(a);
    return ::ioctl(fd, TCSETS2, &t);
}

} // namespace velmora
