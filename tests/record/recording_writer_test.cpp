// The recording writer: the file's bytes, appending, the sync cadence, and the faults that end it.
#include "record/recording_writer.h"
#include "record/run_reader.h"

#include "tests/settings/temp_folder.h"
#include "tests/support/file_faults.h"
#include "tests/support/time_zone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::FileSizeLimit;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// A ticker the test steps: Tick() lets the sync thread run one round and
// returns once that round's work is done.
class SteppedTicker final : public SyncTicker {
public:
    bool Wait() override {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stopped_ || pending_ > 0; });
        if (stopped_) {
            return false;
        }
        --pending_;
        return true;
    }
    void Stop() override {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    void RoundDone() override {
        std::lock_guard lock(mutex_);
        ++done_;
        changed_.notify_all();
    }
    void Tick() {
        std::unique_lock lock(mutex_);
        const int target = done_ + pending_ + 1;
        ++pending_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return done_ >= target || stopped_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int pending_ = 0;
    int done_ = 0;
    bool stopped_ = false;
};

// The real calls, with the syncs counted, the files opened and closed kept,
// and a look at the file that can be made to fail.
class CountingIo : public RecordingFileIo {
public:
    int Open(const char* path, int flags, mode_t mode) override {
        const int fd = RecordingFileIo::Open(path, flags, mode);
        opened.push_back(fd);
        return fd;
    }
    int Close(int fd) override {
        closed.push_back(fd);
        return RecordingFileIo::Close(fd);
    }
    int Stat(int fd, struct stat* info) override {
        if (statError != 0) {
            errno = statError;
            return -1;
        }
        return RecordingFileIo::Stat(fd, info);
    }
    int DataSync(int fd) override {
        ++syncs;
        if (syncError != 0) {
            errno = syncError;
            return -1;
        }
        return RecordingFileIo::DataSync(fd);
    }
    std::atomic<int> syncs{0};
    std::vector<int> opened, closed; // main thread only
    int statError = 0;
    std::atomic<int> syncError{0};
};

class Recording : public ::testing::Test {
protected:
    Recording()
        : writer(io, [this] {
            auto made = std::make_unique<SteppedTicker>();
            ticker = made.get();
            return made;
        }) {
        // Fixed clocks: 2026-12-09 09:15:00.123 UTC at the start; step() moves
        // both on by 0.1 s.
        writer.wallClock = [this] {
            const long ms = 123 + 100 * tick_;
            return timespec{1796807700 + ms / 1000, (ms % 1000) * 1000000};
        };
        writer.monotonicClock = [this] {
            return std::chrono::steady_clock::time_point(std::chrono::milliseconds(100 * tick_));
        };
    }
    void step() { ++tick_; }
    std::string path() const { return folder / "run.csv"; }

    // The programs run in the user's locale; rows must keep "." decimals in it.
    struct CommaDecimals {
        CommaDecimals() { std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); }
        ~CommaDecimals() { std::setlocale(LC_NUMERIC, saved.c_str()); }
        const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    } commaDecimals;
    test::ScopedTimeZone zone{"CET-1"};
    TempFolder folder;
    CountingIo io;
    SteppedTicker* ticker = nullptr;
    RecordingWriter writer;
    long tick_ = 0;
};

