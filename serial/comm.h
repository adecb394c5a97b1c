// TComm: the serial port component. Owns one port, its line settings and its two worker threads.
#pragma once

#include "serial/comm_runtime.h"
#include "serial/comm_types.h"
#include "serial/comms_error.h"
#include "serial/line_settings.h"
#include "serial/port_io.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

class CommNotifier;
struct CommNotification;
class PostGate;
class TLineWatchThread;
class TReadThread;
class TWriteThread;
class WriteQueue;

class TComm;
using TReceiveDataEvent =
    std::function<void(TComm* Sender, const char* Buffer, uint16_t BufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm* Sender, uint32_t EventMask)>;
using TModemStateChangeEvent = std::function<void(TComm* Sender, uint32_t ModemEvent)>;
using TNotifyEvent = std::function<void(TComm* Sender)>;
using TSendDataEmptyEvent = std::function<void(TComm* Sender)>;

// Thread contract. Every public member is for the thread that created the
// component (the main thread), and all five events run there, in the order
// in which the workers posted them, through the Qt event loop. While the
// port is open three other threads exist: one receive thread, which is the
// only reader of the descriptor, one transmit thread, which is the only
// writer, and a line watcher that only samples the driver's counters and
// modem lines. ClosePort joins the first two; the watcher, which may sit in
// a slow ioctl, posts nothing after ClosePort and is joined by the process's
// port closer, which then closes the descriptor (a close that may block on a
// held line never runs on the caller's thread). The destructor waits for
// that close. The workers never call application
// code; they hand over values: received chunks (a fresh block per chunk,
// released after OnReceiveData returns, whether or not a handler is set),
// error flags and modem events. SendData copies the caller's bytes, so the
// caller may reuse its buffer at once.
//
// A hang-up request posted by the workers of one opening is not raised once
// the port has been opened again (it would close the new port).
//
// An exception thrown by an event handler leaves through the event
// delivery, where the application's QCoreApplication::notify sees it; the
// block of the chunk is released and the component stays usable.
//
// Property setters: a value equal to the stored one does nothing; a changed
// line setting or timeout is stored and, while the port is open, all line
// settings (or all timeouts) are written to the port again. CommName,
// DeviceFolder and Parity are only stored and take effect at the next
// OpenPort (Parity also whenever the line settings are next applied).
class TComm : public QObject {
public:
    // `io` is the kernel seam, DefaultPortIo() when null; it must outlive the component.
    explicit TComm(QObject* owner = nullptr, PortIo* io = nullptr);
    // Closes the port first if the owner has not, so no worker outlives it.
    ~TComm() override;

    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // Raises ECommsError with one of the fixed messages on failure; the
    // component is then closed with everything the attempt acquired
    // released, or untouched when it was already open.
    void OpenPort();
    // Stops both workers and closes the port; nothing when closed. Data
    // already posted is still delivered afterwards.
    void ClosePort();
    // Queues a copy of the bytes; false when closed, Length is 0, Data is
    // null or the request cannot be queued. True means queued, not sent.
    bool SendData(const char* Data, uint16_t Length);

    bool PortOpen() const { return portFd_ >= 0; }
    // True when no write request is outstanding. On Linux that means every
    // byte has been handed to the kernel's tty layer, not that it has left
    // the wire: a USB adapter may still hold some (tcdrain would tell).
    bool SendQueueEmpty() const { return sendQueueEmpty_; }
    // The line settings the driver kept at the last apply (a driver may
    // refuse some: a pseudo-terminal drops parity and forces 8 data bits);
    // none while closed or when the driver would not tell, rather than a guess.
    const std::optional<TermAttributes>& AppliedLineSettings() const { return applied_; }

    // Events; an unassigned one is skipped.
    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnRequestHangup;
    TSendDataEmptyEvent OnSendDataEmpty;

    // Published properties, defaults as constructed.
    const std::string& CommName() const { return commName_; } // "COM2"
    void SetCommName(const std::string& v) { commName_ = v; }
    // Folder in which "COMn" and bare device names are looked up ("/dev").
    const std::string& DeviceFolder() const { return deviceFolder_; }
    void SetDeviceFolder(const std::string& v) { deviceFolder_ = v; }

