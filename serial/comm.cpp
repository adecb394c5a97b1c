// TComm: opening, configuring and closing the port, queuing writes, raising the events.
#include "serial/comm.h"

#include "serial/comm_notifier.h"
#include "serial/device_path.h"
#include "serial/line_watch_thread.h"
#include "serial/port_closer.h"
#include "serial/read_thread.h"
#include "serial/write_queue.h"
#include "serial/write_thread.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

// How long ClosePort waits for a worker before it warns (it then waits on).
constexpr std::chrono::milliseconds kStopBound{10000};
// Rates above this are no line's (they come from negative numbers).
constexpr uint32_t kLargestBaudRate = 0x7FFFFFFF;
// How long OpenPort waits for an earlier close of the same device.
constexpr std::chrono::milliseconds kPendingCloseWait{2000};

// Scheduling boosts, in nice steps: the receiver must never let the driver
// queue overflow, the transmitter only has to keep the line busy.
constexpr int kReceiveBoost = 2;
constexpr int kTransmitBoost = 1;

} // namespace

TComm::TComm(QObject* owner, PortIo* io)
    : QObject(owner)
    , io_(io ? *io : DefaultPortIo())
    , notifier_(std::make_unique<CommNotifier>(
          [this](const CommNotification& notification) { Dispatch(notification); })) {}

TComm::~TComm() {
    ClosePort();
    // A close still under way uses the seam and the descriptors.
    PortCloser::Instance().WaitForOwner(this);
    notifier_.reset();
}

void TComm::OpenPort() {
    if (PortOpen())
        throw ECommsError("This serial port already opened");

    const std::string path = DevicePathForPort(commName_, deviceFolder_);
    // A close of the same device may still be under way (a driver draining
    // a held line): wait for it a little, else the port is busy.
    std::error_code unresolved;
    std::string device = std::filesystem::canonical(path, unresolved).string();
    if (unresolved)
        device = path;
    if (!PortCloser::Instance().WaitForDevice(device, kPendingCloseWait))
        throw ECommsError("Error opening serial port", EBUSY);
    const int fd = io_.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw ECommsError("Error opening serial port", errno);
    auto refuse = [this, fd](const char* message, int systemError = 0) {
        (void)io_.Close(fd);
        throw ECommsError(message, systemError);
    };
    // Another program (or another component here) using the port holds the lock.
    if (io_.Lock(fd) < 0)
        refuse("Error opening serial port", errno == EWOULDBLOCK ? EBUSY : errno);
    // Keeps later opens out while we have it; files and some drivers cannot.
    if (io_.SetExclusive(fd) < 0 && errno != ENOTTY && errno != EINVAL)
        refuse("Error opening serial port", errno);
    struct stat info {};
    if (io_.Stat(fd, &info) < 0 || !S_ISCHR(info.st_mode))
        refuse("File handle is not a comm handle ");
    // A character device that is not a terminal (/dev/null) has no line to set up.
    TermAttributes probe;
    if (io_.GetAttributes(fd, &probe) < 0)
        refuse("Cannot setup comm buffer");

    portFd_ = fd;
    device_ = std::move(device);
    (void)io_.Flush(portFd_, FlushQueue::Both);
    sendQueueEmpty_ = true;
    ApplyTimeouts();
    ApplyLineSettings();

    stopFd_ = io_.CreateEvent();
    const int wakeFd = stopFd_ >= 0 ? io_.CreateEvent() : -1;
    if (wakeFd < 0) {
        ReleasePort();
        throw ECommsError("Unable to create event");
    }
    writeQueue_ = std::make_unique<WriteQueue>(io_, wakeFd, sendQueueEmpty_);

    ++opening_;
    const WorkerContext context{io_, portFd_, stopFd_, *notifier_, runtime_, opening_};
    try {
        readThread_ = std::make_unique<TReadThread>(context);
        readThread_->Start(kReceiveBoost);
    } catch (...) {
        readThread_.reset();
        ReleasePort();
        throw ECommsError("Unable to create read thread");
    }
    try {
        writeThread_ = std::make_unique<TWriteThread>(context, *writeQueue_, sendQueueEmpty_);
        writeThread_->Start(kTransmitBoost);
    } catch (...) {
        writeThread_.reset();
        StopReceiveThread();
        ReleasePort();
        throw ECommsError("Unable to create write thread");
    }
    // Line errors and modem lines are a courtesy: without the watcher the
    // port works all the same.
    try {
        postGate_ = std::make_shared<PostGate>(*notifier_);
        lineWatch_ = std::make_unique<TLineWatchThread>(context, postGate_);
        lineWatch_->Start(0);
    } catch (...) {
        lineWatch_.reset();
    }
}

void TComm::ClosePort() {
    if (!PortOpen())
        return;
    StopReceiveThread();
    StopTransmitThread();
    // The line watcher may be inside an ioctl that takes seconds on a USB
    // adapter: it posts nothing more, and is joined by the closer.
    if (postGate_)
        postGate_->Close();
    postGate_.reset();
    // Nothing the driver still holds is wanted; where the process may, the
    // driver is also told not to wait for the line at close. Then the close
    // itself, which may wait all the same, happens off this thread.
    (void)io_.Flush(portFd_, FlushQueue::Both);
    (void)io_.DropClosingWait(portFd_);
    // Other programs may open the port as soon as this returns, not only once
    // the driver has let go of it (clearing the flag never waits).
    (void)io_.ClearExclusive(portFd_);
    applied_.reset(); // a closed port has no line settings in force
    writeQueue_.reset();
    PortCloser::Job job;
    job.io = &io_;
    job.owner = this;
    job.device = device_;
    job.portFd = portFd_;
    job.stopFd = stopFd_;
    job.worker = std::move(lineWatch_);
    portFd_ = -1;
    stopFd_ = -1;
    PortCloser::Instance().Close(std::move(job));
}

