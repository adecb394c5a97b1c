// The spool: order and numbering across runs, each consumer's cursor, a torn last line, the
// lock, the bound, and nothing lost to a SIGKILL.
#include "publish/reading_spool.h"

#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

using test::TempFolder;

std::vector<std::string> Texts(const std::vector<std::pair<uint64_t, std::string>>& records) {
    std::vector<std::string> texts;
    for (const auto& [index, text] : records) {
        texts.push_back(std::to_string(index) + ":" + text);
    }
    return texts;
}

size_t Segments(const std::string& folder) {
    size_t count = 0;
    DIR* dir = opendir(folder.c_str());
    while (const dirent* entry = readdir(dir)) {
        count += std::string_view(entry->d_name).ends_with(".seg");
    }
    closedir(dir);
    return count;
}

TEST(ReadingSpoolTest, OrderCursorsAndNumberingLastAcrossRuns) {
    TempFolder folder;
    const std::string path = folder / "spool/bench";
    {
        ReadingSpool spool(path, {"mqtt", "influx"});
        EXPECT_EQ(spool.append("a"), 1u);
        EXPECT_EQ(spool.append("b"), 2u);
        EXPECT_EQ(spool.append("c"), 3u);
        EXPECT_EQ(Texts(spool.after(0, 10)), (std::vector<std::string>{"1:a", "2:b", "3:c"}));
        EXPECT_EQ(Texts(spool.after(1, 1)), (std::vector<std::string>{"2:b"}));
        EXPECT_TRUE(spool.after(3, 10).empty());
        spool.markTaken("mqtt", 2);
        EXPECT_EQ(spool.waiting("mqtt"), 1u);
        EXPECT_EQ(spool.waiting("influx"), 3u);
        spool.markTaken("mqtt", 1); // never back
        EXPECT_EQ(spool.taken("mqtt"), 2u);
    }
    // The next run: the cursors as they were, the numbers going on, and a
    // consumer new to the spool starting at its end.
    ReadingSpool spool(path, {"mqtt", "influx", "other"});
    EXPECT_EQ(spool.taken("mqtt"), 2u);
    EXPECT_EQ(spool.taken("influx"), 0u);
    EXPECT_EQ(spool.taken("other"), 3u);
    EXPECT_EQ(spool.lastRecord(), "c");
    EXPECT_EQ(Texts(spool.after(0, 10)), (std::vector<std::string>{"1:a", "2:b", "3:c"}));
    EXPECT_EQ(spool.append("d"), 4u);
}

TEST(ReadingSpoolTest, ALineACrashCutShortIsTakenOff) {
    TempFolder folder;
    const std::string path = folder / "spool";
    {
        ReadingSpool spool(path, {"mqtt"});
        spool.append("whole");
    }
    const std::string segment = path + "/00000000000000000001.seg";
    ASSERT_EQ(test::ReadBytes(segment), "1\twhole\n");
    test::WriteBytes(segment, "1\twhole\n2\tcut sh");
    ReadingSpool spool(path, {"mqtt"});
    EXPECT_EQ(spool.last(), 1u);
    EXPECT_EQ(spool.append("next"), 2u);
    EXPECT_EQ(test::ReadBytes(segment), "1\twhole\n2\tnext\n");
}

TEST(ReadingSpoolTest, ASecondProcessWithTheSameMeterIsKeptOut) {
    TempFolder folder;
    auto first = std::make_unique<ReadingSpool>(folder / "bench", std::vector<std::string>{"mqtt"});
    // flock locks are per open file: a second open in this process is
    // refused as another process would be.
    EXPECT_THROW(ReadingSpool(folder / "bench", {"mqtt"}), std::runtime_error);
    first.reset();
    EXPECT_NO_THROW(ReadingSpool(folder / "bench", {"mqtt"}));
}

