// Recorded runs: the commands a program sent to the emulated meter, each with
// the cycle tick (50 ms) it arrived in, counted from the first command. Runs
// recorded from the build before the engine are kept beside this file; the
// window and the logger must send the same bytes, each command within one
// tick of the recorded spacing.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace velmora::test {

struct TracedCommand {
    long tick = 0;
    std::string command;
};
using Trace = std::vector<TracedCommand>;

constexpr std::chrono::milliseconds kTraceTick{50};

// The first `count` commands, with their ticks from the first one.
inline Trace TraceOf(const std::vector<std::string>& commands,
                     const std::vector<std::chrono::steady_clock::time_point>& times,
                     size_t count) {
    Trace trace;
    count = std::min({count, commands.size(), times.size()});
    for (size_t i = 0; i < count; ++i) {
        const auto offset = times[i] - times[0];
        trace.push_back({static_cast<long>((offset + kTraceTick / 2) / kTraceTick), commands[i]});
    }
    return trace;
}

// How many commands there are up to and including the `n`-th "Read?" at or
// after `from`; 0 while there are not that many yet.
inline size_t ThroughReads(const std::vector<std::string>& commands, size_t from, int n) {
    for (size_t i = from; i < commands.size(); ++i) {
        if (commands[i] == "Read?" && --n == 0) {
            return i + 1;
        }
    }
    return 0;
}

// Where `command` first stands at or after `from`; commands.size() if nowhere.
inline size_t IndexOf(const std::vector<std::string>& commands, const std::string& command,
                      size_t from = 0) {
    const auto at = std::find(commands.begin() + static_cast<long>(std::min(from, commands.size())),
                              commands.end(), command);
    return static_cast<size_t>(at - commands.begin());
}

inline std::string FormatTrace(const Trace& trace) {
    std::string text;
    for (const TracedCommand& line : trace) {
        text += std::to_string(line.tick) + '\t' + line.command + '\n';
    }
    return text;
}

inline Trace ParseTrace(const std::string& text) {
    Trace trace;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            trace.push_back({std::stol(line.substr(0, tab)), line.substr(tab + 1)});
        }
    }
    return trace;
}

// Every way `actual` departs from `expected`: a command that differs, or a
// spacing from the command before that is more than one tick off (spacings,
// not offsets, so one late reply does not shift all that follow). Remote mode
// again after a lost port is left out of the ticks: the port's return is
// seen at the watcher's poll (every 500 ms), not at a tick of the cycle.
inline std::vector<std::string> TraceDifferences(const Trace& expected, const Trace& actual,
                                                 bool ticks = true) {
    std::vector<std::string> differences;
    if (expected.size() != actual.size()) {
        differences.push_back(std::to_string(actual.size()) + " commands instead of " +
                              std::to_string(expected.size()));
    }
    for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
        const std::string where = "command " + std::to_string(i + 1) + ": ";
        if (actual[i].command != expected[i].command) {
            differences.push_back(where + '"' + actual[i].command + "\" instead of \"" +
                                  expected[i].command + '"');
        } else if (ticks && i > 0 && expected[i].command != "syst:rem") {
            const long want = expected[i].tick - expected[i - 1].tick;
            const long got = actual[i].tick - actual[i - 1].tick;
            if (std::labs(got - want) > 1) {
                differences.push_back(where + expected[i].command + " " + std::to_string(got) +
                                      " ticks after the one before, recorded " +
                                      std::to_string(want));
            }
        }
    }
    return differences;
}

inline std::filesystem::path RecordedRunPath(const std::string& name) {
    return std::filesystem::path(VELMORA_RECORDED_RUNS) / (name + ".trace");
}

inline Trace RecordedRun(const std::string& name) {
    std::ifstream in(RecordedRunPath(name));
    std::stringstream text;
    text << in.rdbuf();
    return ParseTrace(text.str());
}

// With VELMORA_RECORD_RUNS set to a folder, a run is written there instead
// of compared (how the kept runs were made).
inline bool RecordRunIfAsked(const std::string& name, const Trace& trace) {
    const char* folder = std::getenv("VELMORA_RECORD_RUNS");
    if (folder == nullptr || *folder == '\0') {
        return false;
    }
    std::ofstream(std::filesystem::path(folder) / (name + ".trace")) << FormatTrace(trace);
    return true;
}

} // namespace velmora::test
