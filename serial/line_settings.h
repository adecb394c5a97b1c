// Line configuration of a port and its translation into the kernel's termios2 record.
#pragma once

#include "serial/comm_types.h"
#include "serial/port_io.h"

#include <cstdint>

namespace velmora {

// The component's line properties, as the user set them.
struct LineConfig {
    uint32_t baudRate = 9600;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    TDtrControl dtrControl = TDtrControl::DtrEnable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = true;
    bool outxXonXoffFlow = true;
    bool inxXonXoffFlow = true;
    bool replaceWhenParityError = false;
    bool ignoreNullChar = false;
    TRtsControl rtsControl = TRtsControl::RtsEnable;
    uint16_t xonLimit = 500;
    uint16_t xoffLimit = 500;
    TByteSize byteSize = TByteSize::_8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::_1;
    char xonChar = 17;
    char xoffChar = 19;
    char replacedChar = 0;
};

// Rewrites `attributes` (as read from the port) for `config`: raw mode,
// receiver on, modem lines ignored for opening, the data format, software
// and hardware flow control, and any baud rate as a free-form speed.
// Fields the record has no place for (DSR flow and sensitivity, DTR
// handshake, XON/XOFF limits, continue-on-XOFF, the error character, RTS
// raised only while sending) are left to the caller or have no equivalent.
void ComposeLineSettings(const LineConfig& config, TermAttributes& attributes);

// Puts the speed of `current` (the port's record) back into `composed`, for
// a line whose other settings must be applied while its speed stays as it is.
void KeepLineSpeed(const TermAttributes& current, TermAttributes& composed);

// TCGETS2 / TCSETS2 on a descriptor; -1 with errno on failure.
int ReadTermios2(int fd, TermAttributes& attributes);
int WriteTermios2(int fd, const TermAttributes& attributes);

// A few kernel flag values for callers that cannot include the kernel's
// termios header next to glibc's.
struct TermFlags {
    static const uint32_t ParityEnable;     // PARENB
    static const uint32_t ParityOdd;        // PARODD
    static const uint32_t ParityStick;      // CMSPAR
    static const uint32_t TwoStopBits;      // CSTOPB
    static const uint32_t SizeMask;         // CSIZE
    static const uint32_t Size7;            // CS7
    static const uint32_t Size8;            // CS8
    static const uint32_t HardwareFlow;     // CRTSCTS
    static const uint32_t OutputXonXoff;    // IXON
    static const uint32_t InputXonXoff;     // IXOFF
    static const uint32_t InputParityCheck; // INPCK
    static const uint32_t Canonical;        // ICANON
    static const uint32_t Echo;             // ECHO
    static const uint32_t FreeSpeed;        // BOTHER
    static const int StartCharIndex;        // VSTART
    static const int StopCharIndex;         // VSTOP
};

} // namespace velmora
