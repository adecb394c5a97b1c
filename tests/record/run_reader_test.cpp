// Reading saved runs back: recordings, saved logs across midnight, and text that is not ours.
#include "record/run_reader.h"

#include "record/recording_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace velmora {
namespace {

constexpr const char* kHeader = "sequence,time,seconds,value,unit,status,event\n";

TEST(RunReader, RecordingRowsBecomeReadingsAndEvents) {
    const std::string text = std::string(kHeader) +
                             "1,2026-12-09T10:15:00.123+01:00,0.000,,,,recording started\n"
                             "2,2026-12-09T10:15:00.223+01:00,0.100,1160.4076,OHM,ok,\n"
                             "3,2026-12-09T10:15:00.323+01:00,0.200,,OHM,overload,\n"
                             "4,2026-12-09T23:59:59.999-05:00,12.5,-1.23e-05,V DC,ok,\n"
                             "5,2026-12-09T23:59:59.999-05:00,12.5,2.5,V DC,burst,\n";
    const std::optional<SavedRun> run = ReadRun(text);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->kind, SavedRun::Kind::Recording);
    EXPECT_FALSE(run->stoppedAt);
    ASSERT_EQ(run->rows.size(), 5u);
    EXPECT_EQ(run->readings, 4u);
    EXPECT_EQ(run->rows[4].value, 2.5L) << "a burst's reading is a reading";
    const std::optional<SavedRun> cut =
        ReadRun(text + "6,2026-12-09T23:59:59.999-05:00,12.5,2.5,V DC,bust,\n");
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->stoppedAt) << "an unknown status ends what is valid";
    EXPECT_EQ(cut->rows.size(), 5u);
    EXPECT_EQ(run->rows[0].event, "recording started");
    EXPECT_FALSE(run->rows[0].value);
    EXPECT_EQ(*run->rows[1].value, 1160.4076L);
    EXPECT_EQ(run->rows[1].unit, "OHM");
    EXPECT_DOUBLE_EQ(run->rows[1].seconds, 0.1);
    EXPECT_NEAR(run->rows[1].timeOfDay, (10 * 3600 + 15 * 60 + 0.223) / 86400.0, 1e-9);
    EXPECT_GE(std::fabs(*run->rows[2].value), kRecordingOverload) << "an overload stays one";
    EXPECT_EQ(run->rows[3].unit, "V DC");
    EXPECT_DOUBLE_EQ(run->rows[3].seconds, 12.5);
    EXPECT_NEAR(run->rows[3].timeOfDay, (86400 - 0.001) / 86400.0, 1e-9);
}

TEST(RunReader, SavedLogTimesRunOnAcrossMidnight) {
    const std::string text = "No.,Function,Value,Time\r\n"
                             "1,OHM,+1.16040760E+03,23:59:58\r\n"
                             "2,OHM,+1.16040761E+03,23:59:59\r\n"
                             "3,OHM,+9.90000000E+37,00:00:01\r\n"
                             "4,V DC,+1.2E+00,00:00:03\r\n";
    const std::optional<SavedRun> run = ReadRun(text);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->kind, SavedRun::Kind::SavedLog);
    EXPECT_FALSE(run->stoppedAt);
    ASSERT_EQ(run->rows.size(), 4u);
    const double seconds[] = {0, 1, 3, 5};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(run->rows[i].seconds, seconds[i]) << i;
    }
    EXPECT_GE(std::fabs(*run->rows[2].value), kRecordingOverload);
    EXPECT_EQ(run->rows[3].unit, "V DC");
    EXPECT_EQ(*run->rows[3].value, 1.2L);
}

