// The publishers' on-disk spool: every item waits here until each server has taken it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora {

// One folder per meter, holding segment files of numbered lines
// ("<index>\t<record>\n", the index counting on across runs) and, per
// consumer (a server), a cursor file with the last index it has taken.
// Each line goes to the kernel with one write() as it is appended, so a
// killed program loses nothing appended; a thread of the spool's own
// makes the data durable with fdatasync once a second, as the recording
// does. A lock file keeps a second process with the same meter out.
//
// Bounded: past `limitBytes` the oldest segment is dropped; what it held
// that a consumer had not taken is counted as dropped for that consumer,
// and said once (takeNotice). Reading back takes recent lines from memory
// and older ones from the files. Main thread only, but for the sync thread.
class ReadingSpool {
public:
    struct Limits {
        uint64_t limitBytes = 256ull << 20; // 256 MiB: about a day at 10 readings/s
        uint64_t segmentBytes = 4ull << 20;
        size_t cachedRecords = 20000;
    };

    // Opens (or makes, mode 0700) `folder` and takes its lock; throws
    // std::runtime_error saying why when it cannot (another process has it).
    // A consumer without a cursor starts at the spool's end: it is new.
    ReadingSpool(std::string folder, const std::vector<std::string>& consumers, Limits limits);
    ReadingSpool(std::string folder, const std::vector<std::string>& consumers)
        : ReadingSpool(std::move(folder), consumers, Limits{}) {}
    ~ReadingSpool();
    ReadingSpool(const ReadingSpool&) = delete;
    ReadingSpool& operator=(const ReadingSpool&) = delete;

    // The record's index (the last one plus one).
    uint64_t append(const std::string& record);
    // Up to `most` records with an index above `index`, in order.
    std::vector<std::pair<uint64_t, std::string>> after(uint64_t index, size_t most);
    // The last record's text, from an earlier run too (nothing when empty).
    std::optional<std::string> lastRecord();

    uint64_t last() const { return last_; }
    uint64_t taken(const std::string& consumer) const;
    // Everything up to `index` is the consumer's; segments all consumers
    // have taken are removed.
    void markTaken(const std::string& consumer, uint64_t index);
    uint64_t waiting(const std::string& consumer) const { return last_ - taken(consumer); }
    uint64_t dropped(const std::string& consumer) const;
    // Once per trouble (full, a write refused): what to tell the user.
    std::optional<std::string> takeNotice();
    const std::string& folder() const { return folder_; }
    uint64_t bytes() const { return bytes_; }

private:
    struct Segment {
        uint64_t first = 0;
        std::string path;
        uint64_t bytes = 0;
    };
    struct Consumer {
        uint64_t taken = 0;
        uint64_t dropped = 0;
        int fd = -1;
    };
    void openSegments();
    void startSegment(uint64_t first);
    void dropOldest();
    void removeTakenSegments();
    void writeCursor(Consumer& consumer);
    std::vector<std::pair<uint64_t, std::string>> readFromFiles(uint64_t index, size_t most);
    const std::vector<std::pair<uint64_t, std::string>>& segmentRecords(const Segment& segment);
    void notice(std::string text);
    void syncLoop();

    std::string folder_;
    Limits limits_;
    int lockFd_ = -1;
    std::vector<Segment> segments_; // oldest first; the last is written to
    uint64_t last_ = 0;
    uint64_t bytes_ = 0;
    std::map<std::string, Consumer> consumers_;
    std::deque<std::pair<uint64_t, std::string>> cache_; // the most recent records
    struct ReadBack {
        uint64_t first = 0;
        uint64_t bytes = 0; // the segment's size when read: it may have grown since
        std::vector<std::pair<uint64_t, std::string>> records;
    };
    std::deque<ReadBack> readBack_; // segments read from the disk, for a back-fill
    bool fullSaid_ = false;
    bool writeFailureSaid_ = false;
    std::optional<std::string> notice_;

    // Shared with the sync thread.
    std::mutex mutex_;
    std::condition_variable wake_;
    int fd_ = -1; // the segment written to
    bool dirty_ = false;
    bool stop_ = false;
    std::thread syncThread_;
};

// $XDG_STATE_HOME/velmora/spool/<meter> ($HOME/.local/state when unset);
// the meter's name made a safe file name ('/' and control characters as
// '_', no leading '.').
std::string SpoolFolderFor(const std::string& meter);

} // namespace velmora