    uint32_t BaudRate() const { return line_.baudRate; } // 9600
    void SetBaudRate(uint32_t v) { SetLine(line_.baudRate, v); }
    bool ParityCheck() const { return line_.parityCheck; } // false
    void SetParityCheck(bool v) { SetLine(line_.parityCheck, v); }
    bool Outx_CtsFlow() const { return line_.outxCtsFlow; } // false
    void SetOutx_CtsFlow(bool v) { SetLine(line_.outxCtsFlow, v); }
    bool Outx_DsrFlow() const { return line_.outxDsrFlow; } // false
    void SetOutx_DsrFlow(bool v) { SetLine(line_.outxDsrFlow, v); }
    TDtrControl DtrControl() const { return line_.dtrControl; } // DtrEnable
    void SetDtrControl(TDtrControl v);
    bool DsrSensitivity() const { return line_.dsrSensitivity; } // false
    void SetDsrSensitivity(bool v) { SetLine(line_.dsrSensitivity, v); }
    bool TxContinueOnXoff() const { return line_.txContinueOnXoff; } // true
    void SetTxContinueOnXoff(bool v) { SetLine(line_.txContinueOnXoff, v); }
    bool Outx_XonXoffFlow() const { return line_.outxXonXoffFlow; } // true
    void SetOutx_XonXoffFlow(bool v) { SetLine(line_.outxXonXoffFlow, v); }
    bool Inx_XonXoffFlow() const { return line_.inxXonXoffFlow; } // true
    void SetInx_XonXoffFlow(bool v) { SetLine(line_.inxXonXoffFlow, v); }
    bool ReplaceWhenParityError() const { return line_.replaceWhenParityError; } // false
    void SetReplaceWhenParityError(bool v) { SetLine(line_.replaceWhenParityError, v); }
    bool IgnoreNullChar() const { return line_.ignoreNullChar; } // false
    void SetIgnoreNullChar(bool v) { SetLine(line_.ignoreNullChar, v); }
    TRtsControl RtsControl() const { return line_.rtsControl; } // RtsEnable
    void SetRtsControl(TRtsControl v);
    uint16_t XonLimit() const { return line_.xonLimit; } // 500
    void SetXonLimit(uint16_t v) { SetLine(line_.xonLimit, v); }
    uint16_t XoffLimit() const { return line_.xoffLimit; } // 500
    void SetXoffLimit(uint16_t v) { SetLine(line_.xoffLimit, v); }
    TByteSize ByteSize() const { return line_.byteSize; } // _8
    void SetByteSize(TByteSize v);
    TParity Parity() const { return line_.parity; } // None
    void SetParity(TParity v);
    TStopBits StopBits() const { return line_.stopBits; } // _1
    void SetStopBits(TStopBits v);
    char XonChar() const { return line_.xonChar; } // 17
    void SetXonChar(char v) { SetLine(line_.xonChar, v); }
    char XoffChar() const { return line_.xoffChar; } // 19
    void SetXoffChar(char v) { SetLine(line_.xoffChar, v); }
    char ReplacedChar() const { return line_.replacedChar; } // 0
    void SetReplacedChar(char v) { SetLine(line_.replacedChar, v); }

    uint32_t ReadIntervalTimeout() const { return timeouts_.readIntervalTimeout; } // 100
    void SetReadIntervalTimeout(uint32_t v) { SetTimeout(timeouts_.readIntervalTimeout, v); }
    uint32_t ReadTotalTimeoutMultiplier() const { return timeouts_.readTotalTimeoutMultiplier; }
    void SetReadTotalTimeoutMultiplier(uint32_t v) {
        SetTimeout(timeouts_.readTotalTimeoutMultiplier, v);
    }
    uint32_t ReadTotalTimeoutConstant() const { return timeouts_.readTotalTimeoutConstant; }
    void SetReadTotalTimeoutConstant(uint32_t v) {
        SetTimeout(timeouts_.readTotalTimeoutConstant, v);
    }
    uint32_t WriteTotalTimeoutMultiplier() const { return timeouts_.writeTotalTimeoutMultiplier; }
    void SetWriteTotalTimeoutMultiplier(uint32_t v) {
        SetTimeout(timeouts_.writeTotalTimeoutMultiplier, v);
    }
    uint32_t WriteTotalTimeoutConstant() const { return timeouts_.writeTotalTimeoutConstant; }
    void SetWriteTotalTimeoutConstant(uint32_t v) {
        SetTimeout(timeouts_.writeTotalTimeoutConstant, v);
    }

    // Fast replies: a read ends at a line feed as well, instead of only
    // after `ReadIntervalTimeout` of silence. Off by default; takes effect at
    // once, open or not.
    bool EndReadAtLineFeed() const { return runtime_.endReadAtLineFeed; }
    void SetEndReadAtLineFeed(bool v) { runtime_.endReadAtLineFeed = v; }

private:
    template <typename T>
    void SetLine(T& field, T value) {
        if (field == value)
            return;
        field = value;
        if (PortOpen())
            ApplyLineSettings();
    }
    void SetTimeout(uint32_t& field, uint32_t value) {
        if (field == value)
            return;
        field = value;
        if (PortOpen())
            ApplyTimeouts();
    }

    void ApplyLineSettings();
    void ApplyTimeouts();
    void StopReceiveThread();
    void StopTransmitThread();
    void ReleasePort(); // closes descriptors and forgets them; workers must be gone
    void Dispatch(const CommNotification& notification);

    PortIo& io_;
    std::string commName_ = "COM2";
    std::string deviceFolder_ = "/dev";
    LineConfig line_;
    CommTimeouts timeouts_;

    int portFd_ = -1;
    int stopFd_ = -1;
    std::atomic<bool> sendQueueEmpty_{true};
    PortRuntime runtime_;
    std::optional<TermAttributes> applied_;
    std::unique_ptr<CommNotifier> notifier_;
    std::unique_ptr<WriteQueue> writeQueue_;
    std::unique_ptr<TReadThread> readThread_;
    std::unique_ptr<TWriteThread> writeThread_;
    std::shared_ptr<PostGate> postGate_;
    std::unique_ptr<TLineWatchThread> lineWatch_;
    std::string device_;   // the real device path, as a pending close knows it
    uint32_t opening_ = 0; // counts the openings, so stale hang-up requests are told apart
};

} // namespace velmora
