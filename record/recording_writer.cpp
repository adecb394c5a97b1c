// The recording writer and its sync thread.
#include "record/recording_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

int RecordingFileIo::Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t RecordingFileIo::Write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}
int RecordingFileIo::DataSync(int fd) {
    return ::fdatasync(fd);
}
int RecordingFileIo::Stat(int fd, struct stat* info) {
    return ::fstat(fd, info);
}
int RecordingFileIo::Truncate(int fd, off_t size) {
    return ::ftruncate(fd, size);
}
int RecordingFileIo::Close(int fd) {
    return ::close(fd);
}

RecordingFileIo& DefaultRecordingFileIo() {
    static RecordingFileIo io;
    return io;
}

namespace {

class SecondTicker final : public SyncTicker {
public:
    bool Wait() override {
        std::unique_lock lock(mutex_);
        // On a steady beat, not a second after each round: a slow sync must not
        // stretch the time between two.
        next_ = std::max(next_ + std::chrono::seconds(1), std::chrono::steady_clock::now());
        return !stopped_.wait_until(lock, next_, [this] { return stop_; });
    }
    void Stop() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        stopped_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::chrono::steady_clock::time_point next_ = std::chrono::steady_clock::now();
};

timespec WallClockNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// Whether the file of `size` bytes ends inside a row (no line feed last).
// A file that cannot be read back is taken as whole.
bool EndsInTornLine(const std::string& path, off_t size) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    char last = '\n';
    const bool read = pread(fd, &last, 1, size - 1) == 1;
    close(fd);
    return read && last != '\n';
}

// Whether the file's first line is `header` (an existing recording keeps its columns).
bool FirstLineIs(const std::string& path, std::string_view header) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    std::string first(header.size() + 2, '\0');
    const ssize_t got = pread(fd, first.data(), first.size(), 0);
    close(fd);
    if (got < static_cast<ssize_t>(header.size()) + 1) {
        return false;
    }
    first.resize(static_cast<size_t>(got));
    const std::string_view line(first);
    return line.starts_with(header) &&
           (line[header.size()] == '\n' || line.substr(header.size()).starts_with("\r\n"));
}

std::string Reason(int error) {
    return std::strerror(error);
}

} // namespace

std::unique_ptr<SyncTicker> MakeSecondTicker() {
    return std::make_unique<SecondTicker>();
}

RecordingWriter::RecordingWriter(RecordingFileIo& io,
                                 std::function<std::unique_ptr<SyncTicker>()> makeTicker)
    : wallClock(WallClockNow)
    , monotonicClock([] { return std::chrono::steady_clock::now(); })
    , io_(io)
    , makeTicker_(std::move(makeTicker)) {}

RecordingWriter::~RecordingWriter() {
    Stop();
    EndSyncThread();
}

void RecordingWriter::Start(const std::string& path, bool mathColumns) {
    Stop();
    EndSyncThread();
    // Not blocking: a FIFO nobody reads is refused (ENXIO) instead of
    // holding the program at its start.
    const int fd =
        io_.Open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), path);
    }
    struct stat info {};
    if (io_.Stat(fd, &info) != 0) {
        const int error = errno != 0 ? errno : EIO; // the system's reason when it could not look
        io_.Close(fd);
        throw std::system_error(error, std::generic_category(), path);
    }
    // Anything that takes bytes will do (a FIFO with a reader, /dev/null, a
    // pipe behind /dev/stdout); only a regular file is synced, looked at for
    // a torn last row, or cut back after a failed write.
    regular_ = S_ISREG(info.st_mode);
    if (!regular_) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) {
            (void)fcntl(fd, F_SETFL, flags & ~O_NONBLOCK); // a full pipe waits for its reader
        }
        info.st_size = 0;
    }
    path_ = path;
    fd_ = fd;
    sequence_ = 0;
    readings_ = 0;
    started_ = monotonicClock();
    {
        std::lock_guard lock(mutex_);
        failure_.reset();
        failureTaken_ = false;
        dirty_ = false;
    }
    size_ = info.st_size;
    if (info.st_size > 0 && EndsInTornLine(path, info.st_size)) {
        // A power cut left half a row: the new rows start on a line of their own,
        // so a reader that drops the torn line keeps everything after it.
        if (io_.Write(fd_, "\n", 1) == 1) {
            ++size_;
        }
    }
    mathColumns_ = info.st_size == 0 ? mathColumns : FirstLineIs(path, kRecordingMathHeader);
    if (info.st_size == 0) {
        const std::string header =
            std::string(mathColumns_ ? kRecordingMathHeader : kRecordingHeader) + "\n";
        if (io_.Write(fd_, header.data(), header.size()) != static_cast<ssize_t>(header.size())) {
            const int error = errno;
            io_.Close(fd_);
            fd_ = -1;
            throw std::system_error(error ? error : ENOSPC, std::generic_category(), path);
        }
        size_ = static_cast<off_t>(header.size());
    }
    if (regular_) {
        ticker_ = makeTicker_();
        syncThread_ = std::thread(&RecordingWriter::SyncLoop, this);
    }
    AddEvent("recording started");
}

