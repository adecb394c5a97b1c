// libFuzzer target: the settings file's reader and writer on arbitrary file contents.
//
// The input is split into a file content, a value and a few choices that pick the
// section and key names from the content's own tokens (so that names meet existing
// sections), or from fixed ones. Checked after each write: the value reads back as the
// reader would return it, the section is there, a different key reads as before, and
// the old file differs from the new one in at most one line's bytes. Refused writes
// must leave the file untouched.
#include "settings/ini_file.h"
#include "settings/ini_file_exception.h"
#include "settings/ini_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

std::string fuzzFolder;

void RemoveFuzzFolder() {
    std::remove((fuzzFolder + "/fuzz.ini").c_str());
    ::rmdir(fuzzFolder.c_str());
}

// One file for the whole run; a RAM-backed folder spares the disk the many syncs.
const std::string& FuzzPath() {
    static const std::string path = [] {
        fuzzFolder = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        fuzzFolder += "/velmora-fuzz-ini-XXXXXX";
        if (::mkdtemp(fuzzFolder.data()) == nullptr) {
            std::abort();
        }
        std::atexit(RemoveFuzzFolder);
        return fuzzFolder + "/fuzz.ini";
    }();
    return path;
}

void Store(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        std::abort();
    }
}

std::string Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Tokens(std::string_view content) {
    std::vector<std::string> tokens;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= content.size(); ++i) {
        if (i == content.size() ||
            std::string_view("[]=\r\n").find(content[i]) != std::string_view::npos) {
            std::string_view token = content.substr(start, i - start);
            while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) {
                token.remove_prefix(1);
            }
            while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) {
                token.remove_suffix(1);
            }
            if (!token.empty() && tokens.size() < 64) {
                tokens.emplace_back(token);
            }
            start = i + 1;
        }
    }
    return tokens;
}

std::string PickName(FuzzedDataProvider& input, const std::vector<std::string>& tokens) {
    static const char* const kFixed[] = {"COM Info", "Port", "baudrate", "com info", "A"};
    const std::uint8_t choice = input.ConsumeIntegral<std::uint8_t>();
    if (choice < 5 || tokens.empty()) {
        return kFixed[choice % 5];
    }
    return tokens[choice % tokens.size()];
}

char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

// True when `after` is `before` with at most one line's bytes changed or one run of
// lines inserted: nothing that was removed spans a line end.
bool ChangesOneSpot(const std::string& before, const std::string& after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    const std::string_view removed =
        std::string_view(before).substr(prefix, before.size() - prefix - suffix);
    return removed.find('\n') == std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velmora::IniFile;
    FuzzedDataProvider input(data, size);
    const std::string content = input.ConsumeRandomLengthString(size);
    const std::vector<std::string> tokens = Tokens(content);
    const std::string section = PickName(input, tokens);
    const std::string key = PickName(input, tokens);
    const std::string otherSection = PickName(input, tokens);
    const std::string otherKey = PickName(input, tokens);
    const std::string value = input.ConsumeRemainingBytesAsString();

    const std::string& path = FuzzPath();
    Store(path, content);
    IniFile ini(path);
    const std::string kDefault("\x01<none>", 7);

    const bool had = ini.hasSection(section);
    const std::string read = ini.readValue(section, key, kDefault);
    if (read != kDefault && (!had || read.size() > velmora::kIniMaxValueLength)) {
        std::abort(); // a key was found in a section said to hold none, or not cut
    }
    const std::string otherBefore = ini.readValue(otherSection, otherKey, kDefault);

    const bool writable = velmora::IniIsWritable(section, key, value);
    try {
        ini.writeValue(section, key, value);
        if (!writable) {
            std::abort(); // a value that cannot read back was stored
        }
    } catch (const velmora::EIniFileException&) {
        if (writable || Load(path) != content) {
            std::abort(); // a sound write failed, or a refused one changed the file
        }
        return 0;
    }
    const std::string written = Load(path);
    if (ini.readValue(section, key, kDefault) != velmora::IniValueAsRead(value) ||
        !ini.hasSection(section) || !ChangesOneSpot(content, written)) {
        std::abort();
    }
    const bool same = SameName(section, otherSection) && SameName(key, otherKey);
    if (!same && ini.readValue(otherSection, otherKey, kDefault) != otherBefore) {
        std::abort(); // another key changed
    }
    // Writing the same value again changes nothing.
    ini.writeValue(section, key, value);
    if (Load(path) != written) {
        std::abort();
    }
    return 0;
}
