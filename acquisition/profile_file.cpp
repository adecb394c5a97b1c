// Reading a profile file.
#include "acquisition/profile_file.h"

#include "text/trim.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <limits>

namespace velmora {

namespace {

// Whole milliseconds or counts, 0 to a day's worth: a profile never needs more.
std::optional<int> Count(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < 0 || value > 86'400'000) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> Terminator(const std::string& text) {
    const std::string lower = LowerCaseAscii(text);
    if (lower == "lf") {
        return "\n";
    }
    if (lower == "cr lf") {
        return "\r\n";
    }
    if (lower == "cr") {
        return "\r";
    }
    return std::nullopt;
}

std::vector<std::string> List(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = TrimBlanks(text.substr(start, comma - start));
        if (!item.empty()) {
            items.push_back(item);
        }
        start = comma + 1;
    }
    return items;
}

} // namespace

ProfileFileResult ParseProfileFile(std::string_view text) {
    MeterProfile p = Profile34401A();
    p.model.clear();
    using Text = std::string MeterProfile::*;
    using Whole = int MeterProfile::*;
    const std::pair<const char*, Text> texts[] = {
        {"model", &MeterProfile::model},
        {"remote mode", &MeterProfile::remoteMode},
        {"local mode", &MeterProfile::localMode},
        {"function query", &MeterProfile::functionQuery},
        {"read query", &MeterProfile::readQuery},
        {"measure prefix", &MeterProfile::measurePrefix},
        {"error query", &MeterProfile::errorQuery},
        {"display off", &MeterProfile::displayOff},
        {"display on", &MeterProfile::displayOn},
    };
    const std::pair<const char*, Whole> wholes[] = {
        {"remote pause ms", &MeterProfile::remotePauseMs},
        {"most error reads", &MeterProfile::mostErrorReads},
        {"silence note ms", &MeterProfile::silenceNoteMs},
        {"reply timeout ms", &MeterProfile::replyTimeoutBaseMs},
    };
    const std::string_view kFunctionTimeout = "function timeout ms ";

    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = TrimBlanks(std::string(text.substr(start, end - start)));
        start = end + 1;
        ++number;
        const auto fail = [&](const std::string& why) {
            return ProfileFileResult{std::nullopt, number, why};
        };
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            return fail("no \"=\" in \"" + line + "\"");
        }
        const std::string written = TrimBlanks(line.substr(0, equals));
        const std::string key = LowerCaseAscii(written);
        const std::string value = TrimBlanks(line.substr(equals + 1));
        if (value.find_first_of("\r\n") != std::string::npos) {
            return fail("a line break inside " + written);
        }
        bool known = false;
        for (const auto& [name, field] : texts) {
            if (key == name) {
                p.*field = value;
                known = true;
            }
        }
        for (const auto& [name, field] : wholes) {
            if (key == name) {
                const std::optional<int> count = Count(value);
                if (!count) {
                    return fail(written + " needs a whole number, not \"" + value + "\"");
                }
                p.*field = *count;
                known = true;
            }
        }
        if (known) {
            continue;
        }
        if (key == "terminator") {
            const std::optional<std::string> terminator = Terminator(value);
            if (!terminator) {
                return fail("terminator is LF, CR LF or CR, not \"" + value + "\"");
            }
            p.terminator = *terminator;
        } else if (key == "power line cycle s") {
            char* stop = nullptr;
            const double seconds = std::strtod(value.c_str(), &stop);
            if (value.empty() || *stop != '\0' || !(seconds > 0 && seconds < 1)) {
                return fail("power line cycle s needs seconds between 0 and 1, not \"" + value +
                            "\"");
            }
            p.powerLineCycleSeconds = seconds;
        } else if (key.starts_with(kFunctionTimeout) && key.size() > kFunctionTimeout.size()) {
            const std::optional<int> count = Count(value);
            if (!count) {
                return fail(written + " needs a whole number, not \"" + value + "\"");
            }
            // The function as the meter names it ("FREQ", "VOLT:AC"): upper case.
            std::string function = written.substr(kFunctionTimeout.size());
            for (char& c : function) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            p.functionTimeoutMs[TrimBlanks(function)] = *count;
        } else if (key == "identifies") {
            p.identifies = List(value);
        } else {
            return fail("unknown key \"" + written + "\"");
        }
    }
    if (p.model.empty()) {
        return {std::nullopt, 0, "no model = line"};
    }
    if (p.functionQuery.empty() || p.readQuery.empty() || p.errorQuery.empty()) {
        return {std::nullopt, 0, "function query, read query and error query cannot be empty"};
    }
    return {p, 0, {}};
}

} // namespace velmora