bool RecordingWriter::AddReading(long double value, const std::string& unit,
                                 const RecordingMath* math, std::optional<timespec> arrivedAt) {
    RecordingRow row;
    row.value = value;
    row.unit = unit;
    if (math) {
        row.math = *math;
    }
    if (!Write(std::move(row), arrivedAt)) {
        return false;
    }
    ++readings_;
    return true;
}

bool RecordingWriter::AddBurstReading(long double value, const std::string& unit,
                                      double secondsEarlier, const RecordingMath* math,
                                      std::optional<timespec> arrivedAt) {
    RecordingRow row;
    row.value = value;
    row.unit = unit;
    if (math) {
        row.math = *math;
    }
    row.spreadBack = secondsEarlier > 0 ? secondsEarlier : 0;
    if (!Write(std::move(row), arrivedAt)) {
        return false;
    }
    ++readings_;
    return true;
}

bool RecordingWriter::AddEvent(const std::string& event) {
    RecordingRow row;
    row.event = event;
    return Write(std::move(row));
}

bool RecordingWriter::Write(RecordingRow row, std::optional<timespec> at) {
    if (fd_ < 0) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (failure_) {
            return false; // the sync thread found the file gone
        }
    }
    row.sequence = sequence_ + 1;
    row.mathColumns = mathColumns_;
    row.wallClock = at ? *at : wallClock();
    row.seconds = std::chrono::duration<double>(monotonicClock() - started_).count();
    ApplySpreadBack(row);
    const std::string line = FormatRecordingRow(row);
    // One write a row: the kernel has it whole, or (disk full) the recording
    // ends. A row cut short at the limit is written on once, to learn why,
    // and then taken back, so that the file ends with a whole row.
    ssize_t written = io_.Write(fd_, line.data(), line.size());
    if (written >= 0 && written < static_cast<ssize_t>(line.size())) {
        const ssize_t more = io_.Write(fd_, line.data() + written, line.size() - written);
        written = more < 0 ? -1 : written + more;
    }
    if (written != static_cast<ssize_t>(line.size())) {
        Fail(written < 0 ? Reason(errno) : Reason(ENOSPC));
        if (regular_) {
            (void)io_.Truncate(fd_, size_);
        }
        return false;
    }
    size_ += static_cast<off_t>(line.size());
    sequence_ = row.sequence;
    std::lock_guard lock(mutex_);
    dirty_ = true;
    return true;
}

void RecordingWriter::Fail(const std::string& why) {
    std::lock_guard lock(mutex_);
    if (!failure_) {
        failure_ = why;
    }
}

std::optional<std::string> RecordingWriter::TakeFailure() {
    std::optional<std::string> failure;
    {
        std::lock_guard lock(mutex_);
        if (!failure_ || failureTaken_) {
            return std::nullopt;
        }
        failureTaken_ = true;
        failure = failure_;
    }
    CloseFailedFile();
    return failure;
}

void RecordingWriter::CloseFailedFile() {
    // Nothing more goes to a file that failed: closed without the last row.
    if (fd_ < 0) {
        return;
    }
    EndSyncThread();
    io_.Close(fd_);
    fd_ = -1;
}

void RecordingWriter::Stop() {
    if (fd_ < 0) {
        return;
    }
    bool failed;
    {
        std::lock_guard lock(mutex_);
        failed = failure_.has_value();
    }
    if (failed) {
        CloseFailedFile(); // the reason stays for TakeFailure()
        return;
    }
    AddEvent("recording stopped");
    EndSyncThread();
    if (regular_ && io_.DataSync(fd_) != 0) {
        Fail(Reason(errno));
    }
    io_.Close(fd_);
    fd_ = -1;
}

void RecordingWriter::EndSyncThread() {
    if (ticker_) {
        ticker_->Stop();
    }
    if (syncThread_.joinable()) {
        syncThread_.join();
    }
    ticker_.reset();
}

void RecordingWriter::SyncLoop() {
    struct RoundEnd {
        SyncTicker& ticker;
        ~RoundEnd() { ticker.RoundDone(); }
    };
    while (ticker_->Wait()) {
        const RoundEnd roundEnd{*ticker_};
        int fd;
        {
            std::lock_guard lock(mutex_);
            if (failure_) {
                return;
            }
            fd = fd_;
        }
        struct stat info {};
        if (io_.Stat(fd, &info) == 0 && info.st_nlink == 0) {
            Fail("the file was deleted or its folder removed");
            return;
        }
        bool due;
        {
            std::lock_guard lock(mutex_);
            due = dirty_;
            dirty_ = false;
        }
        if (due && io_.DataSync(fd) != 0) {
            Fail(Reason(errno));
            return;
        }
    }
}

} // namespace velmora
