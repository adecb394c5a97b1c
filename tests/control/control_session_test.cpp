// One client's session against a host it can steer: the replies, the error queue, the replies
// that wait, the token, and lines that are no commands.
#include "control/control_session.h"
#include "control/recording_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora {
namespace {

class FakeHost : public ControlContext {
public:
    std::optional<std::string> fresh = "+1.23400000E+00";
    unsigned condition = 0;
    bool meterLines = true;
    std::vector<std::string> alarms;
    bool recordingOn = false;
    std::string recordingFileName;
    std::optional<ControlError> recordingRefusal;
    std::vector<std::string> started; // names given to startRecording
    std::vector<Reply> readingWaiters;
    std::vector<std::pair<std::string, bool>> meterLinesSent;
    std::vector<Reply> meterWaiters;

    std::string identity() const override { return "Velmora,test"; }
    std::optional<std::string> freshReading() const override { return fresh; }
    unsigned questionable() const override { return condition; }
    std::string unit() const override { return "VDC"; }
    std::string function() const override { return "VOLT"; }
    std::string configuration() const override { return "VOLT +1.000000E+01,DEF"; }
    void nextReading(Reply done) override { readingWaiters.push_back(std::move(done)); }
    bool meterLinesAllowed() const override { return meterLines; }
    std::optional<ControlError> passToMeter(const std::string& line, bool query,
                                            Reply done) override {
        meterLinesSent.emplace_back(line, query);
        if (query) {
            meterWaiters.push_back(std::move(done));
        }
        return std::nullopt;
    }
    std::optional<ControlError> startRecording(const std::string& name) override {
        started.push_back(name);
        if (recordingRefusal) {
            return recordingRefusal;
        }
        recordingOn = true;
        recordingFileName = name;
        return std::nullopt;
    }
    void stopRecording() override { recordingOn = false; }
    bool recording() const override { return recordingOn; }
    std::string recordingName() const override { return recordingFileName; }
    std::vector<std::string> raisedAlarms() const override { return alarms; }
    std::optional<std::string> derived;
    std::optional<std::string> derivedReading() const override { return derived; }
};

struct ReplyCase {
    const char* name;
    std::string input;
    std::string output;
};

std::string Replies(FakeHost& host, const std::string& input, const std::string& token = {}) {
    ControlSession session(host, token);
    session.take(input);
    return session.takeOutput();
}

TEST(ControlSession, EachCommandRepliesAsAMeterWould) {
    const std::string longName(201, 'a');
    const ReplyCase cases[] = {
        {"identity", "*IDN?\n", "Velmora,test\n"},
        {"operation complete, lower case", "*opc?\n", "1\n"},
        {"fetch fresh", "FETC?\n", "+1.23400000E+00\n"},
        {"long form, CR LF", "FETCh?\r\n", "+1.23400000E+00\n"},
        {"INIT then FETC? in one line", "INIT;FETC?\n", "+1.23400000E+00\n"},
        {"abort is accepted", "ABOR;*OPC?\n", "1\n"},
        {"unit, function, configuration", "UNIT?;FUNC?;CONF?\n",
         "VDC;\"VOLT\";\"VOLT +1.000000E+01,DEF\"\n"},
        {"empty error queue", "SYST:ERR?\n", "+0,\"No error\"\n"},
        {"long form with a leading colon", ":SYSTem:ERRor:NEXT?\n", "+0,\"No error\"\n"},
        {"unknown query: no reply, -113", "BOGUS?\nSYST:ERR?\n", "-113,\"Undefined header\"\n"},
        {"a query's header as a command", "FETC\nSYST:ERR?\n", "-113,\"Undefined header\"\n"},
        {"binary bytes", std::string("\x01\x02\xff?\n", 5) + "SYST:ERR?\n",
         "-113,\"Undefined header\"\n"},
        {"parameter where none goes", "*IDN? 1\nSYST:ERR?\n", "-108,\"Parameter not allowed\"\n"},
        {"no alarm raised", "ALAR?\n", "\"\"\n"},
        {"recording asked, none running", "REC:STAT?;REC:FILE?\n", "0;\"\"\n"},
        {"a folder in the name", "REC:FILE \"../x\"\nSYST:ERR?\n",
         "-151,\"Invalid string data;a bare file name, no folder\"\n"},
        {"an absolute name", "REC:FILE \"/etc/passwd\"\nSYST:ERR?\n",
         "-151,\"Invalid string data;a bare file name, no folder\"\n"},
        {"a hidden name", "REC:FILE \".bashrc\"\nSYST:ERR?\n",
         "-151,\"Invalid string data;no leading '.'\"\n"},
        {"a name too long", "REC:FILE \"" + longName + "\"\nSYST:ERR?\n",
         "-151,\"Invalid string data;file name longer than 200 bytes\"\n"},
        {"a control character",
         std::string("REC:FILE \"a\x01"
                     "b\"\nSYST:ERR?\n"),
         "-151,\"Invalid string data;control character in file name\"\n"},
        {"a delete",
         std::string("REC:FILE \"a\x7f"
                     "b\"\nSYST:ERR?\n"),
         "-151,\"Invalid string data;control character in file name\"\n"},
        {"a tilde is a plain character", "REC:FILE \"a~b\"\nSYST:ERR?\n", "+0,\"No error\"\n"},
        {"a name not in quotes", "REC:FILE run.csv\nSYST:ERR?\n",
         "-151,\"Invalid string data;the file name goes in quotes\"\n"},
        {"a string not closed", "REC:FILE \"run.csv\nSYST:ERR?\n",
         "-151,\"Invalid string data;string not closed\"\n"},
        {"a state out of range", "REC:STAT 2\nSYST:ERR?\n",
         "-222,\"Data out of range;ON or OFF\"\n"},
        {"a state that is no word for one", "REC:STAT MAYBE\nSYST:ERR?\n",
         "-224,\"Illegal parameter value;ON or OFF\"\n"},
        {"a state missing", "REC:STAT\nSYST:ERR?\n", "-109,\"Missing parameter\"\n"},
        {"errors oldest first, then none", "X1\nX2?\nSYST:ERR?;SYST:ERR?;SYST:ERR?\n",
         "-113,\"Undefined header\";-113,\"Undefined header\";+0,\"No error\"\n"},
        {"*CLS empties the queue", "X1\n*CLS\nSYST:ERR?\n", "+0,\"No error\"\n"},
        {"*RST empties it too", "X1\n*RST\nSYST:ERR?\n", "+0,\"No error\"\n"},
    };
    for (const ReplyCase& c : cases) {
        FakeHost host;
        EXPECT_EQ(Replies(host, c.input), c.output) << c.name;
        EXPECT_TRUE(host.started.empty()) << c.name;
    }
}

TEST(ControlSession, AStaleReadingIsNotANumberAndLatchesTheStaleBit) {
    FakeHost host;
    host.fresh.reset();
    host.condition = kQuestionableNotPolling;
    // Latched by the fetch, read once (cleared), while the condition stays.
    EXPECT_EQ(Replies(host, "FETC?;STAT:QUES?;STAT:QUES?;STAT:QUES:COND?\n"), "9.91E37;17;16;16\n");
    host.alarms = {"Over 5 V", "Sil\"ent"};
    EXPECT_EQ(Replies(host, "ALAR?\n"), "\"Over 5 V\",\"Sil\"\"ent\"\n");
}

TEST(RecordingName, ANameWithoutASuffixGetsCsv) {
    EXPECT_EQ(RecordingFileName("run"), "run.csv");
    EXPECT_EQ(RecordingFileName("run.txt"), "run.txt");
    EXPECT_EQ(RecordingFileName("bench 3.csv"), "bench 3.csv");
}

TEST(ControlSession, TheDerivedValueIsThereOnlyWhileMathGivesOne) {
    FakeHost host;
    EXPECT_EQ(Replies(host, "CALC:DATA?;STAT:QUES?\n"), "9.91E37;1\n");
    host.derived = "+1.00000000E+02";
    EXPECT_EQ(Replies(host, "calculate:data?;FETC?\n"), "+1.00000000E+02;+1.23400000E+00\n")
        << "FETC? stays the raw reading";
}

TEST(ControlSession, RecordingsStartUnderTheNameGivenAndStop) {
    FakeHost host;
    ControlSession session(host, {});
    session.take("REC:FILE 'bench''s run.csv';REC:STAT ON;REC:STAT?;REC:FILE?\n");
    EXPECT_EQ(session.takeOutput(), "1;\"bench's run.csv\"\n");
    EXPECT_EQ(host.started, std::vector<std::string>{"bench's run.csv"});
    session.take("REC:STAT ON\nSYST:ERR?\n");
    EXPECT_EQ(session.takeOutput(), "-221,\"Settings conflict;already recording\"\n");
    session.take("rec:stat off;rec:stat?\n");
    EXPECT_EQ(session.takeOutput(), "0\n");
    host.recordingRefusal = ControlError{-250, "cannot write x.csv: Permission denied"};
    session.take("REC:STAT 1\nSYST:ERR?\n");
    EXPECT_EQ(session.takeOutput(),
              "-250,\"Mass storage error;cannot write x.csv: Permission denied\"\n");
}

TEST(ControlSession, RepliesThatWaitHoldBackTheCommandsAfterThem) {
    FakeHost host;
    ControlSession session(host, {});
    int told = 0;
    session.onOutput = [&] { ++told; };
    session.take("READ?;*OPC?\n*IDN?\n");
    EXPECT_EQ(session.takeOutput(), "");
    EXPECT_TRUE(session.waiting());
    ASSERT_EQ(host.readingWaiters.size(), 1u);
    host.readingWaiters.front()("+2.0E+00");
    EXPECT_EQ(session.takeOutput(), "+2.0E+00;1\nVelmora,test\n");
    EXPECT_EQ(told, 1);
    // None came in time: not a number, and the stale bit.
    session.take("READ?\n");
    ASSERT_EQ(host.readingWaiters.size(), 2u);
    host.readingWaiters.back()(std::nullopt);
    host.readingWaiters.back()("+3.0E+00"); // a second call is not a second reply
    session.take("STAT:QUES?\n");
    EXPECT_EQ(session.takeOutput(), "9.91E37\n1\n");
}

TEST(ControlSession, MeterLinesGoOnlyWhenAllowedAndNeverTheRefusedOnes) {
    struct MeterCase {
        const char* input;
        const char* error; // "": passed on
    };
    const MeterCase cases[] = {
        {"METER \"CONF:VOLT\"", ""},
        {"meter \"VOLT:NPLC 1\"", ""},
        {"METER \"SYST:LOC\"", "-221,\"Settings conflict;refused: Velmora keeps the meter in "
                               "remote mode\""},
        {"METER \"system:remote\"", "-221,\"Settings conflict;refused: Velmora keeps the meter "
                                    "in remote mode\""},
        {"METER \"*RST\"", "-221,\"Settings conflict;refused: Velmora keeps the meter in remote "
                           "mode\""},
        {"METER \"SYST:RWL\"", "-221,\"Settings conflict;refused: Velmora keeps the meter in "
                               "remote mode\""},
        {"METER \"CAL:SEC:STAT OFF,HP034401\"", "-221,\"Settings conflict;refused: calibration\""},
        {"METER \"READ?\"", "-221,\"Settings conflict;a query goes with METER?\""},
        {"METER \"VOLT:NPLC 1;:VOLT:RANG 10\"", "-221,\"Settings conflict;one command at a time\""},
        {"METER VOLT", "-151,\"Invalid string data;the meter's line goes in quotes\""},
        {"METER", "-109,\"Missing parameter\""},
        {"METER \"\"", "-151,\"Invalid string data;empty\""},
    };
    for (const MeterCase& c : cases) {
        FakeHost host;
        const std::string out = Replies(host, std::string(c.input) + "\nSYST:ERR?\n");
        const bool passed = std::string(c.error).empty();
        EXPECT_EQ(out, (passed ? std::string("+0,\"No error\"") : std::string(c.error)) + "\n")
            << c.input;
        EXPECT_EQ(host.meterLinesSent.size(), passed ? 1u : 0u) << c.input;
    }
    // A query that may not go still gets its line, empty.
    FakeHost off;
    off.meterLines = false;
    EXPECT_EQ(Replies(off, "METER? \"READ?\"\nSYST:ERR?\n"),
              "\n-221,\"Settings conflict;meter commands are off\"\n");
    EXPECT_TRUE(off.meterLinesSent.empty());
    FakeHost host;
    EXPECT_EQ(Replies(host, "METER? \"CONF:VOLT\"\nSYST:ERR?\n"),
              "\n-221,\"Settings conflict;METER? takes a query\"\n");
}

TEST(ControlSession, AMeterQuerysReplyGoesToItsClientInOrder) {
    FakeHost host;
    ControlSession session(host, {});
    session.take("METER? \"VOLT:NPLC?\";*OPC?\n");
    ASSERT_EQ(host.meterLinesSent.size(), 1u);
    EXPECT_EQ(host.meterLinesSent.front(), std::make_pair(std::string("VOLT:NPLC?"), true));
    EXPECT_EQ(session.takeOutput(), "");
    host.meterWaiters.front()("+1.00000000E+01");
    EXPECT_EQ(session.takeOutput(), "+1.00000000E+01;1\n");
    // No answer from the meter: an empty line and the reason in the queue.
    session.take("METER? \"*IDN?\"\n");
    host.meterWaiters.back()(std::nullopt);
    session.take("SYST:ERR?\n");
    EXPECT_EQ(session.takeOutput(), "\n-240,\"Hardware error;no answer from the meter\"\n");
}

TEST(ControlSession, AnOverlongLineIsDroppedWholeWhicheverWayItArrives) {
    const std::string longLine = std::string(5000, 'A') + "?\n";
    for (const size_t piece : {size_t{5002}, size_t{1000}, size_t{1}}) {
        FakeHost host;
        ControlSession session(host, {});
        const std::string input = longLine + "*OPC?\nSYST:ERR?\n";
        for (size_t at = 0; at < input.size(); at += piece) {
            session.take(std::string_view(input).substr(at, piece));
        }
        EXPECT_EQ(session.takeOutput(), "1\n-223,\"Too much data;line longer than 4096 bytes\"\n")
            << "in pieces of " << piece;
        EXPECT_LE(session.pendingInput(), ControlSession::kLongestLine);
    }
}

TEST(ControlSession, TheErrorQueueKeepsTwentyAndSaysItOverflowed) {
    FakeHost host;
    std::string input;
    for (int i = 0; i < 25; ++i) {
        input += "NOPE\n";
    }
    for (int i = 0; i < 21; ++i) {
        input += "SYST:ERR?\n";
    }
    std::string expected;
    for (int i = 0; i < 19; ++i) {
        expected += "-113,\"Undefined header\"\n";
    }
    expected += "-350,\"Queue overflow\"\n+0,\"No error\"\n";
    EXPECT_EQ(Replies(host, input), expected);
}

TEST(ControlSession, WithATokenOnlyTheHarmlessQueriesAnswerBeforeAuth) {
    FakeHost host;
    ControlSession session(host, "0123456789abcdef0123456789abcdef");
    session.take("*IDN?;FETC?;UNIT?;STAT:QUES?\nREC:STAT ON\nMETER \"CONF:VOLT\"\nSYST:ERR?\n");
    EXPECT_EQ(session.takeOutput(), "Velmora,test;+1.23400000E+00;VDC;0\n");
    EXPECT_TRUE(host.started.empty());
    EXPECT_TRUE(host.meterLinesSent.empty());
    session.take("AUTH \"0123456789abcdef0123456789abcdeX\"\nAUTH \"short\"\n");
    EXPECT_FALSE(session.authenticated());
    session.take("AUTH \"0123456789abcdef0123456789abcdef\"\n");
    EXPECT_TRUE(session.authenticated());
    session.take("SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?\n");
    EXPECT_EQ(session.takeOutput(), "-203,\"Command protected;send AUTH with the token first\";"
                                    "-203,\"Command protected;send AUTH with the token first\";"
                                    "-203,\"Command protected;send AUTH with the token first\";"
                                    "-203,\"Command protected;wrong token\";"
                                    "-203,\"Command protected;wrong token\";+0,\"No error\"\n");
}

TEST(ControlSession, GuessingTheTokenStopsAfterFiveTries) {
    FakeHost host;
    const std::string token = "0123456789abcdef0123456789abcdef";
    ControlSession session(host, token);
    for (int i = 0; i < 5; ++i) {
        session.take("AUTH \"wrong\"\n");
    }
    session.take("AUTH \"" + token + "\"\n");
    EXPECT_FALSE(session.authenticated());
}

} // namespace
} // namespace velmora