TEST(RunReader, SavedLogTimesInRegionalForms) {
    struct Row {
        const char* time;
        char mark;
        double seconds; // of the day
    };
    const Row rows[] = {
        {"14:05:09", ':', 50709},    {"9:05:03.007", ':', 32703.007}, {"1:05:09 PM", ':', 47109},
        {"12:30:00 AM", ':', 1800},  {"PM 1:05:09", ':', 47109},      {"09.05.03", '.', 32703},
        {"12:00:00 PM", ':', 43200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.time);
        const std::string text =
            std::string("No,Function,Value,Time\r\n1,Hz,+1.0E+03,") + row.time + "\r\n";
        const std::optional<SavedRun> run = ReadRun(text, row.mark);
        ASSERT_TRUE(run);
        ASSERT_EQ(run->rows.size(), 1u) << run->stoppedAt.value_or("no note");
        EXPECT_NEAR(run->rows[0].timeOfDay * 86400, row.seconds, 1e-6);
    }
}

TEST(RunReader, ReadsAsFarAsTheTextIsValidAndSaysWhere) {
    struct Row {
        const char* name;
        std::string text;
        size_t rows;
        const char* stoppedAt; // nullptr: read to the end
    };
    const std::string good = "1,2026-12-09T10:15:00.123+01:00,0.000,,,,recording started\n"
                             "2,2026-12-09T10:15:00.223+01:00,0.100,1.5,OHM,ok,\n";
    const Row rows[] = {
        {"torn_last_line", kHeader + good + "3,2026-12-09T10:15", 2,
         "line 4: not a row of a recording"},
        {"no_final_line_end", kHeader + good.substr(0, good.size() - 1), 2, nullptr},
        {"junk_in_the_middle", kHeader + good + "garbage\n" + good.substr(good.find('\n') + 1), 2,
         "line 4: not a row of a recording"},
        // A power cut tore a row, and a later recording was added after it.
        {"torn_then_recorded_on", kHeader + good + "3,2026-12-09T10:15\n" + good, 4, nullptr},
        {"bad_value", kHeader + std::string("1,2026-12-09T10:15:00.123+01:00,0.000,x,OHM,ok,\n"), 0,
         "line 2: not a row of a recording"},
        {"typed_note_in_a_log", "No.,Function,Value,Time\r\n1,OHM,+1.0E+00,12:00:00\r\nhello\r\n",
         1, "line 3: not a line of a saved log"},
        {"header_only", kHeader, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<SavedRun> run = ReadRun(row.text);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->rows.size(), row.rows);
        EXPECT_EQ(run->stoppedAt,
                  row.stoppedAt ? std::optional<std::string>(row.stoppedAt) : std::nullopt);
    }
    for (const char* other : {"", "a,b,c\n1,2,3\n", "\xEF\xBB\xBFNo.,Function,Value,Time\r\n"}) {
        EXPECT_FALSE(ReadRun(other)) << "not ours: " << other;
    }
}

TEST(RunReader, WhatTheWriterFormatsReadsBack) {
    RecordingRow row;
    row.sequence = 7;
    row.wallClock = timespec{1796807700, 456000000};
    row.seconds = 3.25;
    std::string text(kHeader);
    for (const long double value : {0.0L, 1160.4076L, -1.23e-5L, 2.5e7L, 1e-300L}) {
        row.value = value;
        row.unit = "OHM4W";
        text += FormatRecordingRow(row);
    }
    const std::optional<SavedRun> run = ReadRun(text);
    ASSERT_TRUE(run);
    ASSERT_EQ(run->rows.size(), 5u) << run->stoppedAt.value_or("");
    const long double expected[] = {0.0L, 1160.4076L, -1.23e-5L, 2.5e7L, 1e-300L};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(static_cast<double>(*run->rows[i].value), static_cast<double>(expected[i]));
        EXPECT_EQ(run->rows[i].unit, "OHM4W");
    }
}

TEST(RecordingFormat, FieldsNeverBreakTheColumns) {
    EXPECT_EQ(RecordingField("a,b\"c\r\nd"), "a b c  d");
    // A meter's escape sequence and bell are written out, never acted on; text stays.
    EXPECT_EQ(RecordingField("e\x1b]0;x\x07 \xc4\x85"), "e\\x1b]0;x\\x07 \xc4\x85");
    EXPECT_EQ(FormatRecordingValue(1160.4076L), "1160.4076");
    EXPECT_EQ(FormatRecordingValue(-1.23e-5L), "-1.23e-05");
}

} // namespace
} // namespace velmora
