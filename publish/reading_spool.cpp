// The publishers' on-disk spool.
#include "publish/reading_spool.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr std::string_view kSegmentSuffix = ".seg";
constexpr std::string_view kCursorSuffix = ".cursor";

std::string Reason(int error) {
    return std::strerror(error);
}

// mkdir -p, each new folder private.
void MakeFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            const std::string part = path.substr(0, at);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                throw std::runtime_error("cannot make " + part + ": " + Reason(errno));
            }
        }
    }
}

std::optional<uint64_t> ParseIndex(std::string_view text) {
    uint64_t value = 0;
    const auto end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string ReadWholeFile(const std::string& path) {
    std::string content;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return content;
    }
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        content.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return content;
}

// "<index>\t<record>" lines of a segment, whole lines only.
template <typename Each>
void EachLine(const std::string& content, Each each) {
    size_t from = 0;
    for (size_t end; (end = content.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string_view line(content.data() + from, end - from);
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            continue;
        }
        if (const std::optional<uint64_t> index = ParseIndex(line.substr(0, tab))) {
            each(*index, line.substr(tab + 1));
        }
    }
}

std::string SegmentName(uint64_t first) {
    std::string digits = std::to_string(first);
    return std::string(20 - std::min<size_t>(20, digits.size()), '0') + digits +
           std::string(kSegmentSuffix);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

ReadingSpool::ReadingSpool(std::string folder, const std::vector<std::string>& consumers,
                           Limits limits)
    : folder_(std::move(folder))
    , limits_(limits) {
    MakeFolders(folder_);
    const std::string lockPath = folder_ + "/lock";
    lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) {
        throw std::runtime_error("cannot open " + lockPath + ": " + Reason(errno));
    }
    if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(lockFd_);
        lockFd_ = -1;
        throw std::runtime_error(error == EWOULDBLOCK
                                     ? "another Velmora publishes from the spool " + folder_
                                     : "cannot lock " + lockPath + ": " + Reason(error));
    }
    openSegments();
    for (const std::string& name : consumers) {
        Consumer consumer;
        const std::string path = folder_ + "/" + name + std::string(kCursorSuffix);
        const std::optional<uint64_t> saved = ParseIndex(ReadWholeFile(path).substr(0, 20));
        consumer.fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        // A consumer new to this spool starts at its end; one that has been
        // here takes what it has not taken yet.
        consumer.taken = saved ? std::min(*saved, last_) : last_;
        if (!segments_.empty()) {
            consumer.taken = std::max(consumer.taken, segments_.front().first - 1);
        }
        writeCursor(consumer);
        consumers_.emplace(name, consumer);
    }
    removeTakenSegments();
    syncThread_ = std::thread([this] { syncLoop(); });
}

ReadingSpool::~ReadingSpool() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    syncThread_.join();
    if (fd_ >= 0) {
        fdatasync(fd_);
        close(fd_);
    }
    for (auto& [name, consumer] : consumers_) {
        if (consumer.fd >= 0) {
            close(consumer.fd);
        }
    }
    if (lockFd_ >= 0) {
        close(lockFd_); // releases the lock
    }
}

void ReadingSpool::openSegments() {
    DIR* dir = opendir(folder_.c_str());
    if (!dir) {
        throw std::runtime_error("cannot read " + folder_ + ": " + Reason(errno));
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= kSegmentSuffix.size() || !name.ends_with(kSegmentSuffix)) {
            continue;
        }
        const std::optional<uint64_t> first =
            ParseIndex(name.substr(0, name.size() - kSegmentSuffix.size()));
        if (first && *first > 0) {
            segments_.push_back({*first, folder_ + "/" + std::string(name), 0});
        }
    }
    closedir(dir);
    std::sort(segments_.begin(), segments_.end(),
              [](const Segment& a, const Segment& b) { return a.first < b.first; });
    for (Segment& segment : segments_) {
        struct stat info {};
        if (stat(segment.path.c_str(), &info) == 0) {
            segment.bytes = static_cast<uint64_t>(info.st_size);
            bytes_ += segment.bytes;
        }
    }
    if (segments_.empty()) {
        return;
    }
    // The last segment tells where the spool ends; a line a crash cut short
    // is taken off, so that the next one starts on a line of its own.
    Segment& current = segments_.back();
    const std::string content = ReadWholeFile(current.path);
    last_ = current.first - 1;
    EachLine(content, [&](uint64_t index, std::string_view) { last_ = std::max(last_, index); });
    const size_t whole = content.rfind('\n') == std::string::npos ? 0 : content.rfind('\n') + 1;
    if (whole != content.size() && truncate(current.path.c_str(), static_cast<off_t>(whole)) == 0) {
        bytes_ -= current.bytes - whole;
        current.bytes = whole;
    }
    std::lock_guard lock(mutex_);
    fd_ = open(current.path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
}