TEST_F(Recording, NewFileHoldsTheHeaderAndOneRowPerReadingAndEvent) {
    writer.Start(path());
    step();
    EXPECT_TRUE(writer.AddReading(1160.4076L, "OHM"));
    step();
    EXPECT_TRUE(writer.AddReading(9.9e37L, "OHM"));
    step();
    EXPECT_TRUE(writer.AddReading(-9.9e37L, "OHM"));
    step();
    EXPECT_TRUE(writer.AddEvent("function V DC"));
    step();
    EXPECT_TRUE(writer.AddReading(-0.0012345L, "V DC"));
    step();
    // A burst's reading taken 0.8 s before it is written: 10:15:00.723 less 0.8 s is in the
    // second before, and before the recording began (its seconds stay at 0).
    EXPECT_TRUE(writer.AddBurstReading(1.5L, "V DC", 0.8));
    EXPECT_TRUE(writer.AddBurstReading(9.9e37L, "V DC", 0.0));
    EXPECT_EQ(writer.Readings(), 6u);
    step();
    writer.Stop();
    EXPECT_FALSE(writer.AddReading(1, "V DC")) << "stopped";
    EXPECT_EQ(ReadBytes(path()), "sequence,time,seconds,value,unit,status,event\n"
                                 "1,2026-12-09T10:15:00.123+01:00,0.000,,,,recording started\n"
                                 "2,2026-12-09T10:15:00.223+01:00,0.100,1160.4076,OHM,ok,\n"
                                 "3,2026-12-09T10:15:00.323+01:00,0.200,,OHM,overload,\n"
                                 "4,2026-12-09T10:15:00.423+01:00,0.300,,OHM,overload,\n"
                                 "5,2026-12-09T10:15:00.523+01:00,0.400,,,,function V DC\n"
                                 "6,2026-12-09T10:15:00.623+01:00,0.500,-0.0012345,V DC,ok,\n"
                                 "7,2026-12-09T10:14:59.923+01:00,0.000,1.5,V DC,burst,\n"
                                 "8,2026-12-09T10:15:00.723+01:00,0.600,,V DC,overload,\n"
                                 "9,2026-12-09T10:15:00.823+01:00,0.700,,,,recording stopped\n");
}

TEST_F(Recording, AnExistingFileIsAppendedToNeverTruncated) {
    const std::string header = "sequence,time,seconds,value,unit,status,event\n";
    const struct {
        const char* name;
        std::string before; // the file as an earlier run left it
        std::string kept;   // what the new rows follow
    } rows[] = {
        {"whole", header + "earlier rows\n", header + "earlier rows\n"},
        // A power cut tore the last row: the new rows start on a line of their own.
        {"torn", header + "earlier row, cut sh", header + "earlier row, cut sh\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(path(), row.before);
        writer.Start(path());
        writer.AddReading(1, "V DC");
        writer.Stop();
        const std::string bytes = ReadBytes(path()).value_or("");
        EXPECT_EQ(bytes.rfind(row.kept + "1,", 0), 0u) << bytes;
        EXPECT_EQ(bytes.find("sequence", 10), std::string::npos) << "a second header";
    }
}

TEST_F(Recording, MathColumnsAreANewFilesAndAnExistingFileKeepsTheColumnsItHas) {
    const std::string seven = "sequence,time,seconds,value,unit,status,event\n";
    const std::string ten = "sequence,time,seconds,value,unit,status,event,math,math_unit,limit\n";
    const RecordingMath hot{99.5, "\u00B0C", "pass"};
    const RecordingMath overload{std::nullopt, "\u00B0C", ""};
    const struct {
        const char* name;
        std::string before;
        bool math;
        std::string reading; // the rows of the three readings, without their first fields
    } rows[] = {
        {"new with math", "", true, ",0.0041,V DC,ok,,99.5,\u00B0C,pass\n"},
        {"new without", "", false, ",0.0041,V DC,ok,\n"},
        {"seven columns stay seven", seven + "1,x\n", true, ",0.0041,V DC,ok,\n"},
        {"ten columns stay ten", ten + "1,x\n", false, ",0.0041,V DC,ok,,99.5,\u00B0C,pass\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(path());
        if (!row.before.empty()) {
            WriteBytes(path(), row.before);
        }
        writer.Start(path(), row.math);
        const bool ten_columns = row.reading.find("pass") != std::string::npos;
        EXPECT_EQ(writer.MathColumns(), ten_columns);
        writer.AddReading(0.0041L, "V DC", &hot);
        writer.AddReading(9.9e37L, "V DC", &overload);
        writer.AddBurstReading(0.0042L, "V DC", 0, nullptr);
        writer.Stop();
        const std::string bytes = ReadBytes(path()).value_or("");
        EXPECT_NE(bytes.find(row.reading), std::string::npos) << bytes;
        EXPECT_NE(bytes.find(ten_columns ? ",,V DC,overload,,,\u00B0C,\n" : ",,V DC,overload,\n"),
                  std::string::npos)
            << bytes;
        EXPECT_NE(
            bytes.find(ten_columns ? ",,,,recording stopped,,,\n" : ",,,,recording stopped\n"),
            std::string::npos)
            << bytes;
        if (row.before.empty()) {
            const std::optional<SavedRun> run = ReadRun(bytes);
            ASSERT_TRUE(run) << "read back";
            EXPECT_FALSE(run->stoppedAt) << *run->stoppedAt;
            EXPECT_EQ(run->readings, 3u);
            ASSERT_GE(run->rows.size(), 3u);
            EXPECT_EQ(run->rows[1].math, ten_columns ? std::optional<double>(99.5) : std::nullopt);
            EXPECT_EQ(run->rows[1].limit, ten_columns ? "pass" : "");
        }
    }
}

TEST_F(Recording, SyncedAtEachTickWithNewRowsAndAtStop) {
    writer.Start(path());
    ticker->Tick(); // the start row came since the last sync
    EXPECT_EQ(io.syncs, 1);
    ticker->Tick(); // nothing new
    EXPECT_EQ(io.syncs, 1);
    for (int i = 0; i < 5; ++i) {
        writer.AddReading(i, "V DC");
    }
    ticker->Tick();
    EXPECT_EQ(io.syncs, 2) << "one sync for the rows of a second, not one a row";
    writer.AddReading(5, "V DC");
    writer.Stop();
    EXPECT_EQ(io.syncs, 3) << "stopping syncs what came last";
}

TEST_F(Recording, EachRowIsHandedToTheKernelAtOnce) {
    writer.Start(path());
    for (int i = 1; i <= 3; ++i) {
        writer.AddReading(i, "A DC");
        // Read back through the file system while recording: nothing held back.
        const std::string bytes = ReadBytes(path()).value_or("");
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), i + 2) << bytes;
    }
}

