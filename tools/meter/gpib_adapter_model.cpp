// The emulated adapter's commands.
#include "tools/meter/gpib_adapter_model.h"

#include <cctype>

namespace velmora {

namespace {

std::string Lower(std::string_view text) {
    std::string out;
    for (const char c : text)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool WholeNumber(std::string_view text, int* value) {
    if (text.empty() || text.size() > 4)
        return false;
    int n = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        n = n * 10 + (c - '0');
    }
    *value = n;
    return true;
}

} // namespace

GpibAdapterModel::Outcome GpibAdapterModel::Handle(std::string_view line) {
    Outcome outcome;
    std::string_view rest = line.substr(2); // past "++"
    const size_t blank = rest.find(' ');
    const std::string command = Lower(rest.substr(0, blank));
    std::string_view argument = blank == std::string_view::npos ? "" : rest.substr(blank + 1);
    while (!argument.empty() && argument.front() == ' ')
        argument.remove_prefix(1);

    if (command == "ver") {
        ++versionQueries_;
        outcome.toController = std::string(kVersion) + "\r\n";
    } else if (command == "addr") {
        int address = 0;
        if (argument.empty())
            outcome.toController = std::to_string(address_) + "\r\n";
        else if (WholeNumber(argument, &address) && address <= 30)
            address_ = address;
    } else if (command == "auto") {
        if (argument.empty())
            outcome.toController = std::string(autoRead_ ? "1" : "0") + "\r\n";
        else
            autoRead_ = argument == "1";
    } else if (command == "read") {
        outcome.readInstrument = true;
    } else if (command == "clr") {
        ++clears_;
        outcome.clearInstrument = true;
    }
    // ++mode, ++eoi, ++eos, ++read_tmo_ms, ++ifc, ++loc ...: nothing the
    // emulated bus needs to act on.
    return outcome;
}

} // namespace velmora