void ReadingSpool::startSegment(uint64_t first) {
    Segment segment{first, folder_ + "/" + SegmentName(first), 0};
    const int fd = open(segment.path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        fdatasync(fd_); // the finished segment is durable before the next begins
        close(fd_);
    }
    fd_ = fd;
    segments_.push_back(std::move(segment));
}

uint64_t ReadingSpool::append(const std::string& record) {
    const uint64_t index = last_ + 1;
    if (segments_.empty() || segments_.back().bytes >= limits_.segmentBytes || fd_ < 0) {
        startSegment(index);
    }
    std::string line = std::to_string(index);
    line += '\t';
    line += record;
    line += '\n';
    if (fd_ >= 0 && WriteAll(fd_, line)) {
        segments_.back().bytes += line.size();
        bytes_ += line.size();
        std::lock_guard lock(mutex_);
        dirty_ = true;
    } else if (!writeFailureSaid_) {
        // The record still waits in memory; it is lost only if the program ends first.
        writeFailureSaid_ = true;
        notice("cannot write the spool in " + folder_ + ": " + Reason(errno) +
               "; readings wait in memory only");
    }
    last_ = index;
    cache_.emplace_back(index, record);
    while (cache_.size() > limits_.cachedRecords) {
        cache_.pop_front();
    }
    while (bytes_ > limits_.limitBytes && segments_.size() > 1) {
        dropOldest();
    }
    return index;
}

void ReadingSpool::dropOldest() {
    const Segment oldest = segments_.front();
    const uint64_t lastInIt = segments_[1].first - 1;
    for (auto& [name, consumer] : consumers_) {
        if (consumer.taken < lastInIt) {
            consumer.dropped += lastInIt - std::max(consumer.taken, oldest.first - 1);
            consumer.taken = lastInIt;
            writeCursor(consumer);
        }
    }
    unlink(oldest.path.c_str());
    bytes_ -= oldest.bytes;
    segments_.erase(segments_.begin());
    if (!fullSaid_) {
        fullSaid_ = true;
        notice("the spool in " + folder_ + " is full (" + std::to_string(limits_.limitBytes >> 20) +
               " MiB): its oldest readings are dropped until the servers take them");
    }
}

std::vector<std::pair<uint64_t, std::string>> ReadingSpool::after(uint64_t index, size_t most) {
    std::vector<std::pair<uint64_t, std::string>> records;
    if (index >= last_ || most == 0) {
        return records;
    }
    if (!cache_.empty() && index + 1 >= cache_.front().first) {
        for (auto it = cache_.begin() + static_cast<ptrdiff_t>(index + 1 - cache_.front().first);
             it != cache_.end() && records.size() < most; ++it) {
            records.push_back(*it);
        }
        return records;
    }
    return readFromFiles(index, most);
}

std::vector<std::pair<uint64_t, std::string>> ReadingSpool::readFromFiles(uint64_t index,
                                                                          size_t most) {
    std::vector<std::pair<uint64_t, std::string>> records;
    for (size_t s = 0; s < segments_.size() && records.size() < most; ++s) {
        const bool later = s + 1 < segments_.size();
        if (later && segments_[s + 1].first <= index + 1) {
            continue; // all of this segment is at or before `index`
        }
        for (const auto& [at, record] : segmentRecords(segments_[s])) {
            if (records.size() >= most) {
                break;
            }
            if (at > index && (records.empty() || at > records.back().first)) {
                records.emplace_back(at, record);
            }
        }
    }
    return records;
}