struct FaultRow {
    const char* name;
    void (*make)(const std::string& folder, const std::string& file);
    const char* reason;
};

const FaultRow kFaults[] = {
    {"file_deleted", [](const std::string&, const std::string& file) { fs::remove(file); },
     "the file was deleted or its folder removed"},
    {"folder_removed",
     [](const std::string& folder, const std::string&) { fs::remove_all(folder); },
     "the file was deleted or its folder removed"},
};

class RecordingFault : public Recording, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(RecordingFault, EndsTheRecordingAndIsToldOnce) {
    const std::string sub = folder / "sub";
    fs::create_directory(sub);
    writer.Start(sub + "/run.csv");
    writer.AddReading(1, "OHM");
    GetParam().make(sub, sub + "/run.csv");
    EXPECT_TRUE(writer.AddReading(2, "OHM")) << "writes to a deleted file go on succeeding";
    ticker->Tick();
    EXPECT_FALSE(writer.AddReading(3, "OHM"));
    EXPECT_EQ(writer.TakeFailure(), std::optional<std::string>(GetParam().reason));
    EXPECT_EQ(writer.TakeFailure(), std::nullopt) << "told once";
    EXPECT_FALSE(writer.Recording());
    writer.Stop(); // nothing left to do
}

INSTANTIATE_TEST_SUITE_P(Faults, RecordingFault, ::testing::ValuesIn(kFaults),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Recording, AFailureFoundBeforeOrAtStopIsStillTold) {
    // Found by the sync thread, and the user stops before anyone asked.
    const std::string sub = folder / "sub";
    fs::create_directory(sub);
    writer.Start(sub + "/run.csv");
    fs::remove_all(sub);
    ticker->Tick();
    writer.Stop();
    EXPECT_EQ(writer.TakeFailure(),
              std::optional<std::string>("the file was deleted or its folder removed"));
    // The last sync refused.
    writer.Start(path());
    writer.AddReading(1, "V DC");
    io.syncError = EIO;
    writer.Stop();
    EXPECT_FALSE(writer.Recording());
    EXPECT_EQ(writer.TakeFailure(), std::optional<std::string>(std::strerror(EIO)));
    EXPECT_EQ(writer.TakeFailure(), std::nullopt) << "told once";
}