bool TComm::SendData(const char* Data, uint16_t Length) {
    if (!writeQueue_ || Length == 0 || Data == nullptr)
        return false;
    try {
        auto block = std::make_unique<char[]>(size_t{Length} + 1); // zero-filled
        std::memcpy(block.get(), Data, Length);
        return writeQueue_->Push(std::move(block), Length);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void TComm::SetDtrControl(TDtrControl v) {
    if (v <= TDtrControl::DtrHandshake)
        SetLine(line_.dtrControl, v);
}

void TComm::SetRtsControl(TRtsControl v) {
    if (v <= TRtsControl::RtsTransmissionAvailable)
        SetLine(line_.rtsControl, v);
}

void TComm::SetByteSize(TByteSize v) {
    if (v <= TByteSize::_8)
        SetLine(line_.byteSize, v);
}

void TComm::SetParity(TParity v) {
    // Stored only, even while open.
    if (v <= TParity::Space)
        line_.parity = v;
}

void TComm::SetStopBits(TStopBits v) {
    if (v <= TStopBits::_2)
        SetLine(line_.stopBits, v);
}

void TComm::ApplyLineSettings() {
    TermAttributes current;
    if (io_.GetAttributes(portFd_, &current) == 0) {
        TermAttributes attributes = current;
        ComposeLineSettings(line_, attributes);
        // Speed 0 would mean "hang up", so it keeps the port's speed, as does
        // a rate beyond any line's (a negative number from the settings file
        // becomes one); a speed the driver refuses fails the whole write. Either way raw
        // mode and the data format are still applied: a cooked line would
        // echo every reply back to the meter and turn CR LF into LF LF.
        // What counts is what the driver kept, read back below.
        if (line_.baudRate == 0 || line_.baudRate > kLargestBaudRate ||
            io_.SetAttributes(portFd_, &attributes) < 0) {
            KeepLineSpeed(current, attributes);
            (void)io_.SetAttributes(portFd_, &attributes);
        }
    }

    // DTR and RTS follow their control setting; a pseudo-terminal has no
    // modem lines (ENOTTY), which is no error. DTR handshake and RTS raised
    // only while sending have no Linux equivalent: the lines are left alone.
    if (line_.dtrControl == TDtrControl::DtrEnable)
        (void)io_.SetModemBits(portFd_, TIOCM_DTR);
    else if (line_.dtrControl == TDtrControl::DtrDisable)
        (void)io_.ClearModemBits(portFd_, TIOCM_DTR);
    if (line_.rtsControl == TRtsControl::RtsEnable)
        (void)io_.SetModemBits(portFd_, TIOCM_RTS);
    else if (line_.rtsControl == TRtsControl::RtsDisable)
        (void)io_.ClearModemBits(portFd_, TIOCM_RTS);
    // RTS handshake is CRTSCTS in the record. DSR flow and sensitivity, the
    // XON/XOFF limits, continue-on-XOFF and the error character are kept as
    // properties only: the Linux serial layer has no such settings.

    TermAttributes kept;
    if (io_.GetAttributes(portFd_, &kept) == 0)
        applied_ = kept;
    else
        applied_.reset(); // what an earlier opening had says nothing of this one
    runtime_.ignoreNullChar = line_.ignoreNullChar;
}

void TComm::ApplyTimeouts() {
    runtime_.Apply(timeouts_);
}

void TComm::StopReceiveThread() {
    if (!readThread_)
        return;
    const uint64_t one = 1;
    (void)::write(stopFd_, &one, sizeof one);
    (void)io_.Flush(portFd_, FlushQueue::Input);
    readThread_->Join(kStopBound);
    readThread_.reset();
}

void TComm::StopTransmitThread() {
    if (!writeThread_)
        return;
    const uint64_t one = 1;
    (void)::write(stopFd_, &one, sizeof one);
    (void)io_.Flush(portFd_, FlushQueue::Output);
    sendQueueEmpty_ = true;
    writeThread_->Join(kStopBound);
    writeThread_.reset();
}

void TComm::ReleasePort() {
    writeQueue_.reset();
    if (stopFd_ >= 0)
        (void)io_.Close(stopFd_);
    stopFd_ = -1;
    if (portFd_ >= 0) {
        (void)io_.ClearExclusive(portFd_);
        (void)io_.Close(portFd_);
    }
    portFd_ = -1;
}

void TComm::Dispatch(const CommNotification& notification) {
    // Handlers are copied first: one may reassign itself while it runs.
    switch (notification.message) {
    case MSG_RX_DATA:
        if (auto handler = OnReceiveData)
            handler(this, notification.block.get(), static_cast<uint16_t>(notification.wParam));
        break;
    case MSG_RX_ERROR:
        if (auto handler = OnReceiveError)
            handler(this, notification.lParam);
        break;
    case MSG_HANGUP_REQUEST:
        // Asked for by a worker of an earlier opening (posted before that
        // close, delivered after a reopen): the port now open is not gone.
        if (notification.wParam != opening_)
            break;
        if (auto handler = OnRequestHangup)
            handler(this);
        break;
    case MSG_MODEM_STATE:
        if (auto handler = OnModemStateChange)
            handler(this, notification.lParam);
        break;
    case MSG_TX_EMPTY:
        if (auto handler = OnSendDataEmpty)
            handler(this);
        break;
    default:
        break;
    }
}

} // namespace velmora