const std::vector<std::pair<uint64_t, std::string>>&
ReadingSpool::segmentRecords(const Segment& segment) {
    // A long back-fill takes a segment in many small pieces: each is read
    // from the disk once, not once a piece. Two are kept, one for each
    // server that may be at its own place.
    for (auto& read : readBack_) {
        if (read.first == segment.first && read.bytes == segment.bytes) {
            return read.records;
        }
    }
    if (readBack_.size() >= 2) {
        readBack_.pop_front();
    }
    ReadBack& read = readBack_.emplace_back();
    read.first = segment.first;
    read.bytes = segment.bytes;
    EachLine(ReadWholeFile(segment.path), [&](uint64_t at, std::string_view record) {
        read.records.emplace_back(at, std::string(record));
    });
    return read.records;
}

std::optional<std::string> ReadingSpool::lastRecord() {
    if (last_ == 0) {
        return std::nullopt;
    }
    if (!cache_.empty()) {
        return cache_.back().second;
    }
    std::optional<std::string> record;
    if (!segments_.empty()) {
        EachLine(ReadWholeFile(segments_.back().path),
                 [&](uint64_t, std::string_view text) { record = std::string(text); });
    }
    return record;
}

uint64_t ReadingSpool::taken(const std::string& consumer) const {
    const auto it = consumers_.find(consumer);
    return it == consumers_.end() ? last_ : it->second.taken;
}

uint64_t ReadingSpool::dropped(const std::string& consumer) const {
    const auto it = consumers_.find(consumer);
    return it == consumers_.end() ? 0 : it->second.dropped;
}

void ReadingSpool::markTaken(const std::string& name, uint64_t index) {
    const auto it = consumers_.find(name);
    if (it == consumers_.end() || index <= it->second.taken) {
        return;
    }
    it->second.taken = std::min(index, last_);
    writeCursor(it->second);
    removeTakenSegments();
}

void ReadingSpool::writeCursor(Consumer& consumer) {
    if (consumer.fd < 0) {
        return;
    }
    // Fixed width, one pwrite: the file never holds half of two numbers.
    std::string digits = std::to_string(consumer.taken);
    digits.insert(0, 20 - std::min<size_t>(20, digits.size()), '0');
    digits += '\n';
    (void)!pwrite(consumer.fd, digits.data(), digits.size(), 0);
}

void ReadingSpool::removeTakenSegments() {
    uint64_t everyone = last_;
    for (const auto& [name, consumer] : consumers_) {
        everyone = std::min(everyone, consumer.taken);
    }
    // The segment written to stays; the others go once all is taken from them.
    while (segments_.size() > 1 && segments_[1].first - 1 <= everyone) {
        unlink(segments_.front().path.c_str());
        bytes_ -= segments_.front().bytes;
        segments_.erase(segments_.begin());
    }
}

void ReadingSpool::notice(std::string text) {
    if (!notice_) {
        notice_ = std::move(text);
    }
}

std::optional<std::string> ReadingSpool::takeNotice() {
    return std::exchange(notice_, std::nullopt);
}

void ReadingSpool::syncLoop() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; });
        if (dirty_ && fd_ >= 0) {
            dirty_ = false;
            // A copy of the descriptor: the main thread may start the next
            // segment meanwhile, and need not wait for the disk.
            const int fd = dup(fd_);
            lock.unlock();
            if (fd >= 0) {
                fdatasync(fd);
                close(fd);
            }
            lock.lock();
        }
    }
}

std::string SpoolFolderFor(const std::string& meter) {
    std::string name = meter.empty() ? std::string("_") : meter;
    for (char& c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '_';
        }
    }
    if (name[0] == '.') {
        name[0] = '_';
    }
    std::string state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/') {
        state = xdg;
    } else {
        const char* home = std::getenv("HOME");
        state = std::string(home ? home : "/tmp") + "/.local/state";
    }
    return state + "/velmora/spool/" + name;
}

} // namespace velmora