TEST_F(Recording, FullDiskEndsTheRecordingWithTheSystemsReason) {
    writer.Start(path());
    {
        // Writes beyond the limit fail with EFBIG, for root too, as on a full disk.
        FileSizeLimit limit(static_cast<rlim_t>(fs::file_size(path()) + 100));
        int written = 0;
        while (writer.AddReading(1.5L, "V AC") && written < 100) {
            ++written;
        }
        EXPECT_LT(written, 100) << "the limit never bit";
        // Every reading said to be written is in the file, and no other.
        const std::string bytes = ReadBytes(path()).value_or("");
        size_t rows = 0;
        for (size_t at = bytes.find(",V AC,ok,"); at != std::string::npos;
             at = bytes.find(",V AC,ok,", at + 1)) {
            ++rows;
        }
        EXPECT_EQ(rows, static_cast<size_t>(written));
    }
    const std::optional<std::string> failure = writer.TakeFailure();
    EXPECT_EQ(failure, std::optional<std::string>(std::strerror(EFBIG)));
    ASSERT_EQ(io.opened.size(), 1u);
    EXPECT_NE(std::find(io.closed.begin(), io.closed.end(), io.opened[0]), io.closed.end())
        << "the failed file is closed, not left open";
    // What was written before is whole rows only.
    const std::string bytes = ReadBytes(path()).value_or("");
    EXPECT_EQ(bytes.back(), '\n');
}

TEST_F(Recording, AFileThatCannotBeMadeIsRefusedWithTheReason) {
    try {
        writer.Start(folder / "missing/run.csv");
        ADD_FAILURE() << "started";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ENOENT);
    }
    EXPECT_FALSE(writer.Recording());
    try {
        writer.Start(folder.path()); // a folder
        ADD_FAILURE() << "started";
    } catch (const std::system_error& error) {
        EXPECT_NE(error.code().value(), 0);
    }
    const struct {
        const char* name;
        std::string path;
        int statError; // the look at the opened file fails with this
        int reason;
    } rows[] = {
        {"a FIFO nobody reads", folder / "unread.fifo", 0, ENXIO},
        {"the look refused", folder / "look.csv", EIO, EIO},
    };
    ASSERT_EQ(::mkfifo((folder / "unread.fifo").c_str(), 0600), 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        io.statError = row.statError;
        try {
            writer.Start(row.path);
            ADD_FAILURE() << "started";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code().value(), row.reason);
        }
        EXPECT_FALSE(writer.Recording());
    }
    io.statError = 0;
}

TEST_F(Recording, WhatIsNoRegularFileButTakesBytesIsWrittenAndNotSynced) {
    // A FIFO with a reader gets every row; /dev/null takes them.
    const std::string fifo = folder / "rows.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int syncsBefore = io.syncs;
    writer.Start(fifo);
    EXPECT_TRUE(writer.AddReading(1.5L, "V DC"));
    writer.Stop();
    EXPECT_EQ(io.syncs, syncsBefore);
    EXPECT_FALSE(writer.TakeFailure()) << "a FIFO cannot be synced, and need not be";
    std::string text(4096, '\0');
    const ssize_t n = ::read(reader, text.data(), text.size());
    ::close(reader);
    ASSERT_GT(n, 0);
    text.resize(static_cast<size_t>(n));
    EXPECT_TRUE(text.starts_with(std::string(kRecordingHeader) + "\n")) << text;
    EXPECT_NE(text.find(",1.5,V DC,ok,"), std::string::npos) << text;
    EXPECT_NE(text.find(",recording stopped"), std::string::npos) << text;

    writer.Start("/dev/null");
    EXPECT_TRUE(writer.AddReading(2.5L, "V DC"));
    writer.Stop();
    EXPECT_FALSE(writer.TakeFailure());
}

} // namespace
} // namespace velmora
