// Recording names from clients.
#include "control/recording_name.h"

namespace velmora {

std::optional<ControlError> RecordingNameProblem(std::string_view name) {
    if (name.empty()) {
        return ControlError{-151, "empty file name"};
    }
    if (name.size() > kLongestRecordingName) {
        return ControlError{-151, "file name longer than 200 bytes"};
    }
    if (name.find('/') != std::string_view::npos) {
        return ControlError{-151, "a bare file name, no folder"};
    }
    if (name.front() == '.') {
        return ControlError{-151, "no leading '.'"};
    }
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            return ControlError{-151, "control character in file name"};
        }
    }
    return std::nullopt;
}

std::string RecordingFileName(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot + 1 == name.size() ? name + ".csv" : name;
}

} // namespace velmora