TEST(ReadingSpoolTest, PastItsBoundTheOldestGoCountedAndSaidOnce) {
    TempFolder folder;
    ReadingSpool::Limits limits;
    limits.segmentBytes = 100;
    limits.limitBytes = 350;
    limits.cachedRecords = 4;
    ReadingSpool spool(folder / "bench", {"mqtt", "influx"}, limits);
    // "<n>\t", 20 bytes and the line end: 23 bytes a line up to 9, 24 from
    // 10. A segment takes lines until it holds 100 bytes: 1-5 (115 bytes),
    // 6-10 (116), 11-15 (120). The 15th line makes 351 bytes, over 350: the
    // first segment goes.
    const std::string record(20, 'x');
    for (int i = 1; i <= 9; ++i) {
        spool.append(record);
    }
    spool.markTaken("mqtt", 3);
    for (int i = 10; i <= 14; ++i) {
        spool.append(record);
    }
    EXPECT_FALSE(spool.takeNotice());
    EXPECT_EQ(spool.dropped("influx"), 0u);
    spool.append(record);
    EXPECT_EQ(spool.bytes(), 236u);
    EXPECT_EQ(spool.taken("influx"), 5u);
    EXPECT_EQ(spool.dropped("influx"), 5u);
    EXPECT_EQ(spool.taken("mqtt"), 5u);
    EXPECT_EQ(spool.dropped("mqtt"), 2u);
    const std::optional<std::string> notice = spool.takeNotice();
    ASSERT_TRUE(notice);
    EXPECT_NE(notice->find("full"), std::string::npos);
    spool.append(record);
    EXPECT_FALSE(spool.takeNotice()); // said once
    // What is left reads back from the files, older than the memory holds.
    const auto records = spool.after(5, 100);
    ASSERT_EQ(records.size(), 11u);
    EXPECT_EQ(records.front().first, 6u);
    EXPECT_EQ(records.back().first, 16u);
    // Taken in small pieces, as a back-fill takes them: the same, in order.
    std::vector<uint64_t> pieces;
    for (uint64_t at = 5; at < spool.last();) {
        const auto piece = spool.after(at, 3);
        ASSERT_FALSE(piece.empty());
        for (const auto& [index, text] : piece) {
            pieces.push_back(index);
            EXPECT_EQ(text, record);
        }
        at = piece.back().first;
    }
    EXPECT_EQ(pieces, (std::vector<uint64_t>{6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST(ReadingSpoolTest, SegmentsEveryConsumerTookAreRemoved) {
    TempFolder folder;
    ReadingSpool::Limits limits;
    limits.segmentBytes = 30;
    ReadingSpool spool(folder / "bench", {"mqtt", "influx"}, limits);
    for (int i = 0; i < 6; ++i) {
        spool.append(std::string(30, 'r')); // one line a segment
    }
    EXPECT_EQ(Segments(folder / "bench"), 6u);
    spool.markTaken("mqtt", 6);
    EXPECT_EQ(Segments(folder / "bench"), 6u); // influx has taken none
    spool.markTaken("influx", 4);
    EXPECT_EQ(Segments(folder / "bench"), 2u);
    spool.markTaken("influx", 6);
    EXPECT_EQ(Segments(folder / "bench"), 1u); // the one written to stays
}

TEST(ReadingSpoolTest, ASigkillLosesNothingAppended) {
    TempFolder folder;
    const std::string path = folder / "bench";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        {
            ReadingSpool spool(path, {"mqtt"});
            for (int i = 1; i <= 2000; ++i) {
                spool.append("reading " + std::to_string(i));
            }
            (void)!write(ready[1], "k", 1);
            pause(); // killed here, the spool open and never synced by a close
        }
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);
    ReadingSpool spool(path, {"mqtt"}); // the dead process's lock is gone with it
    ASSERT_EQ(spool.last(), 2000u);
    const auto records = spool.after(0, 5000);
    ASSERT_EQ(records.size(), 2000u);
    for (size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(records[i].second, "reading " + std::to_string(i + 1));
    }
}

} // namespace
} // namespace velmora
