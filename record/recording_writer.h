// The recording writer: every reading and event on disk as it arrives, synced once a second.
#pragma once

#include "record/recording_format.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <thread>

namespace velmora {

// The file calls the writer makes, so tests can count syncs and inject a
// full disk; each returns what the system call returns (-1 and errno).
class RecordingFileIo {
public:
    virtual ~RecordingFileIo() = default;
    virtual int Open(const char* path, int flags, mode_t mode);
    virtual ssize_t Write(int fd, const void* data, size_t size);
    virtual int DataSync(int fd); // fdatasync
    virtual int Stat(int fd, struct stat* info);
    virtual int Truncate(int fd, off_t size); // ftruncate
    virtual int Close(int fd);
};
RecordingFileIo& DefaultRecordingFileIo();

// What paces the syncs: Wait() returns true after each period, false once
// Stop() has been called. The real one waits a second; tests step it.
class SyncTicker {
public:
    virtual ~SyncTicker() = default;
    virtual bool Wait() = 0;
    virtual void Stop() = 0;
    // Called after each round's work, whether or not another follows.
    virtual void RoundDone() {}
};
std::unique_ptr<SyncTicker> MakeSecondTicker();

// Durability: each row is handed to the kernel with one write() as it comes
// (nothing is held back in the process), so a killed program loses nothing
// it has written; a thread of the writer's own makes the data durable with
// fdatasync at each tick (once a second) when rows came since the last, and
// at Stop(), so a power cut loses at most about a second, and at most one
// torn last line. At each tick it also checks that the file still has a
// name (writes to a deleted file go on succeeding, so that is the only way
// to notice). An existing file is appended to, never truncated: a new file
// gets the header first.
//
// A failure (the disk full, the file deleted or its folder gone, a write or
// sync refused) ends the recording: Failure() then says why, once, and
// nothing more is written. Main-thread use: Start, Add*, Stop; the sync
// thread only syncs and checks.
class RecordingWriter {
public:
    using WallClock = std::function<timespec()>;
    using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;

    explicit RecordingWriter(
        RecordingFileIo& io = DefaultRecordingFileIo(),
        std::function<std::unique_ptr<SyncTicker>()> makeTicker = MakeSecondTicker);
    ~RecordingWriter(); // stops

    // Opens `path` (made with mode 0666 less the umask, or appended to) and
    // writes the "recording started" row. Throws std::system_error with the
    // system's reason when the file cannot be had.
    // With `mathColumns` a new file gets the math columns; an existing file
    // keeps the columns of its header.
    void Start(const std::string& path, bool mathColumns = false);
    // One reading, or an event; false when not recording (or the recording
    // just failed: see Failure()). `math` goes into the math columns, where
    // the file has them.
    // `arrivedAt`: when the reading came (the row's time; now when not given),
    // so that the file and the publishers give it the same time.
    bool AddReading(long double value, const std::string& unit, const RecordingMath* math = nullptr,
                    std::optional<timespec> arrivedAt = std::nullopt);
    // A reading of a burst, taken `secondsEarlier` before now (status "burst").
    bool AddBurstReading(long double value, const std::string& unit, double secondsEarlier,
                         const RecordingMath* math = nullptr,
                         std::optional<timespec> arrivedAt = std::nullopt);
    // The file has the math columns.
    bool MathColumns() const { return mathColumns_; }
    bool AddEvent(const std::string& event);
    // Writes "recording stopped", syncs and closes; nothing when not recording.
    // A failure found before or by the last sync is kept for TakeFailure().
    void Stop();

    bool Recording() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    uint64_t Readings() const { return readings_; }
    uint64_t Rows() const { return sequence_; }
    // Why the recording failed (by itself, or at Stop()), once: the next call
    // returns nothing. Asked on the main thread; the writer is then stopped.
    std::optional<std::string> TakeFailure();

    // Seams for tests: the clocks behind the time and seconds columns.
    WallClock wallClock;
    MonotonicClock monotonicClock;

private:
    bool Write(RecordingRow row, std::optional<timespec> at = std::nullopt);
    void Fail(const std::string& why);
    void SyncLoop();
    void EndSyncThread();
    void CloseFailedFile();

    RecordingFileIo& io_;
    std::function<std::unique_ptr<SyncTicker>()> makeTicker_;
    std::string path_;
    int fd_ = -1;
    bool regular_ = true; // a file on a disk, synced; otherwise a pipe or a device
    bool mathColumns_ = false;
    uint64_t sequence_ = 0;
    uint64_t readings_ = 0;
    off_t size_ = 0; // of the file after the last whole row
    std::chrono::steady_clock::time_point started_;

    // Shared with the sync thread.
    std::mutex mutex_;
    bool dirty_ = false;
    std::optional<std::string> failure_;
    bool failureTaken_ = false;
    std::unique_ptr<SyncTicker> ticker_;
    std::thread syncThread_;
};

} // namespace velmora
